# --format ini prints a section, or the whole file with repeated sections, as the library
# writes them: CR LF line ends, comments dropped, a blank line after each; values as written.
< c.ini
| # device
| [Display]
| Size = 640, 480
| [Net]
| Host=h
| [Display]
| X=1
$ qelcfg get --format ini c.ini Net
> stdout crlf
| [Net]
| Host=h
|
$ qelcfg get --format ini c.ini
> stdout crlf
| [Display]
| Size=640, 480
|
| [Net]
| Host=h
|
| [Display]
| X=1
|
