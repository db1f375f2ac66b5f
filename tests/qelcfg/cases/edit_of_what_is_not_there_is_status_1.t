# set --existing and del of a missing section, key or item say so with status 1 and leave
# the file; set --existing of a key that is there changes it.
< c.ini
| [A]
| k=a,b
$ qelcfg set --existing c.ini A n 1
? 1
~ stderr
| ^qelcfg: no 
$ qelcfg set --existing c.ini B k 1
? 1
~ stderr
| ^qelcfg: no 
$ qelcfg del c.ini B
? 1
~ stderr
| ^qelcfg: no 
$ qelcfg del c.ini A n
? 1
~ stderr
| ^qelcfg: no 
$ qelcfg del --list c.ini A k c
? 1
~ stderr
| ^qelcfg: no 
$ qelcfg set --existing c.ini A k z
> c.ini
| [A]
| k=z
