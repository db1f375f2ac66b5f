# Standard output that a shell redirected already holds earlier output: fmt -o - and the
# paths that stand for it write after it, through the descriptor, and the file stays.
< c.ini
| # kept
| [A]
| k=1
< stdout
| earlier
$ qelcfg fmt -o - c.ini
> stdout
| earlier
| # kept
| [A]
| k=1
< stdout
| earlier
$ qelcfg fmt -o /dev/stdout c.ini
> stdout
| earlier
| # kept
| [A]
| k=1
< stdout
| earlier
$ qelcfg fmt -o /dev/fd/1 c.ini
> stdout
| earlier
| # kept
| [A]
| k=1
< stdout
| earlier
$ qelcfg fmt -o /proc/self/fd/1 c.ini
> stdout
| earlier
| # kept
| [A]
| k=1
