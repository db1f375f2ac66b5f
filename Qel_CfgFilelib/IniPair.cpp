#include "IniPair.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <system_error>

#include "StrScan.h"
#include "StrUtil.h"

template class CIniValue<std::string, CIniPair>;

namespace {

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

inline char Lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

inline bool IsHexDigit(char c) {
    return IsDigit(c) || (Lower(c) >= 'a' && Lower(c) <= 'f');
}

// Calls item(begin, end) for each item of [text, text + length), split at every comma,
// in order; a comma at the very end adds no item, so there is always at least one. Each
// item is trimmed as SkipBeginAndTailBlank's string form trims: cut at a NUL, then blanks
// off both ends.
template <class F>
void SplitItems(const char* text, std::size_t length, F&& item) {
    const char* const end = text + length;
    const char* start = text;
    for (;;) {
        const char* comma = static_cast<const char*>(std::memchr(start, ',', end - start));
        const char* b = start;
        const char* e = comma ? comma : end;
        if (const void* nul = std::memchr(b, '\0', e - b)) {
            e = static_cast<const char*>(nul);
        }
        while (b < e && IsBlank(*b)) {
            ++b;
        }
        while (e > b && IsBlank(e[-1])) {
            --e;
        }
        item(b, e);
        if (!comma) {
            return;
        }
        start = comma + 1;
        if (start == end) {
            return;
        }
    }
}

// True when `text` is one of the strings of `items` (a caller may pass an item of the
// entry itself), which the text forms must copy before they change the list.
bool IsItemOf(const std::string& text, const std::vector<std::string>& items) {
    std::less<const std::string*> before;
    return !items.empty() && !before(&text, items.data()) &&
           before(&text, items.data() + items.size());
}

// Reads decimal digits as "%u" and "%d" take them: white space, an optional sign, at
// least one digit. False when there are no digits or their magnitude exceeds 32 bits.
bool ScanMagnitude(const char* p, bool& negative, unsigned long long& magnitude) {
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
        if (magnitude > 0xFFFFFFFFull) {
            return false;
        }
    }
    return true;
}

// "%u" into a 32-bit quantity. A leading "-" negates modulo 2^32, as the C conversion
// does ("-1" reads as 4294967295).
bool ScanUnsigned32(const char* p, unsigned long& value) {
    bool negative = false;
    unsigned long long magnitude = 0;
    if (!ScanMagnitude(p, negative, magnitude)) {
        return false;
    }
    const unsigned long long bits = negative ? 0x100000000ull - magnitude : magnitude;
    value = static_cast<unsigned long>(bits & 0xFFFFFFFFull);
    return true;
}

// Whether a number whose conversion fell out of the range of double overflowed (rather
// than underflowed): its leading significant digit lies above the units.
// [mantissa, stop) holds digits, at most one point, then the exponent part if any.
bool Overflows(const char* mantissa, const char* stop, bool hex) {
    const char expChar = hex ? 'p' : 'e';
    long long intDigits = 0;  // significant digits before the point
    long long fracZeros = 0;  // zeros after the point before the first significant one
    bool significant = false;
    bool afterDot = false;
    const char* p = mantissa;
    for (; p < stop && Lower(*p) != expChar; ++p) {
        if (*p == '.') {
            afterDot = true;
        } else if (significant) {
            intDigits += afterDot ? 0 : 1;
        } else if (*p != '0') {
            significant = true;
            intDigits += afterDot ? 0 : 1;
        } else if (afterDot) {
            ++fracZeros;
        }
    }
    long long exponent = 0;
    if (p < stop) {
        ++p;
        const bool negative = p < stop && *p == '-';
        if (p < stop && (*p == '-' || *p == '+')) {
            ++p;
        }
        for (; p < stop && IsDigit(*p); ++p) {
            if (exponent < 1000000000) {
                exponent = exponent * 10 + (*p - '0');
            }
        }
        exponent = negative ? -exponent : exponent;
    }
    const long long lead = intDigits > 0 ? intDigits - 1 : -(fracZeros + 1);
    return lead * (hex ? 4 : 1) + exponent > 0;
}

