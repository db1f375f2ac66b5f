# A UTF-8 byte order mark before the first header stays.
< c.ini
| \xef\xbb\xbf[A] (esc)
| k=1
$ qelcfg set c.ini A k 2
> c.ini
| \xef\xbb\xbf[A] (esc)
| k=2
