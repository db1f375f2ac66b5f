# Names and values the reader would read otherwise are refused with status 2, and no file
# is made for them.
< c.ini
| [A]
| k=1
$ qelcfg set c.ini '' k v
? 2
~ stderr
| ^qelcfg: refusing 
$ qelcfg set c.ini 'A\nB' k v (esc)
? 2
~ stderr
| ^qelcfg: refusing 
$ qelcfg set c.ini A k=x v
? 2
~ stderr
| ^qelcfg: refusing 
$ qelcfg set c.ini A ' k' v
? 2
~ stderr
| ^qelcfg: refusing 
$ qelcfg set c.ini A 'k\t' v (esc)
? 2
~ stderr
| ^qelcfg: refusing 
$ qelcfg set c.ini A '#k' v
? 2
~ stderr
| ^qelcfg: refusing 
$ qelcfg set c.ini A '[k' v
? 2
~ stderr
| ^qelcfg: refusing 
$ qelcfg set c.ini A 'k\r' v (esc)
? 2
~ stderr
| ^qelcfg: refusing 
$ qelcfg set c.ini A k 'v\n[B]' (esc)
? 2
~ stderr
| ^qelcfg: refusing 
$ qelcfg set c.ini A k 'v\r' (esc)
? 2
~ stderr
| ^qelcfg: refusing 
$ qelcfg set new.ini '' k v
? 2
~ stderr
| ^qelcfg: refusing 
