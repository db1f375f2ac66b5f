# A file-size limit makes writes fail as on a full disk: while the copy is made, or
# while the longer text is written. The file stays as it was, and nothing is left beside.
< c.ini
| # keep
| [A]
| k=1
$ prlimit --fsize=4 qelcfg set c.ini A k 'a much longer value'
? 2
~ stderr
| File too large
$ prlimit --fsize=17 qelcfg set c.ini A k 'a much longer value'
? 2
~ stderr
| File too large
$ prlimit --fsize=4 qelcfg del c.ini A
? 2
~ stderr
| File too large
