# --format sh skips, each named on standard error with status 1, the keys that are no
# shell name or that the shell or the dynamic loader gives a meaning; sections prefix
# their keys' names, and so may --prefix, which may itself make names unsafe.
< c.ini
| [S]
| PATH=/nonexistent
| IFS=x
| PS4=x
| LD_LIBRARY_PATH=/x
| BASH_ENV=/x
| HOME=/x
| CDPATH=/x
| ENV=/x
| path=/x
| Name[ca]=x
| 1st=x
| ok=1
| [LD]
| LIBRARY_PATH=/x
| [Icon Theme]
| Name=x
| [A]
| B_C=1
| [A_B]
| C=2
$ qelcfg get --format sh c.ini S
? 1
> stdout
| ok='1'
~ stderr
| ^(qelcfg: skipped key '.*\n){11}$
$ qelcfg get --format sh c.ini
? 1
> stdout
| S_PATH='/nonexistent'
| S_IFS='x'
| S_PS4='x'
| S_LD_LIBRARY_PATH='/x'
| S_BASH_ENV='/x'
| S_HOME='/x'
| S_CDPATH='/x'
| S_ENV='/x'
| S_path='/x'
| S_1st='x'
| S_ok='1'
| A_B_C='1'
~ stderr
| ^(qelcfg: skipped key '.*\n){4}$
$ qelcfg get --format sh c.ini A_B
> stdout
| C='2'
$ qelcfg get --format sh --prefix LD_ c.ini S
? 1
~ stderr
| ^(qelcfg: skipped key '.*\n){12}$
$ qelcfg get --format sh --prefix cfg_ c.ini S
? 1
> stdout
| cfg_PATH='/nonexistent'
| cfg_IFS='x'
| cfg_PS4='x'
| cfg_LD_LIBRARY_PATH='/x'
| cfg_BASH_ENV='/x'
| cfg_HOME='/x'
| cfg_CDPATH='/x'
| cfg_ENV='/x'
| cfg_path='/x'
| cfg_1st='x'
| cfg_ok='1'
~ stderr
| ^qelcfg: skipped key 'Name\[ca\]'.*\n$
