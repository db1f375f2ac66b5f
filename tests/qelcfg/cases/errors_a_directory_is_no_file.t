# Every verb names the file and the reason when the path is a directory, or ends in "/".
+ mkdir folder.ini
$ qelcfg get folder.ini
? 2
> stderr
| qelcfg: cannot open 'folder.ini': Is a directory
$ qelcfg check folder.ini
? 2
> stderr
| qelcfg: cannot open 'folder.ini': Is a directory
$ qelcfg fmt folder.ini
? 2
> stderr
| qelcfg: cannot open 'folder.ini': Is a directory
$ qelcfg del folder.ini S k
? 2
> stderr
| qelcfg: cannot open 'folder.ini': Is a directory
$ qelcfg set folder.ini/ S k v
? 2
> stderr
| qelcfg: cannot open 'folder.ini/': Is a directory
