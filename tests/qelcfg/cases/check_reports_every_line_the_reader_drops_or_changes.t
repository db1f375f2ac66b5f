# check names each line that the reader drops or reads otherwise than other dialects
# would, as FILE:LINE: message, and exits 1.
< c.ini
| early=1
| [A]
| k=1
| noeq
| k=2
| #[old]
| x=1
| []
| y=2
| [A]
| z=1
| [B]
| KKKKKKKKKKKKKKKKKKKKKKKKKKKKKKK=1
| v=vvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvv
| fine=1\rtail (esc)
| n=\0x (esc)
| # comment
|
| ok=oooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooooo
| [C]
| ;k=1
| s = a , b,
| c=x\
| y
| deps =
|     unittest2>=1.1.0
|
|     # c
|     python -m pytest --cov-report term-missing --cov=pkg {posargs}
|   error
| [D] # note
| d=1
$ qelcfg check c.ini
? 1
> stdout
| c.ini:1: key line before the first section header is dropped
| c.ini:4: line without "=" is dropped
| c.ini:5: key 'k' repeats the one on line 3: lookups find only that one
| c.ini:7: key line after a commented-out section header is dropped
| c.ini:9: key line after a section header with an empty name is dropped
| c.ini:10: section 'A' repeats the one on line 2: lookups find only that one
| c.ini:13: key 'KKKKKKKKKKKKKKKKKKKKKKKKKKKKKKK' is longer than 30 characters: the fixed-size lookups cannot hand it out
| c.ini:14: value of 'v' is longer than 512 characters: the fixed-size lookups cannot hand it out
| c.ini:15: text after a CR is dropped
| c.ini:16: text after a NUL byte is dropped
| c.ini:21: key ';k' begins with ";": only "#" begins a comment
| c.ini:22: value of 's' is written back as 'a,b': blanks around items and a comma at the end are not kept
| c.ini:24: line continues the value on line 23 for other readers (configparser, systemd), while this reader drops it
| c.ini:26: line continues the value on line 25 for other readers (configparser, systemd), while this reader takes it as key 'unittest2>'
| c.ini:29: line continues the value on line 25 for other readers (configparser, systemd), while this reader takes it as key 'python -m pytest --cov-report term-missing --cov'
| c.ini:30: line continues the value on line 25 for other readers (configparser, systemd), while this reader drops it
| c.ini:31: '[D] # note' is no section header, since text follows "]": the key lines after it join section 'C'
