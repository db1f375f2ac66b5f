# --format json: quotes, backslashes and controls escaped, UTF-8 kept, and every other
# byte above 0x7F as the code point of the same number.
< c.ini
| [A]
| q=say "hi" \\ \t\x01 (esc)
| latin=caf\xe9 (esc)
| utf8=café
| bad=\xc0\xaf \xed\xa0\x80 (esc)
$ qelcfg get --format json c.ini A
> stdout
| {"q": "say \"hi\" \\ \t\u0001", "latin": "caf\u00e9", "utf8": "café", "bad": "\u00c0\u00af \u00ed\u00a0\u0080"}
