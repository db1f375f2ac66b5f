# A value that other readers continue on the lines after it is printed as its first line,
# and standard error says so. "-" reads standard input, for get and for check.
< pytest.ini
| [pytest]
| filterwarnings =
|     # treat all warnings as errors
|     error
| addopts = -ra
$ qelcfg get - pytest filterwarnings < pytest.ini
> stdout
|
~ stderr
| ^qelcfg: the value of key 'filterwarnings' of section 'pytest' in '-' continues on the
$ qelcfg get - pytest addopts < pytest.ini
> stdout
| -ra
$ qelcfg check - < pytest.ini
? 1
> stdout
| -:4: line continues the value on line 2 for other readers (configparser, systemd), while this reader drops it
