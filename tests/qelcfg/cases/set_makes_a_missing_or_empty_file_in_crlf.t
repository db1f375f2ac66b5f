# An empty file, or one not there, gets the section and key with CR LF line ends.
< e.ini
$ qelcfg set e.ini B n 5
> e.ini crlf
| [B]
| n=5
$ qelcfg set new.ini S k v
> new.ini crlf
| [S]
| k=v
