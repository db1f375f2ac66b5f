// Internal: the INI line grammar, written once and used by everything that reads INI
// text (loading a file, reading one section straight from a file). This header is not
// installed.
#ifndef QEL_CFGFILE_INIGRAMMAR_H
#define QEL_CFGFILE_INIGRAMMAR_H

#include <cstddef>
#include <string>

namespace qelcfg {
namespace detail {

enum class IniLineKind {
    kBlank,            // empty, or blanks only
    kComment,          // "#..."
    kCommentedHeader,  // "#[...]": refuses key lines up to the next header
    kHeader,           // "[name]"
    kKeyLine,          // anything else; a key line only when it holds "="
};

// Classifies lines one at a time. Scan copies the line, trims it with the library's one
// trimming rule (space and tab) and sorts it by the first rule that applies. The copy is
// reused from line to line, so scanning a file allocates only while lines get longer.
class IniLineScanner {
public:
    // Classifies `line` (a line without its line end). A UTF-8 byte-order mark at the very
    // start of the first line scanned is passed over.
    IniLineKind Scan(const char* line);

    // The text a section takes for a key line: the line from its first character, with
    // trailing blanks cut (leading blanks are the key's to trim).
    const char* KeyLine() const { return m_copy.c_str(); }

    // The text between the brackets of the last header scanned, exactly as it stands.
    const std::string& HeaderName() const { return m_name; }

private:
    std::string m_copy;
    std::string m_name;
    bool m_first = true;
};

}  // namespace detail
}  // namespace qelcfg

#endif  // QEL_CFGFILE_INIGRAMMAR_H
