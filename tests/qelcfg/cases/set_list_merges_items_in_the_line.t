# set --list adds the items not there yet, blanks dropped, in the line's own line end.
< c.ini
| [A]
| k = a, b\r (esc)
$ qelcfg set --list c.ini A k 'b,c, a ,d'
> c.ini
| [A]
| k = a,b,c,d\r (esc)
