#include "IniLines.h"

#include <algorithm>

#include "IniSection.h"

namespace qeltool {

void WalkIniLines(const std::string& text, const std::function<void(const IniLine&)>& visit) {
    CIniLineReader lines;
    CIniContinuation continuation;
    // The section that key lines go to, so that the entry is the one loading makes.
    CIniSection scratch;
    IniLine line;
    std::string bytes;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t lf = text.find('\n', at);
        const std::size_t end = lf == std::string::npos ? text.size() : lf + 1;
        // A line's text ends at its first CR, LF or NUL, as the reader takes it.
        bytes.assign(text, at,
                     std::min(text.find_first_of(std::string("\r\n\0", 3), at), end) - at);
        at = end;
        static_cast<CIniLineReader::Line&>(line) = lines.Read(bytes.c_str());
        line.continues = continuation.Continues(line);
        if (line.kind == CIniLineReader::kHeader) {
            line.headerName.assign(line.text, line.length);
        }
        scratch.Clear();
        bool isEntry = line.kind == CIniLineReader::kKeyLine &&
                       scratch.AddKV(std::string(line.text, line.length).c_str(), false);
        line.entry = isEntry ? scratch.GetValuePtr(0) : nullptr;
        visit(line);
    }
}

void ByteFaultScanner::Feed(const char* data, std::size_t size) {
    for (std::size_t i = 0; i < size; ++i) {
        char c = data[i];
        if (c == '\n') {
            ++m_line;
            m_afterCr = m_crNoted = m_nulNoted = false;
            continue;
        }
        if (c == '\0' && !m_nulNoted) {
            Note(true);
        }
        if (m_afterCr && !m_crNoted) {
            Note(false);
        }
        m_afterCr = m_afterCr || c == '\r';
    }
}

void ByteFaultScanner::Note(bool nul) {
    ByteFault fault;
    fault.line = m_line;
    fault.nul = nul;
    m_faults.push_back(fault);
    (nul ? m_nulNoted : m_crNoted) = true;
}

}  // namespace qeltool
