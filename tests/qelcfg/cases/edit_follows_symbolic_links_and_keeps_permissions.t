# An edit through a symbolic link changes the file it leads to, keeps the link a link and
# the file's permission bits; a dangling link gets the file it names; a loop is no file.
< real.ini
| [A]
| k=1
+ chmod 604 real.ini && ln -s real.ini link.ini && ln -s made.ini dangling.ini && ln -s loop loop
$ qelcfg set link.ini A k 2
> real.ini
| [A]
| k=2
= test -L link.ini && test "$(stat -c %a real.ini)" = 604
$ qelcfg set dangling.ini S k v
> made.ini crlf
| [S]
| k=v
= test -L dangling.ini
$ qelcfg set loop S k v
? 2
> stderr
| qelcfg: cannot open 'loop': Too many levels of symbolic links
