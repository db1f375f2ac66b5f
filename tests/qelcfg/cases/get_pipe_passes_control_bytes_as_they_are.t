# Not on a terminal, a value's control bytes are printed as they are.
< c.ini
| [A]
| k=red\e[31m\x07\x7f\tend (esc)
$ qelcfg get c.ini A k
> stdout
| red\e[31m\x07\x7f\tend (esc)
