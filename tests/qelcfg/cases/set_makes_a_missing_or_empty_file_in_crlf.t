# An empty file, or one not there, gets the section and key with CR LF line ends; a path
# whose parts look like a descriptor's ("/dev/fd/12") is a file like any other.
< e.ini
$ qelcfg set e.ini B n 5
> e.ini crlf
| [B]
| n=5
$ qelcfg set new.ini S k v
> new.ini crlf
| [S]
| k=v
+ mkdir numbers
$ qelcfg set numbers/12 S k v
$ qelcfg get numbers/12 S k
> stdout
| v
