# A CR that no LF follows ends a line's text for the reader but not the line: an edit near
# it could not keep both readings, so set and del refuse such files and leave them.
< c1.ini
| [A]
| k=1\rx (esc)
$ qelcfg set c1.ini A k 2
? 2
~ stderr
| ^qelcfg: cannot edit 'c1.ini'
$ qelcfg del c1.ini A
? 2
~ stderr
| ^qelcfg: cannot edit 'c1.ini'
< c2.ini
| [A]\r\r (esc)
| k=1
$ qelcfg set c2.ini A k 2
? 2
~ stderr
| ^qelcfg: cannot edit 'c2.ini'
$ qelcfg del c2.ini A
? 2
~ stderr
| ^qelcfg: cannot edit 'c2.ini'
< c3.ini
| [A]
| k=1\rz (esc) (no-eol)
$ qelcfg set c3.ini A k 2
? 2
~ stderr
| ^qelcfg: cannot edit 'c3.ini'
$ qelcfg del c3.ini A
? 2
~ stderr
| ^qelcfg: cannot edit 'c3.ini'
< c4.ini
| [A]
| k=1\r (esc) (no-eol)
$ qelcfg set c4.ini A k 2
? 2
~ stderr
| ^qelcfg: cannot edit 'c4.ini'
$ qelcfg del c4.ini A
? 2
~ stderr
| ^qelcfg: cannot edit 'c4.ini'
