// Internal: the character rules every text of the library is read by, each written once:
// what a blank is, trimming, where a line's text ends, line breaks in a text, and the
// reading of decimal digits. This header is not installed.
#ifndef QEL_CFGFILE_STRSCAN_H
#define QEL_CFGFILE_STRSCAN_H

#include <cstddef>
#include <cstring>
#include <string>

namespace qelcfg {
namespace detail {

// The blanks that trimming removes: the space and the tab, nothing else.
inline bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

// White space as the scanf conversions skip it in the C locale.
inline bool IsSpace(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

inline bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// Moves `begin` past the leading blanks of [begin, end) and `end` back before its
// trailing ones.
inline void TrimBlanks(const char*& begin, const char*& end) {
    while (begin < end && IsBlank(*begin)) {
        ++begin;
    }
    while (end > begin && IsBlank(end[-1])) {
        --end;
    }
}

// Where the text of a physical line ends, as the reader sees it: at its first CR, LF or NUL
// (a line runs to its LF whatever bytes it holds; whatever follows a CR or NUL is dropped).
inline std::size_t LineTextLength(const char* line, std::size_t length) {
    std::size_t at = 0;
    while (at < length && line[at] != '\r' && line[at] != '\n' && line[at] != '\0') {
        ++at;
    }
    return at;
}

// Whether a text holds a line break, which would inject lines into a file it is written to.
inline bool HasLineBreak(const char* text) {
    return text != nullptr && std::strpbrk(text, "\r\n") != nullptr;
}
inline bool HasLineBreak(const std::string& text) {
    return text.find_first_of("\r\n") != std::string::npos;
}

// Reads decimal digits as "%d" and "%u" take them: white space, an optional sign, at least
// one digit; whatever follows is ignored. False when there are no digits or their
// magnitude exceeds `limit`.
bool ScanDecimal(const char* text, bool& negative, unsigned long long& magnitude,
                 unsigned long long limit);

// String2Int's reading of the NUL-terminated, non-empty `text`: `value` becomes the number
// and the result is true, or `value` becomes 0 and the result is false when no digits come
// first or they are beyond the range of int.
bool ScanInt(const char* text, int& value);

}  // namespace detail
}  // namespace qelcfg

#endif  // QEL_CFGFILE_STRSCAN_H
