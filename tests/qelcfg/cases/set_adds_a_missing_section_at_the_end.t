# A new section goes at the end after an empty line, in the file's line ends, keeping a
# missing last line end missing.
< c.ini
| [A]
| k=1 (no-eol)
$ qelcfg set c.ini B n 5
> c.ini
| [A]
| k=1
|
| [B]
| n=5 (no-eol)
< d.ini crlf
| [A]
|
$ qelcfg set d.ini B n 5
> d.ini crlf
| [A]
|
| [B]
| n=5
