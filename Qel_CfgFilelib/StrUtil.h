// String helpers: the library's one trimming rule and the reading of a
// signed decimal integer.
#ifndef QEL_CFGFILE_STRUTIL_H
#define QEL_CFGFILE_STRUTIL_H

#include <string>

#include "Export.h"

// Trims blanks (space and tab only) from both ends of a writable NUL-terminated text in
// place: cuts the trailing blanks off with a NUL and returns a pointer to the first
// non-blank character. A null, empty or blank-only text gives null, the buffer unchanged.
QELCFG_API char* SkipBeginAndTailBlank(char* text);

// The text of `text` up to its first NUL character, trimmed of blanks at both ends, as a
// new string; `text` is not changed. Empty or blank-only texts give the empty string.
QELCFG_API std::string SkipBeginAndTailBlank(std::string& text);

// Reads a signed decimal integer as "%d" does: leading white space, an optional sign,
// digits; whatever follows is ignored. An empty text gives false with `value` untouched.
// Otherwise `value` becomes the number and the result is true, or `value` becomes 0 and
// the result is false when no digits come first or they are beyond the range of int.
QELCFG_API bool String2Int(std::string text, int& value);

#endif  // QEL_CFGFILE_STRUTIL_H
