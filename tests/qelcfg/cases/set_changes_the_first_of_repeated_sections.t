# Of a repeated section and key, set changes the first, which lookups find.
< c.ini
| [A]
| k=1
| k=5
| [A]
| k=2
$ qelcfg set c.ini A k 3
> c.ini
| [A]
| k=3
| k=5
| [A]
| k=2
