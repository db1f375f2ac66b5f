# del of a key removes its first line alone.
< c.ini
| [A]
| # c
| k=1
| j=2
| k=3
$ qelcfg del c.ini A k
> c.ini
| [A]
| # c
| j=2
| k=3
