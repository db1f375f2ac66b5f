# --item N prints item N (from 0) of a list value; past the last item is status 1.
< c.ini
| [Display]
| Size = 640, 480
$ qelcfg get --item 1 c.ini Display Size
> stdout
| 480
$ qelcfg get --item 2 c.ini Display Size
? 1
~ stderr
| ^qelcfg: .*\n$
