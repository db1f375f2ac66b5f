# check --format json prints an array of one object per finding: file, line, kind, message.
< c.ini
| early=1
| [A]
| noeq
$ qelcfg check --format json c.ini
? 1
> stdout
| [{"file": "c.ini", "line": 1, "kind": "dropped", "message": "key line before the first section header is dropped"},
|  {"file": "c.ini", "line": 3, "kind": "no-equals", "message": "line without \"=\" is dropped"}]
