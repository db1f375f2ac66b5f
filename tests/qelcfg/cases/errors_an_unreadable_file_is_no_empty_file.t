# A file the user may not read is an error, not an empty file, for reads and edits alike.
< secret.ini
| [A]
| k=1
+ chmod 0 secret.ini
@ nobody
$ qelcfg get secret.ini
? 2
> stderr
| qelcfg: cannot open 'secret.ini': Permission denied
@ nobody
$ qelcfg check secret.ini
? 2
> stderr
| qelcfg: cannot open 'secret.ini': Permission denied
@ nobody
$ qelcfg set secret.ini A k 2
? 2
> stderr
| qelcfg: cannot open 'secret.ini': Permission denied
