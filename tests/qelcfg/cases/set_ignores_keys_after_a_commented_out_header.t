# A key line after "#[x]" belongs to no section: set adds the key to [A] instead.
< c.ini
| [A]
| #[x]
| k=1
$ qelcfg set c.ini A k 2
> c.ini
| [A]
| k=2
| #[x]
| k=1
