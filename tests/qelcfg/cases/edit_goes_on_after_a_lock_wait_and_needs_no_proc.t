# An edit waits at most --wait seconds for a lock that another process keeps (here a
# reader's shared one, held by flock around the command); then it names the holder, exits 2
# and leaves the file. Once the lock is free the edit goes through.
< c.ini
| [A]
| k=1
$ flock -s c.ini qelcfg set --wait 0 c.ini A k 2
? 2
~ stderr
| held by process [0-9]+
$ flock -s c.ini qelcfg del --wait 0 c.ini A
? 2
~ stderr
| held by process [0-9]+
$ flock -s c.ini qelcfg fmt --wait 0 c.ini
? 2
~ stderr
| held by process [0-9]+
$ qelcfg set --wait 0 c.ini A k 2
> c.ini
| [A]
| k=2
