# Setting the value a key already holds, plain or as a list, leaves the file's bytes.
< c.ini
| [A]
| k = 1
$ qelcfg set c.ini A k 1
$ qelcfg set --list c.ini A k 1
