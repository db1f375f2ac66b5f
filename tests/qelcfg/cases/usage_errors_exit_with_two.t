# Wrong command lines exit with status 2 and a message, and touch no file.
< c.ini
| [Display]
| Size=640,480
$ qelcfg
? 2
~ stderr
| ^qelcfg: 
$ qelcfg get
? 2
~ stderr
| ^qelcfg: 
$ qelcfg frobnicate c.ini
? 2
~ stderr
| ^qelcfg: 
$ qelcfg get --format ini c.ini Display Size
? 2
~ stderr
| ^qelcfg: 
$ qelcfg get --item 0 c.ini Display
? 2
~ stderr
| ^qelcfg: 
$ qelcfg get --type long c.ini Display Size
? 2
~ stderr
| ^qelcfg: 
$ qelcfg get --item -1 c.ini Display Size
? 2
~ stderr
| ^qelcfg: 
$ qelcfg get --prefix p c.ini Display
? 2
~ stderr
| ^qelcfg: 
$ qelcfg set c.ini Display Size
? 2
~ stderr
| ^qelcfg: 
$ qelcfg del c.ini Display Size 640
? 2
~ stderr
| ^qelcfg: 
$ qelcfg del --list c.ini Display Size
? 2
~ stderr
| ^qelcfg: 
