# --type int reads the first item's leading number; an empty value is 0, no digits status 1.
< c.ini
| [A]
| px=12px,9
| neg=-7,9
| word=abc,9
| empty=
$ qelcfg get --type int c.ini A px
> stdout
| 12
$ qelcfg get --type int c.ini A neg
> stdout
| -7
$ qelcfg get --type int c.ini A empty
> stdout
| 0
$ qelcfg get --type int c.ini A word
? 1
~ stderr
| ^qelcfg: .*\n$
