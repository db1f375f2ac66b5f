# A new key goes after the section's last key line, before the comments that follow it
# and before key lines that a commented-out header hides from the section.
< c.ini
| [A]
| k=1
| # c
| #[old]
| z=9
| [B]
$ qelcfg set c.ini A n 5
> c.ini
| [A]
| k=1
| n=5
| # c
| #[old]
| z=9
| [B]
