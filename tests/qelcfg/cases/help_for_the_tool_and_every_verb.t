# --help prints help on standard output, of the tool or of a verb; --version the version.
$ qelcfg --help
~ stdout
| check
$ qelcfg get --help
~ stdout
| \\u00XX
$ qelcfg set --help
~ stdout
| line ends \(LF, CR LF or mixed\)
$ qelcfg del --help
~ stdout
| every other
$ qelcfg fmt --help
~ stdout
| comments, blank lines
$ qelcfg check --help
~ stdout
| FILE:LINE
$ qelcfg --version
~ stdout
| ^qelcfg [0-9]+\.[0-9]+\.[0-9]+\n$
