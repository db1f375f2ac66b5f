# Only set makes a missing file; the other verbs name it and the reason.
$ qelcfg get missing.ini
? 2
> stderr
| qelcfg: cannot open 'missing.ini': No such file or directory
$ qelcfg check missing.ini
? 2
> stderr
| qelcfg: cannot open 'missing.ini': No such file or directory
$ qelcfg fmt missing.ini
? 2
> stderr
| qelcfg: cannot open 'missing.ini': No such file or directory
$ qelcfg del missing.ini S k
? 2
> stderr
| qelcfg: cannot open 'missing.ini': No such file or directory
