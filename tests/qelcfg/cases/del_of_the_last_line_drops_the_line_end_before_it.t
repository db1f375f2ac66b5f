# Removing a last line without a line end leaves the file ending without one.
< c.ini crlf
| [A]
| j=1
| k=2 (no-eol)
$ qelcfg del c.ini A k
> c.ini crlf
| [A]
| j=1 (no-eol)
