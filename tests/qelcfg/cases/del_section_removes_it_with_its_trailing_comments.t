# del of a section removes its header, its lines and the comments and empty lines up to
# the next header; what comes before stays in its own line ends.
< c.ini
| # top\r (esc)
| [A]
| k=1
| # about B
| #[C]
| z=1
|
| [B]
| j=2
$ qelcfg del c.ini A
> c.ini
| # top\r (esc)
| [B]
| j=2
