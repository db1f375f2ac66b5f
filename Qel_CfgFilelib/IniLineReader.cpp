#include "IniLineReader.h"

#include <cstring>

#include "IniText.h"
#include "StrScan.h"

namespace {

const char kByteOrderMark[] = "\xEF\xBB\xBF";
constexpr std::size_t kByteOrderMarkLength = sizeof kByteOrderMark - 1;

}  // namespace

const CIniLineReader::Line& CIniLineReader::Read(const char* bytes) {
    Line& line = m_line;
    line.bytes = bytes;
    const char* text = bytes;
    if (++line.index == 0 && std::strncmp(text, kByteOrderMark, kByteOrderMarkLength) == 0) {
        text += kByteOrderMarkLength;
    }
    const char* begin = text;
    const char* end = text + std::strlen(text);
    qelcfg::detail::TrimBlanks(begin, end);
    const std::size_t length = static_cast<std::size_t>(end - begin);
    line.header = -1;
    if (length == 0) {
        line.kind = kBlank;
    } else if (*begin == '#') {
        const bool header = length >= 2 && begin[1] == '[' && end[-1] == ']';
        line.kind = header ? kCommentedHeader : kComment;
        m_intake = header ? kAfterCommentedHeader : m_intake;
    } else if (*begin == '[' && length >= 2 && end[-1] == ']') {
        // A lone "[" is no header: its first and last character are the same bracket.
        line.kind = kHeader;
        line.text = begin + 1;
        line.length = length - 2;
        m_intake = line.length > 0 ? kTaken : kAfterEmptyHeader;
        m_header = line.index;
    } else {
        line.text = text;
        line.length = static_cast<std::size_t>(end - text);
        qelcfg::detail::KeyLineParts parts = {};
        const bool hasEquals = qelcfg::detail::SplitKeyLine(line.text, line.length, parts);
        line.kind = hasEquals ? kKeyLine : kNoEquals;
        line.key = parts.key;
        line.keyLength = parts.keyLength;
        line.value = parts.value;
        line.valueLength = parts.valueLength;
        line.header = m_intake == kTaken ? m_header : -1;
    }
    line.intake = m_intake;
    return line;
}

void CIniLineReader::RefuseSection() {
    if (m_intake == kTaken) {
        m_intake = m_line.intake = kAfterRefusedHeader;
    }
}
