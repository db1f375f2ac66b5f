# --type bool prints Y or N; a word that is neither is status 1.
< c.ini
| [A]
| y=yes,9
| n=no,9
| m=maybe,9
$ qelcfg get --type bool c.ini A y
> stdout
| Y
$ qelcfg get --type bool c.ini A n
> stdout
| N
$ qelcfg get --type bool c.ini A m
? 1
~ stderr
| ^qelcfg: .*\n$
