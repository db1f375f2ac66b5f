# check prints nothing and exits 0 when the reader drops and changes nothing.
< c.ini
| # c
|
| #[off]
| [A]
| k = 1,2
| # semi=1
| [B]
| k=3\r (esc)
$ qelcfg check c.ini
