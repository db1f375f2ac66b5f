# del --list removes the items given from a list value.
< c.ini
| [A]
| k=a, b,c
$ qelcfg del --list c.ini A k a,c
> c.ini
| [A]
| k=b