// "%lf" as the C library reads it in the "C" locale, independent of the process locale:
// white space, an optional sign, then "nan", "inf", "infinity" (any case), a hexadecimal
// number after "0x", or a decimal number, "." being the decimal point. The characters
// taken follow scanf's rules (an incomplete exponent is taken and ignored); the value is
// that of their longest valid prefix, infinite or zero beyond the range of double.
bool ScanDouble(const char* p, double& value) {
    while (IsSpace(*p)) {
        ++p;
    }
    if (*p == '\0') {
        return false;
    }
    const bool negative = *p == '-';
    if (*p == '-' || *p == '+') {
        ++p;
    }
    auto take = [&p](const char* word) {
        const char* q = p;
        for (; *word; ++word, ++q) {
            if (Lower(*q) != *word) {
                return false;
            }
        }
        p = q;
        return true;
    };
    double magnitude = 0.0;
    if (Lower(*p) == 'n') {
        if (!take("nan")) {
            return false;
        }
        magnitude = std::numeric_limits<double>::quiet_NaN();
    } else if (Lower(*p) == 'i') {
        if (!take("inf") || (Lower(*p) == 'i' && !take("inity"))) {
            return false;
        }
        magnitude = std::numeric_limits<double>::infinity();
    } else {
        const char* const number = p;
        bool hex = false;
        bool gotDigit = false;
        if (*p == '0') {
            ++p;
            if (Lower(*p) == 'x') {
                hex = true;
                ++p;
            } else {
                gotDigit = true;
            }
        }
        const char expChar = hex ? 'p' : 'e';
        bool gotDot = false;
        bool gotExp = false;
        for (;; ++p) {
            const char c = *p;
            if (IsDigit(c) || (hex && !gotExp && IsHexDigit(c))) {
                gotDigit = true;
            } else if (gotExp && Lower(p[-1]) == expChar && (c == '-' || c == '+')) {
            } else if (gotDigit && !gotExp && Lower(c) == expChar) {
                gotExp = gotDot = true;
            } else if (!gotDot && c == '.') {
                gotDot = true;
            } else {
                break;
            }
        }
        if (p == number || (hex && p == number + 2)) {
            return false;
        }
        const char* mantissa = hex ? number + 2 : number;
        const std::from_chars_result r = std::from_chars(
            mantissa, p, magnitude, hex ? std::chars_format::hex : std::chars_format::general);
        if (r.ec == std::errc::invalid_argument) {
            if (!hex) {
                return false;  // no digits at all, as in "."
            }
            magnitude = 0.0;  // "0x" without hexadecimal digits reads as its "0"
        } else if (r.ec == std::errc::result_out_of_range) {
            magnitude = Overflows(mantissa, r.ptr, hex) ? HUGE_VAL : 0.0;
        }
    }
    value = negative ? -magnitude : magnitude;
    return true;
}

}  // namespace

void qelcfg::detail::InsertItems(std::vector<std::string>& items, int& count, const char* text,
                                 std::size_t length, int index) {
    if (index >= 0 && index < count) {
        std::size_t pos = static_cast<std::size_t>(index);
        SplitItems(text, length, [&](const char* b, const char* e) {
            if (pos < items.size()) {
                items.emplace(items.begin() + static_cast<std::ptrdiff_t>(pos), b, e);
            } else {
                items.emplace_back(b, e);
            }
            ++pos;
            ++count;
        });
    } else {
        if (items.empty()) {
            // A new entry (the loader's case): one allocation for all of its items.
            std::size_t n = 1;
            for (const char* p = text;
                 (p = static_cast<const char*>(std::memchr(p, ',', text + length - p))); ++p) {
                ++n;
            }
            items.reserve(n);
        }
        SplitItems(text, length, [&](const char* b, const char* e) {
            items.emplace_back(b, e);
            ++count;
        });
    }
}

const std::string& qelcfg::detail::WholeValueOf(const CIniPair& pair) {
    return pair.m_wholeValue;
}

CIniPair::CIniPair() {}

CIniPair::CIniPair(const std::string& key) : CIniValue<std::string, std::string>(key) {}

CIniPair::CIniPair(const char* key) : CIniValue<std::string, std::string>(key) {}

CIniPair::CIniPair(const CIniPair& other)
    : CIniValue<std::string, std::string>(other), m_wholeValue(other.m_wholeValue) {}

