# On a terminal (here the pseudo-terminal of script(1)) a value cannot send escape
# sequences: its control bytes but the tab are shown escaped.
@ needs script -qec true /dev/null >/dev/null 2>&1
< c.ini
| [A]
| k=red\e[31m\x07\x7f\tend (esc)
$ script -qec 'qelcfg get c.ini A k' /dev/null
> stdout
| red\\x1b[31m\\x07\\x7f\tend\r (esc)
