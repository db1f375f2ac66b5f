# The other typed reads: the whole unsigned range, floats as %f, colors and strings.
< c.ini
| [A]
| u=4294967295,9
| f=2.5,9
| c=255,9
| s=a b,9
$ qelcfg get --type uint c.ini A u
> stdout
| 4294967295
$ qelcfg get --type float c.ini A f
> stdout
| 2.500000
$ qelcfg get --type color c.ini A c
> stdout
| 255
$ qelcfg get --type string c.ini A s
> stdout
| a b