CIniPair::CIniPair(CIniPair&& other) noexcept
    : CIniValue<std::string, std::string>(std::move(other)),
      m_wholeValue(std::move(other.m_wholeValue)) {
    other.m_wholeValue.clear();
}

CIniPair::~CIniPair() {}

CIniPair CIniPair::operator=(const CIniPair& other) {
    if (this != &other) {
        CIniPair copy(other);
        *this = std::move(copy);
    }
    return *this;
}

CIniPair& CIniPair::operator=(CIniPair&& other) noexcept {
    if (this != &other) {
        CIniValue<std::string, std::string>::operator=(std::move(other));
        m_wholeValue = std::move(other.m_wholeValue);
        other.m_wholeValue.clear();
    }
    return *this;
}

void CIniPair::Clear() {
    CIniValue<std::string, std::string>::Clear();
    m_wholeValue.clear();
}

void CIniPair::DivValue() {
    CIniValue<std::string, std::string>::Clear();
    qelcfg::detail::InsertItems(m_values, m_count, m_wholeValue.data(), m_wholeValue.size(), -1);
    if (m_wholeValue.find(',') == std::string::npos) {
        m_wholeValue = m_values.front();  // the single item: the trimmed whole value
    }
}

void CIniPair::WholeValue() {
    if (m_values.empty()) {
        return;
    }
    std::size_t length = m_values.size() - 1;
    for (const std::string& item : m_values) {
        length += item.size();
    }
    m_wholeValue.clear();
    m_wholeValue.reserve(length);
    m_wholeValue += m_values.front();
    for (std::size_t i = 1; i < m_values.size(); ++i) {
        m_wholeValue += ',';
        m_wholeValue += m_values[i];
    }
}

std::string CIniPair::GetWholeValue() const {
    return m_wholeValue;
}

void CIniPair::SetWholeValue(const std::string& text) {
    m_wholeValue = text;
}

std::string CIniPair::GetStringIniPair() const {
    std::string line;
    line.reserve(m_key.size() + 1 + m_wholeValue.size());
    line += m_key;
    line += '=';
    line += m_wholeValue;
    return line;
}

void CIniPair::AddValue(const std::string& text, int index) {
    if (IsItemOf(text, m_values)) {
        const std::string copy(text);
        AddValue(copy, index);
        return;
    }
    qelcfg::detail::InsertItems(m_values, m_count, text.data(), text.size(), index);
    WholeValue();
}

void CIniPair::AddValue(const std::string& text, bool replace) {
    if (IsItemOf(text, m_values)) {
        const std::string copy(text);
        AddValue(copy, replace);
        return;
    }
    SplitItems(text.data(), text.size(), [&](const char* b, const char* e) {
        if (replace) {
            // An equal item already present is "overwritten" by the same bytes.
            const std::size_t n = static_cast<std::size_t>(e - b);
            for (int i = 0; qelcfg::detail::IndexInList(i, m_count, m_values.size()); ++i) {
                if (m_values[i].size() == n && std::memcmp(m_values[i].data(), b, n) == 0) {
                    return;
                }
            }
        }
        m_values.emplace_back(b, e);
        ++m_count;
    });
    WholeValue();
}

bool CIniPair::RemoveValue(const std::string& text) {
    if (IsItemOf(text, m_values)) {
        const std::string copy(text);
        return RemoveValue(copy);
    }
    bool removed = false;
    bool removedAny = false;
    SplitItems(text.data(), text.size(), [&](const char* b, const char* e) {
        const std::size_t n = static_cast<std::size_t>(e - b);
        removed = false;
        for (int i = 0; qelcfg::detail::IndexInList(i, m_count, m_values.size()); ++i) {
            if (m_values[i].size() == n && std::memcmp(m_values[i].data(), b, n) == 0) {
                m_values.erase(m_values.begin() + i);
                --m_count;
                removed = removedAny = true;
                return;
            }
        }
    });
    WholeValue();
    if (removedAny && m_values.empty()) {
        m_wholeValue.clear();  // a removed value must not stay visible
    }
    return removed;
}

bool CIniPair::GetInt(int index, int& value) {
    value = 0;
    const std::string* item = GetValuePtr(index);
    if (!item) {
        return false;
    }
    return item->empty() || qelcfg::detail::ScanInt(item->c_str(), value);
}

