#include "IniLines.h"

#include <cerrno>

#include "IniSection.h"
#include "Tool.h"
#include "TxtFile.h"

namespace qeltool {

namespace {

// The library's text file, which tells a read error from the end of the file.
class LineReader : public _CFG::CTxtFile {
public:
    explicit LineReader(std::FILE* fp) : CTxtFile(fp) {}
    using CTxtFile::ReadFailed;
};

}  // namespace

void WalkIniLines(std::FILE* fp, const std::string& shownName,
                  const std::function<void(const IniLine&)>& visit) {
    LineReader reader(fp);
    CIniLineReader lines;
    // The section that key lines go to, so that the entry is the one loading makes.
    CIniSection scratch;
    IniLine line;
    errno = 0;
    while (const char* text = reader.GetTextLine(nullptr)) {
        static_cast<CIniLineReader::Line&>(line) = lines.Read(text);
        if (line.kind == CIniLineReader::kHeader) {
            line.headerName.assign(line.text, line.length);
        }
        scratch.Clear();
        bool isEntry = line.kind == CIniLineReader::kKeyLine &&
                       scratch.AddKV(std::string(line.text, line.length).c_str(), false);
        line.entry = isEntry ? scratch.GetValuePtr(0) : nullptr;
        visit(line);
    }
    if (reader.ReadFailed()) {
        FailSystem("cannot read", shownName, errno != 0 ? errno : EIO);
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
