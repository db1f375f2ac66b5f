#include "IniPair.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <functional>
#include <iterator>
#include <limits>
#include <system_error>
#include <utility>
#include <vector>

#include "StrScan.h"
#include "TreeAccess.h"

template class CIniValue<std::string, CIniPair>;

using qelcfg::detail::IsDigit;
using qelcfg::detail::IsSpace;

namespace {

inline char Lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

inline bool IsHexDigit(char c) {
    return IsDigit(c) || (Lower(c) >= 'a' && Lower(c) <= 'f');
}

// True when `text` is one of the strings of `items` (a caller may pass an item of the
// entry itself), which the text forms must copy before they change the list.
bool IsItemOf(const std::string& text, const std::vector<std::string>& items) {
    std::less<const std::string*> before;
    return !items.empty() && !before(&text, items.data()) &&
           before(&text, items.data() + items.size());
}

// "%u" into a 32-bit quantity. A leading "-" negates modulo 2^32, as the C conversion
// does ("-1" reads as 4294967295).
bool ScanUnsigned32(const char* p, unsigned long& value) {
    bool negative = false;
    unsigned long long magnitude = 0;
    if (!qelcfg::detail::ScanDecimal(p, negative, magnitude, 0xFFFFFFFFull)) {
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

// Fills the empty list `items` with the items of [text, text + length), giving it exactly
// the room they need; returns their number. The text is split once: the first few items are
// noted on the way, and only a longer list has its text split a second time.
std::size_t FillItems(std::vector<std::string>& items, const char* text, std::size_t length,
                      bool mayHoldNul) {
    struct Span {
        const char* begin;
        const char* end;
    };
    constexpr std::size_t kNoted = 8;
    Span noted[kNoted];
    std::size_t n = 0;
    qelcfg::detail::SplitItems(text, length, mayHoldNul, [&](const char* b, const char* e) {
        if (n < kNoted) {
            noted[n] = {b, e};
        }
        ++n;
    });
    items.reserve(n);
    if (n <= kNoted) {
        for (std::size_t i = 0; i < n; ++i) {
            items.emplace_back(noted[i].begin, noted[i].end);
        }
    } else {
        qelcfg::detail::SplitItems(
            text, length, mayHoldNul,
            [&items](const char* b, const char* e) { items.emplace_back(b, e); });
    }
    return n;
}

// Splits [text, text + length) into items and adds them to `items`, from `index` on when
// 0 <= index < count and otherwise at the end; `count` grows by one per item. An empty list
// gets exactly the room its items need. Items are made before the list changes, so the text
// may lie inside the items themselves.
void InsertItems(std::vector<std::string>& items, int& count, const char* text, std::size_t length,
                 bool mayHoldNul, int index) {
    if (items.empty()) {
        count += static_cast<int>(FillItems(items, text, length, mayHoldNul));
        return;
    }
    std::vector<std::string> added;
    const std::size_t n = FillItems(added, text, length, mayHoldNul);
    const std::size_t at = index >= 0 && index < count
                               ? std::min(static_cast<std::size_t>(index), items.size())
                               : items.size();
    items.insert(items.begin() + static_cast<std::ptrdiff_t>(at),
                 std::make_move_iterator(added.begin()), std::make_move_iterator(added.end()));
    count += static_cast<int>(n);
}

// A typed read of item `index`: `value` is `fallback` first, and stays so for an empty
// item, which reads as true; otherwise `scan` reads the item.
template <class T>
bool ReadItem(const CIniPair& pair, int index, T& value, T fallback,
              bool (*scan)(const char*, T&)) {
    value = fallback;
    const std::string* item = pair.GetValuePtr(index);
    return item != nullptr && (item->empty() || scan(item->c_str(), value));
}

// Room for the decimal text of any 64-bit integer, and for a double's fixed text with
// six decimals (317 characters at most).
constexpr std::size_t kIntegerTextSize = 24;
constexpr std::size_t kFloatTextSize = 352;

// A typed write of an integer: its decimal text inserted as an item at `index`.
template <class T>
bool WriteNumber(CIniPair& pair, int index, T value) {
    if (index < 0) {
        return false;
    }
    char text[kIntegerTextSize];
    const std::to_chars_result r = std::to_chars(text, text + sizeof text, value);
    qelcfg::detail::TreeAccess::AddItems(pair, text, static_cast<std::size_t>(r.ptr - text), false,
                                         index);
    return true;
}

}  // namespace

void qelcfg::detail::JoinSeveralItems(const std::vector<std::string>& items, std::string& whole) {
    std::size_t length = items.size() - 1;
    for (const std::string& item : items) {
        length += item.size();
    }
    if (length > whole.capacity()) {
        std::string joined(length, ',');  // the items are copied in between the commas
        std::size_t at = 0;
        for (const std::string& item : items) {
            std::memcpy(&joined[at], item.data(), item.size());
            at += item.size() + 1;
        }
        whole = std::move(joined);
        return;
    }
    whole.clear();
    whole.reserve(length);
    whole += items.front();
    for (std::size_t i = 1; i < items.size(); ++i) {
        whole += ',';
        whole += items[i];
    }
}

void qelcfg::detail::TreeAccess::AddItems(CIniPair& pair, const char* text, std::size_t length,
                                          bool mayHoldNul, int index) {
    InsertItems(pair.m_values, pair.m_count, text, length, mayHoldNul, index);
    JoinItems(pair.m_values, pair.m_wholeValue);
}

CIniPair::CIniPair(const std::string& key) : CIniValue<std::string, std::string>(key) {}

CIniPair::CIniPair(const char* key) : CIniValue<std::string, std::string>(key) {}

CIniPair::CIniPair(const CIniPair& other)
    : CIniValue<std::string, std::string>(other), m_wholeValue(other.m_wholeValue) {}

CIniPair CIniPair::operator=(const CIniPair& other) {
    return qelcfg::detail::AssignCopy(*this, other);
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
    std::string whole = std::move(m_wholeValue);
    // Without a comma the join is the single item: the trimmed whole value.
    qelcfg::detail::TreeAccess::AddItems(*this, whole.data(), whole.size(), true, -1);
    if (whole.find(',') != std::string::npos) {
        m_wholeValue = std::move(whole);  // with a comma it is left exactly as it was
    }
}

void CIniPair::WholeValue() {
    qelcfg::detail::JoinItems(m_values, m_wholeValue);
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
    qelcfg::detail::TreeAccess::AddItems(*this, text.data(), text.size(), true, index);
}

void CIniPair::AddValue(const std::string& text, bool replace) {
    if (IsItemOf(text, m_values)) {
        const std::string copy(text);
        AddValue(copy, replace);
        return;
    }
    qelcfg::detail::SplitItems(text.data(), text.size(), true, [&](const char* b, const char* e) {
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
    qelcfg::detail::SplitItems(text.data(), text.size(), true, [&](const char* b, const char* e) {
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

bool CIniPair::GetInt(int index, int& value) const {
    return ReadItem(*this, index, value, 0, qelcfg::detail::ScanInt);
}

bool CIniPair::GetUnsignedInt(int index, unsigned int& value) const {
    unsigned long read = 0;
    const bool ok = ReadItem(*this, index, read, 0ul, ScanUnsigned32);
    value = static_cast<unsigned int>(read);
    return ok;
}

bool CIniPair::GetFloat(int index, double& value) const {
    return ReadItem(*this, index, value, 0.0, ScanDouble);
}

bool CIniPair::GetBool(int index, bool& value) const {
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

bool CIniPair::GetColor(int index, unsigned long& value) const {
    return ReadItem(*this, index, value, 0xFFFFFFFFul, ScanUnsigned32);
}

bool CIniPair::GetString(int index, char* buffer, int size) const {
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

// The typed reads change nothing: the forms without const, which the interface has always
// had, are the const ones.
bool CIniPair::GetInt(int index, int& value) {
    return std::as_const(*this).GetInt(index, value);
}

bool CIniPair::GetUnsignedInt(int index, unsigned int& value) {
    return std::as_const(*this).GetUnsignedInt(index, value);
}

bool CIniPair::GetFloat(int index, double& value) {
    return std::as_const(*this).GetFloat(index, value);
}

bool CIniPair::GetBool(int index, bool& value) {
    return std::as_const(*this).GetBool(index, value);
}

bool CIniPair::GetColor(int index, unsigned long& value) {
    return std::as_const(*this).GetColor(index, value);
}

bool CIniPair::GetString(int index, char* buffer, int size) {
    return std::as_const(*this).GetString(index, buffer, size);
}

bool CIniPair::WriteInt(int index, int value) {
    return WriteNumber(*this, index, value);
}

bool CIniPair::WriteUnsignedInt(int index, unsigned int value) {
    return WriteNumber(*this, index, value);
}

bool CIniPair::WriteFloat(int index, double value) {
    if (index < 0) {
        return false;
    }
    // "%lf" text, but with "." whatever the locale; the largest double takes 317
    // characters in fixed notation, and all of them are written.
    char text[kFloatTextSize];
    const std::to_chars_result r =
        std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, 6);
    if (r.ec != std::errc()) {
        return false;
    }
    qelcfg::detail::TreeAccess::AddItems(*this, text, r.ptr - text, false, index);
    return true;
}

bool CIniPair::WriteBool(int index, bool value) {
    return index >= 0 && WriteString(index, value ? "Y" : "N");
}

bool CIniPair::WriteColor(int index, unsigned long value) {
    // A colour has 32 bits; the double shift tests the bits above them without a
    // comparison that is always false where unsigned long has only 32 bits.
    return (value >> 16 >> 16) == 0 && WriteNumber(*this, index, value);
}

bool CIniPair::WriteString(int index, const char* text) {
    if (index < 0 || !text) {
        return false;
    }
    qelcfg::detail::TreeAccess::AddItems(*this, text, std::strlen(text), false, index);
    return true;
}

bool CIniPair::WriteString(int index, std::string_view text) {
    if (text.find('\0') != std::string_view::npos) {
        return false;
    }
    return WriteString(index, std::string(text).c_str());
}
