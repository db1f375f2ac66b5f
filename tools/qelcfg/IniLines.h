// The lines of an INI file as the library's reader sees them: their kinds, whether a key
// line is taken into a section, and the entry it becomes. set, del and
// check find sections and key lines through this walk, never by a grammar of their own.
#ifndef QELCFG_TOOL_INILINES_H
#define QELCFG_TOOL_INILINES_H

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "IniEditor.h"
#include "IniLineReader.h"
#include "IniPair.h"

namespace qeltool {

// A line as the library's reader sees it, with the name of a header and the entry that a
// key line makes.
struct IniLine : CIniLineReader::Line {
    std::string headerName;
    const CIniPair* entry = nullptr;  // key lines: the entry they make
    int continues = -1;  // the index of the line whose value this one continues for other readers
};

// Reads the lines of `text` as loading does, and calls `visit` for each.
void WalkIniLines(const std::string& text, const std::function<void(const IniLine&)>& visit);

// A line whose bytes the reader does not take as they stand: a NUL byte inside it, or
// text after a CR before its line end.
struct ByteFault {
    int line = 0;  // from 0
    bool nul = false;
};

// Finds byte faults in a file fed to it in pieces; a line is everything up to its LF.
class ByteFaultScanner {
public:
    void Feed(const char* data, std::size_t size);
    const std::vector<ByteFault>& Faults() const { return m_faults; }

private:
    void Note(bool nul);

    std::vector<ByteFault> m_faults;
    int m_line = 0;
    bool m_afterCr = false;
    bool m_crNoted = false;
    bool m_nulNoted = false;
};

// A line that the reader drops, changes or reads otherwise than other INI dialects do.
struct LineFinding {
    int line;          // from 1
    const char* kind;  // a fixed name of the rule, for machines
    std::string message;
    bool losesData;  // the library's normal form would lose a key line or a section
};

// The findings of check on the text of a file, in line order.
std::vector<LineFinding> CheckLines(const std::string& text);

}  // namespace qeltool

#endif  // QELCFG_TOOL_INILINES_H
