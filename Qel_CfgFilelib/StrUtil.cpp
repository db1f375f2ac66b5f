#include "StrUtil.h"

#include <cstring>

#include "StrScan.h"

namespace {

inline bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

// White space as "%d" skips it in the C locale.
inline bool IsSpace(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

}  // namespace

char* SkipBeginAndTailBlank(char* text) {
    if (!text) {
        return nullptr;
    }
    const std::size_t n = std::strlen(text);
    std::size_t i = 0;
    while (i < n && IsBlank(text[i])) {
        ++i;
    }
    if (i == n) {
        return nullptr;
    }
    std::size_t j = n - 1;
    while (j > 0 && IsBlank(text[j])) {
        --j;
    }
    if (j < n - 1) {
        text[j + 1] = '\0';
    }
    return text + i;
}

std::string SkipBeginAndTailBlank(std::string& text) {
    const char* begin = text.data();
    const void* nul = std::memchr(begin, '\0', text.size());
    const char* end = nul ? static_cast<const char*>(nul) : begin + text.size();
    while (begin < end && IsBlank(*begin)) {
        ++begin;
    }
    while (end > begin && IsBlank(end[-1])) {
        --end;
    }
    return std::string(begin, end);
}

bool qelcfg::detail::ScanInt(const char* p, int& value) {
    value = 0;
    while (IsSpace(*p)) {
        ++p;
    }
    const bool negative = *p == '-';
    if (*p == '-' || *p == '+') {
        ++p;
    }
    if (*p < '0' || *p > '9') {
        return false;
    }
    // The magnitude is bounded by 2^31 (the magnitude of INT_MIN); beyond it the digits do
    // not fit an int, which "%d" leaves undefined and this function reports as failure.
    const unsigned long long limit = negative ? 2147483648ull : 2147483647ull;
    unsigned long long magnitude = 0;
    for (; *p >= '0' && *p <= '9'; ++p) {
        magnitude = magnitude * 10 + static_cast<unsigned>(*p - '0');
        if (magnitude > limit) {
            return false;
        }
    }
    value = negative ? static_cast<int>(-static_cast<long long>(magnitude))
                     : static_cast<int>(magnitude);
    return true;
}

bool String2Int(std::string text, int& value) {
    return !text.empty() && qelcfg::detail::ScanInt(text.c_str(), value);
}
