# set --list of a new key writes each item once.
< c.ini
| [A]
$ qelcfg set --list c.ini A n 'x, y,x'
> c.ini
| [A]
| n=x,y
