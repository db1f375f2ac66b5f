# get with no section lists the sections in file order, a repeated one once.
< c.ini
| # device
| [Display]
| Size = 640, 480
| Depth=16
| Depth=24
| [Net]
| Host=h
| [Display]
| X=1
$ qelcfg get c.ini
> stdout
| Display
| Net
