# A lock that another process keeps on FILE, a reader's shared one included, holds an edit
# up for at most --wait seconds; then the edit goes on, since the library checks just
# before the replace that FILE is still the one it read.
< c.ini
| [A]
| k=1
$ flock -s c.ini qelcfg set --wait 0.2 c.ini A k 2
> c.ini
| [A]
| k=2
$ flock -x c.ini qelcfg del --wait 0 c.ini A k
> c.ini
| [A]
# Edits need no /proc (a chroot, a small container); the sanitizers' runtimes do.
@ needs unshare --mount true && ! ldd "$(command -v qelcfg)" | grep -q san
$ unshare --mount sh -c 'mount -t tmpfs none /proc && qelcfg set c.ini A k 3'
> c.ini
| [A]
| k=3
