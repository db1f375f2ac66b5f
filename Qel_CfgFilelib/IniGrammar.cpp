#include "IniGrammar.h"

#include <cstring>

#include "IniGrammarScan.h"

namespace {

const char kByteOrderMark[] = "\xEF\xBB\xBF";

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

}  // namespace

qelcfg::detail::ScannedLine qelcfg::detail::ScanLine(const char* line, bool first) {
    if (first && std::strncmp(line, kByteOrderMark, 3) == 0) {
        line += 3;
    }
    std::size_t n = std::strlen(line);
    while (n > 0 && IsBlank(line[n - 1])) {
        --n;
    }
    std::size_t i = 0;
    while (i < n && IsBlank(line[i])) {
        ++i;
    }
    if (i == n) {
        return {CIniLineScanner::kBlank, nullptr, 0};
    }
    const char* t = line + i;
    std::size_t len = n - i;
    if (t[0] == '#') {
        bool header = len >= 2 && t[1] == '[' && t[len - 1] == ']';
        return {header ? CIniLineScanner::kCommentedHeader : CIniLineScanner::kComment, nullptr, 0};
    }
    // A lone "[" is a key line: its first and last character are the same bracket.
    if (t[0] == '[' && len >= 2 && t[len - 1] == ']') {
        return {CIniLineScanner::kHeader, t + 1, len - 2};
    }
    return {CIniLineScanner::kKeyLine, line, n};
}

CIniLineScanner::LineKind CIniLineScanner::Scan(const char* line) {
    const qelcfg::detail::ScannedLine scanned = qelcfg::detail::ScanLine(line, m_first);
    m_first = false;
    if (scanned.kind == kHeader) {
        m_name.assign(scanned.text, scanned.length);
    } else if (scanned.kind == kKeyLine) {
        m_copy.assign(scanned.text, scanned.length);
    }
    return scanned.kind;
}