bool CIniPair::GetUnsignedInt(int index, unsigned int& value) {
    value = 0;
    const std::string* item = GetValuePtr(index);
    if (!item) {
        return false;
    }
    unsigned long read = 0;
    if (!item->empty() && !ScanUnsigned32(item->c_str(), read)) {
        return false;
    }
    value = static_cast<unsigned int>(read);
    return true;
}

bool CIniPair::GetFloat(int index, double& value) {
    value = 0.0;
    const std::string* item = GetValuePtr(index);
    if (!item) {
        return false;
    }
    return item->empty() || ScanDouble(item->c_str(), value);
}

bool CIniPair::GetBool(int index, bool& value) {
    value = true;
    const std::string* item = GetValuePtr(index);
    if (!item) {
        return false;
    }
    if (item->empty()) {
        return true;
    }
    switch ((*item)[0]) {
        case 'n':
        case 'N':
            value = false;
            return true;
        case 'y':
        case 'Y':
            return true;
        default:
            return false;
    }
}

bool CIniPair::GetColor(int index, unsigned long& value) {
    value = 0xFFFFFFFFul;
    const std::string* item = GetValuePtr(index);
    if (!item) {
        return false;
    }
    return item->empty() || ScanUnsigned32(item->c_str(), value);
}

bool CIniPair::GetString(int index, char* buffer, int size) {
    if (!buffer) {
        return false;
    }
    if (size > 0) {
        buffer[0] = '\0';  // a buffer of no bytes gets no NUL either
    }
    const std::string* item = GetValuePtr(index);
    if (!item || size <= 0 || item->size() >= static_cast<std::size_t>(size)) {
        return false;
    }
    std::memcpy(buffer, item->c_str(), item->size() + 1);
    return true;
}

bool CIniPair::WriteInt(int index, int value) {
    if (index < 0) {
        return false;
    }
    char text[16];
    const std::to_chars_result r = std::to_chars(text, text + sizeof text, value);
    qelcfg::detail::InsertItems(m_values, m_count, text, r.ptr - text, index);
    WholeValue();
    return true;
}

bool CIniPair::WriteUnsignedInt(int index, unsigned int value) {
    if (index < 0) {
        return false;
    }
    char text[16];
    const std::to_chars_result r = std::to_chars(text, text + sizeof text, value);
    qelcfg::detail::InsertItems(m_values, m_count, text, r.ptr - text, index);
    WholeValue();
    return true;
}

bool CIniPair::WriteFloat(int index, double value) {
    if (index < 0) {
        return false;
    }
    // "%lf" text, but with "." whatever the locale; the largest double takes 317
    // characters in fixed notation, and all of them are written.
    char text[352];
    const std::to_chars_result r =
        std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, 6);
    if (r.ec != std::errc()) {
        return false;
    }
    qelcfg::detail::InsertItems(m_values, m_count, text, r.ptr - text, index);
    WholeValue();
    return true;
}

bool CIniPair::WriteBool(int index, bool value) {
    if (index < 0) {
        return false;
    }
    qelcfg::detail::InsertItems(m_values, m_count, value ? "Y" : "N", 1, index);
    WholeValue();
    return true;
}

bool CIniPair::WriteColor(int index, unsigned long value) {
    // A colour has 32 bits; the double shift tests the bits above them without a
    // comparison that is always false where unsigned long has only 32 bits.
    if (index < 0 || (value >> 16 >> 16) != 0) {
        return false;
    }
    char text[16];
    const std::to_chars_result r = std::to_chars(text, text + sizeof text, value);
    qelcfg::detail::InsertItems(m_values, m_count, text, r.ptr - text, index);
    WholeValue();
    return true;
}

bool CIniPair::WriteString(int index, const char* text) {
    if (index < 0 || !text) {
        return false;
    }
    qelcfg::detail::InsertItems(m_values, m_count, text, std::strlen(text), index);
    WholeValue();
    return true;
}

bool CIniPair::WriteString(int index, std::string_view text) {
    if (text.find('\0') != std::string_view::npos) {
        return false;
    }
    return WriteString(index, std::string(text).c_str());
}
