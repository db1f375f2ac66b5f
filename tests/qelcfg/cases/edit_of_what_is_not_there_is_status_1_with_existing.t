# del of a missing section, key or item leaves the file and exits 0, as crudini does; with
# --existing it says so with status 1, and so does set --existing of a missing key or
# section. set FILE SECTION adds a section once.
< c.ini
| [A]
| k=a,b
$ qelcfg del c.ini B
$ qelcfg del c.ini A n
$ qelcfg del --list c.ini A k c
$ qelcfg del --existing c.ini B
? 1
~ stderr
| ^qelcfg: no section 'B'
$ qelcfg del --existing c.ini A n
? 1
~ stderr
| ^qelcfg: no key 'n'
$ qelcfg del --existing --list c.ini A k c
? 1
~ stderr
| ^qelcfg: no item of 'c'
$ qelcfg set --existing c.ini A n 1
? 1
~ stderr
| ^qelcfg: no key 'n'
$ qelcfg set --existing c.ini B
? 1
~ stderr
| ^qelcfg: no section 'B'
$ qelcfg set --existing c.ini A k z
> c.ini
| [A]
| k=z
$ qelcfg set c.ini B
> c.ini
| [A]
| k=z
|
| [B]
$ qelcfg set c.ini B
