# NUL bytes end a line's text for the reader but are kept in the file.
< c.ini
| [A]
| k=1\0x (esc)
| j=1
$ qelcfg set c.ini A k 2
> c.ini
| [A]
| k=2\0x (esc)
| j=1
