# Dropping key lines or sections, or lines that continue a value for other readers, is
# refused with status 1, naming each such line, in place and to standard output alike.
# --force drops them.
< a.ini
| early=1
| [A]
$ qelcfg fmt a.ini
? 1
~ stderr
| ^qelcfg: a\.ini:1:
$ qelcfg fmt -o - a.ini
? 1
~ stderr
| ^qelcfg: a\.ini:1:
$ qelcfg fmt --force a.ini
> a.ini
| [A]
< b.ini
| [A]
| #[B]
| x=1
$ qelcfg fmt b.ini
? 1
~ stderr
| ^qelcfg: b\.ini:3:
$ qelcfg fmt -o - b.ini
? 1
~ stderr
| ^qelcfg: b\.ini:3:
$ qelcfg fmt --force b.ini
> b.ini
| [A]
| #[B]
< c.ini
| []
| x=1
$ qelcfg fmt c.ini
? 1
~ stderr
| ^qelcfg: c\.ini:2:
$ qelcfg fmt -o - c.ini
? 1
~ stderr
| ^qelcfg: c\.ini:2:
$ qelcfg fmt --force c.ini
> c.ini
| []
< d.ini
| [A]
| k=1
| [B] # note
| x=1
$ qelcfg fmt d.ini
? 1
~ stderr
| ^qelcfg: d\.ini:3:
$ qelcfg fmt -o - d.ini
? 1
~ stderr
| ^qelcfg: d\.ini:3:
$ qelcfg fmt --force d.ini
> d.ini
| [A]
| k=1
| x=1
< e.ini
| [A]
| k=1
|   more
|   x>=1
$ qelcfg fmt e.ini
? 1
~ stderr
| ^qelcfg: e\.ini:3:.*\nqelcfg: e\.ini:4:
$ qelcfg fmt -o - e.ini
? 1
~ stderr
| ^qelcfg: e\.ini:3:
$ qelcfg fmt --force e.ini
> e.ini
| [A]
| k=1
| x>=1
< f.ini
| [A]
| k=1\rk=2 (esc)
$ qelcfg fmt f.ini
? 1
~ stderr
| ^qelcfg: f\.ini:2:
$ qelcfg fmt -o - f.ini
? 1
~ stderr
| ^qelcfg: f\.ini:2:
$ qelcfg fmt --force f.ini
> f.ini
| [A]
| k=1
