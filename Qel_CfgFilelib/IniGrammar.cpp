#include "IniGrammar.h"

#include <cstring>

namespace {

const char kByteOrderMark[] = "\xEF\xBB\xBF";

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

}  // namespace

CIniLineScanner::LineKind CIniLineScanner::Scan(const char* line) {
    if (m_first) {
        m_first = false;
        if (std::strncmp(line, kByteOrderMark, 3) == 0) {
            line += 3;
        }
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
        return kBlank;
    }
    const char* t = line + i;
    std::size_t len = n - i;
    if (t[0] == '#') {
        bool header = len >= 2 && t[1] == '[' && t[len - 1] == ']';
        return header ? kCommentedHeader : kComment;
    }
    // A lone "[" is a key line: its first and last character are the same bracket.
    if (t[0] == '[' && len >= 2 && t[len - 1] == ']') {
        m_name.assign(t + 1, len - 2);
        return kHeader;
    }
    m_copy.assign(line, n);
    return kKeyLine;
}
