// CIniLineScanner: the INI line grammar, written once and used by everything that reads
// INI text: loading a file, reading one section straight from a file, and tools that
// need to know what a line of an INI file is.
#ifndef QEL_CFGFILE_INIGRAMMAR_H
#define QEL_CFGFILE_INIGRAMMAR_H

#include <cstddef>
#include <string>

#include "Export.h"

class QELCFG_API CIniLineScanner {
public:
    enum LineKind {
        kBlank,            // empty, or blanks only
        kComment,          // "#..."
        kCommentedHeader,  // "#[...]": refuses key lines up to the next header
        kHeader,           // "[name]"
        kKeyLine,          // anything else; a key line only when it holds "="
    };

    // Classifies `line` (a line without its line end): copies it, trims it of spaces and
    // tabs, and sorts it by the first rule that applies. A UTF-8 byte-order mark at the
    // very start of the first line scanned is passed over.
    LineKind Scan(const char* line);

    // The text a section takes for the last key line scanned: the line from its first
    // character, with trailing blanks cut (leading blanks are the key's to trim).
    const char* KeyLine() const { return m_copy.c_str(); }

    // The text between the brackets of the last header scanned, exactly as it stands.
    const std::string& HeaderName() const { return m_name; }

private:
    std::string m_copy;
    std::string m_name;
    bool m_first = true;
};

#endif  // QEL_CFGFILE_INIGRAMMAR_H
