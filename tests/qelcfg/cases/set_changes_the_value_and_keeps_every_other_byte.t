# set rewrites the value alone: comments, blanks around "=", empty lines and commented-out
# headers stay byte for byte.
< c.ini
| # top
| [A]
| ; note=x
| k = 1
|
| #[B]
$ qelcfg set c.ini A k 2
> c.ini
| # top
| [A]
| ; note=x
| k = 2
|
| #[B]
