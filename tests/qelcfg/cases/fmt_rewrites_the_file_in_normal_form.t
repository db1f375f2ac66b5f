# fmt writes each header and key line in the library's normal form, in place, to -o FILE
# (made or replaced) or, from standard input, to standard output; comments, blank lines and
# each line's end stay, unless --crlf ends every line in CR LF.
< c.ini
| # about
| [A]\r (esc)
|  k = 1 , 2 
| # B
| x=1
|
| [C] (no-eol)
< out.ini
| xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx
$ qelcfg fmt c.ini -o out.ini
> out.ini
| # about
| [A]\r (esc)
| k=1,2
| # B
| x=1
|
| [C] (no-eol)
$ qelcfg fmt - < out.ini
> stdout
| # about
| [A]\r (esc)
| k=1,2
| # B
| x=1
|
| [C] (no-eol)
$ qelcfg fmt --crlf c.ini
> c.ini crlf
| # about
| [A]
| k=1,2
| # B
| x=1
|
| [C] (no-eol)
