# A key added to a section without keys follows its header, in the header's line end.
< c.ini
| [A]\r (esc)
| # c
|
| [B]
$ qelcfg set c.ini A n 5
> c.ini
| [A]\r (esc)
| n=5\r (esc)
| # c
|
| [B]
