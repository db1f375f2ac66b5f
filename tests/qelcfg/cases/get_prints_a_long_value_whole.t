# A value of 3000 bytes is printed whole.
+ printf '[A]\nk=%03000d\n' 7 >c.ini
$ qelcfg get c.ini A k
~ stdout
| ^0{2999}7\n$
