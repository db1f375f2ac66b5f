# CR LF line ends stay, and so does a missing line end at the end of the file.
< c.ini crlf
| [A]
| k=1
| k=2 (no-eol)
$ qelcfg set c.ini A k a,b
> c.ini crlf
| [A]
| k=a,b
| k=2 (no-eol)
