# --format json without a section: an object of sections, each an object of its entries,
# one section a line.
< c.ini
| [A]
| k=1
| [B]
| j=a, b
$ qelcfg get --format json c.ini
> stdout
| {"A": {"k": "1"},
|  "B": {"j": "a, b"}}
