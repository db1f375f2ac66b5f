# fmt writes the library's normal form in place, or to -o FILE, made or replaced: comments
# and list blanks gone, CR LF line ends, an empty line after each section.
< c.ini
| # about
| [A]
|  k = 1 , 2 
| # B
| x=1
|
| [C]
< out.ini
| xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx
$ qelcfg fmt c.ini -o out.ini
> out.ini crlf
| [A]
| k=1,2
| x=1
|
| [C]
|
$ qelcfg fmt -o new.ini c.ini
> new.ini crlf
| [A]
| k=1,2
| x=1
|
| [C]
|
$ qelcfg fmt c.ini
> c.ini crlf
| [A]
| k=1,2
| x=1
|
| [C]
|
