# Lookups take the first section of a name and match names exactly: what they do not find
# is status 1, with a message.
< c.ini
| [Display]
| Size=640
| [Display]
| X=1
$ qelcfg get c.ini Display X
? 1
~ stderr
| ^qelcfg: no .*\n$
$ qelcfg get c.ini display
? 1
~ stderr
| ^qelcfg: no .*\n$
$ qelcfg get c.ini Display size
? 1
~ stderr
| ^qelcfg: no .*\n$
