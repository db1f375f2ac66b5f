# get SECTION lists the entries of the first section of that name, repeated keys included;
# get SECTION KEY prints the value of the first key of that name as the file holds it, its
# ends trimmed; --items prints its items, as the library reads them, joined by ",".
< c.ini
| # device
| [Display]
| Size = 640, 480 \t (esc)
| Depth=16
| Depth=24
| [Net]
| Host=h
| [Display]
| X=1
$ qelcfg get c.ini Display
> stdout
| Size=640, 480
| Depth=16
| Depth=24
$ qelcfg get c.ini Display Size
> stdout
| 640, 480
$ qelcfg get --items c.ini Display Size
> stdout
| 640,480
$ qelcfg get c.ini Display Depth
> stdout
| 16
