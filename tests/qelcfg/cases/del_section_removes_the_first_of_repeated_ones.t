# Of a repeated section, del removes the first.
< c.ini
| [A]
| k=1
| [A]
| k=2
$ qelcfg del c.ini A
> c.ini
| [A]
| k=2
