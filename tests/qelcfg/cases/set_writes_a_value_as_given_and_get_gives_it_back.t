# set writes any text on one line as given, commas and ", " included, and get gives it back
# byte for byte; a text with blanks at its ends is refused, since no reader gives them back.
< d.desktop
| [Desktop Entry]
| Name[da]=Wine, Programstarter til Windows-programmer
$ qelcfg get d.desktop 'Desktop Entry' 'Name[da]'
> stdout
| Wine, Programstarter til Windows-programmer
$ qelcfg set d.desktop 'Desktop Entry' Comment 'Edit text files, fast'
> d.desktop
| [Desktop Entry]
| Name[da]=Wine, Programstarter til Windows-programmer
| Comment=Edit text files, fast
$ qelcfg get d.desktop 'Desktop Entry' Comment
> stdout
| Edit text files, fast
$ qelcfg set d.desktop 'Desktop Entry' Comment 'fast '
? 2
~ stderr
| ^qelcfg: refusing value 'fast ': 
