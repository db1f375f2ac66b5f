# --format sh assigns each key once, the first value, in single quotes; a quote in the
# value is closed, escaped and reopened.
< c.ini
| [A]
| k=it's $(touch pwned) `touch pwned` \ "x"
| k=second
| n=2
$ qelcfg get --format sh c.ini A
> stdout
| k='it'\''s $(touch pwned) `touch pwned` \ "x"'
| n='2'
