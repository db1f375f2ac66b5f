// Internal: the INI line grammar applied to a line where it stands, without a copy. The
// exported CIniLineScanner and the file's reader both classify lines through it. This
// header is not installed.
#ifndef QEL_CFGFILE_INIGRAMMARSCAN_H
#define QEL_CFGFILE_INIGRAMMARSCAN_H

#include <cstddef>
#include <string>

#include "IniGrammar.h"

namespace qelcfg {
namespace detail {

struct ScannedLine {
    CIniLineScanner::LineKind kind;
    // A header: its name between the brackets. A key line: the line from its first
    // character, up to where its trailing blanks begin. Otherwise unset.
    const char* text;
    std::size_t length;
};

// Classifies the NUL-terminated `line`; a UTF-8 byte-order mark at its start is passed
// over when `first` (the first line of a file).
ScannedLine ScanLine(const char* line, bool first);

// The key line's text as a NUL-terminated string: the line itself when nothing follows
// the text, else a copy in `scratch`.
inline const char* KeyLineText(const ScannedLine& line, std::string& scratch) {
    if (line.text[line.length] == '\0') {
        return line.text;
    }
    scratch.assign(line.text, line.length);
    return scratch.c_str();
}

}  // namespace detail
}  // namespace qelcfg

#endif  // QEL_CFGFILE_INIGRAMMARSCAN_H
