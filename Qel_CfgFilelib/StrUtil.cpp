#include "StrUtil.h"

#include <cstring>

#include "StrScan.h"

using qelcfg::detail::TrimBlanks;

char* SkipBeginAndTailBlank(char* text) {
    if (!text) {
        return nullptr;
    }
    const char* begin = text;
    const char* end = text + std::strlen(text);
    TrimBlanks(begin, end);
    if (begin == end) {
        return nullptr;
    }
    // Cutting the trailing blanks off with a NUL is the only write to the buffer.
    char* const last = text + (end - text);
    if (*last != '\0') {
        *last = '\0';
    }
    return text + (begin - text);
}

std::string SkipBeginAndTailBlank(std::string& text) {
    const char* begin = text.data();
    const void* nul = std::memchr(begin, '\0', text.size());
    const char* end = nul ? static_cast<const char*>(nul) : begin + text.size();
    TrimBlanks(begin, end);
    return std::string(begin, end);
}

bool qelcfg::detail::ScanDecimal(const char* p, bool& negative, unsigned long long& magnitude,
                                 unsigned long long limit) {
    while (IsSpace(*p)) {
        ++p;
    }
    negative = *p == '-';
    if (*p == '-' || *p == '+') {
        ++p;
    }
    if (!IsDigit(*p)) {
        return false;
    }
    magnitude = 0;
    for (; IsDigit(*p); ++p) {
        magnitude = magnitude * 10 + static_cast<unsigned>(*p - '0');
        if (magnitude > limit) {
            return false;
        }
    }
    return true;
}

bool qelcfg::detail::ScanInt(const char* p, int& value) {
    value = 0;
    // The magnitude of INT_MIN bounds the digits; beyond the range of int "%d" is
    // undefined, and this function reports it as failure.
    constexpr unsigned long long kIntMagnitude = 2147483648ull;
    bool negative = false;
    unsigned long long magnitude = 0;
    if (!ScanDecimal(p, negative, magnitude, kIntMagnitude) ||
        (!negative && magnitude == kIntMagnitude)) {
        return false;
    }
    value = negative ? static_cast<int>(-static_cast<long long>(magnitude))
                     : static_cast<int>(magnitude);
    return true;
}

bool String2Int(std::string text, int& value) {
    return !text.empty() && qelcfg::detail::ScanInt(text.c_str(), value);
}
