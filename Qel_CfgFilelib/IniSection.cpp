#include "IniSection.h"

#include <cstring>
#include <functional>
#include <utility>
#include <vector>

template class CIniValue<std::string, CIniSection>;

namespace {

inline bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

// Index of the first of the first `count` entries whose key is exactly the n bytes at
// `key`, or -1.
int FindKeyIndex(const std::vector<CIniPair>& entries, int count, const char* key, std::size_t n) {
    for (int i = 0; qelcfg::detail::IndexInList(i, count, entries.size()); ++i) {
        const std::string& k = entries[i].GetKey();
        if (k.size() == n && std::memcmp(k.data(), key, n) == 0) {
            return i;
        }
    }
    return -1;
}

int FindKeyIndex(const std::vector<CIniPair>& entries, int count, const char* key) {
    return FindKeyIndex(entries, count, key, std::strlen(key));
}

// Adds a new entry as the list's AddValue(entry, replace) does, moving it in.
void PutEntry(std::vector<CIniPair>& entries, int& count, CIniPair&& entry, bool replace) {
    if (replace) {
        const std::string& key = entry.GetKey();
        const int i = FindKeyIndex(entries, count, key.data(), key.size());
        if (i >= 0) {
            entries[i] = std::move(entry);
            return;
        }
    }
    entries.push_back(std::move(entry));
    ++count;
}

// Whether `text` points into the storage of the entries of the list.
bool InEntries(const std::vector<CIniPair>& entries, const char* text) {
    const void* p = text;
    const void* begin = entries.data();
    const void* end = entries.data() + entries.capacity();
    return std::less_equal<const void*>()(begin, p) && std::less<const void*>()(p, end);
}

// The items of a value text: where each one lies, trimmed, after a split at every comma.
// A comma at the very end adds no item, so there is always at least one. The text holds
// no NUL, so nothing is cut short inside it.
class ItemSpans {
public:
    ItemSpans(const char* text, std::size_t length) {
        const char* const end = text + length;
        const char* start = text;
        for (;;) {
            const char* comma = static_cast<const char*>(std::memchr(start, ',', end - start));
            Add(start, comma != nullptr ? comma : end);
            if (comma == nullptr || comma + 1 == end) {
                return;
            }
            start = comma + 1;
        }
    }
    ItemSpans(const ItemSpans&) = delete;
    ItemSpans& operator=(const ItemSpans&) = delete;

    std::size_t Count() const { return m_count; }
    const char* Begin(std::size_t i) const { return Spans()[i].first; }
    const char* End(std::size_t i) const { return Spans()[i].second; }
    // The length of the items joined by ",".
    std::size_t JoinedLength() const { return m_bytes + m_count - 1; }

private:
    using Span = std::pair<const char*, const char*>;

    void Add(const char* b, const char* e) {
        while (b < e && IsBlank(*b)) {
            ++b;
        }
        while (e > b && IsBlank(e[-1])) {
            --e;
        }
        if (m_count < kInline) {
            m_inline[m_count] = Span(b, e);
        } else {
            if (m_count == kInline) {
                m_more.assign(m_inline, m_inline + kInline);
            }
            m_more.emplace_back(b, e);
        }
        ++m_count;
        m_bytes += static_cast<std::size_t>(e - b);
    }
    const Span* Spans() const { return m_count <= kInline ? m_inline : m_more.data(); }

    // Most values have a few items; only longer lists need the heap.
    static constexpr std::size_t kInline = 16;
    Span m_inline[kInline];
    std::vector<Span> m_more;
    std::size_t m_count = 0;
    std::size_t m_bytes = 0;
};

// Fills a new entry's items and whole value from the value text in one pass over it, each
// string allocated once at its final size: the result of AddValue(text, -1) on an empty
// entry.
void FillItems(std::vector<std::string>& items, int& count, std::string& whole, const char* text,
               std::size_t length) {
    const ItemSpans spans(text, length);
    items.reserve(spans.Count());
    for (std::size_t i = 0; i < spans.Count(); ++i) {
        items.emplace_back(spans.Begin(i), spans.End(i));
    }
    count = static_cast<int>(spans.Count());
    if (spans.Count() == 1) {
        whole = items.front();
        return;
    }
    whole.reserve(spans.JoinedLength());
    whole = items.front();
    for (std::size_t i = 1; i < items.size(); ++i) {
        whole += ',';
        whole += items[i];
    }
}

}  // namespace

CIniSection::CIniSection() {}

CIniSection::CIniSection(const std::string& name) : CIniValue<std::string, CIniPair>(name) {}

CIniSection::CIniSection(const char* name) : CIniValue<std::string, CIniPair>(name) {}

CIniSection::CIniSection(const CIniSection& other) : CIniValue<std::string, CIniPair>(other) {}

CIniSection::CIniSection(CIniSection&& other) noexcept
    : CIniValue<std::string, CIniPair>(std::move(other)) {}

CIniSection::~CIniSection() {}

CIniSection& CIniSection::operator=(const CIniSection& other) {
    if (this != &other) {
        CIniSection copy(other);
        *this = std::move(copy);
    }
    return *this;
}

CIniSection& CIniSection::operator=(CIniSection&& other) noexcept {
    CIniValue<std::string, CIniPair>::operator=(std::move(other));
    return *this;
}

void CIniSection::SetSectionName(const char* name) {
    if (name) {
        m_key = name;
    }
}

const char* CIniSection::GetSectionName() const {
    return m_key.c_str();
}

bool CIniSection::AddKV(const char* line, bool replace) {
    if (!line) {
        return false;
    }
    const char* eq = std::strchr(line, '=');
    if (!eq) {
        return false;
    }
    const char* kb = line;
    const char* ke = eq;
    while (kb < ke && IsBlank(*kb)) {
        ++kb;
    }
    while (ke > kb && IsBlank(ke[-1])) {
        --ke;
    }
    AddEntry(kb, static_cast<std::size_t>(ke - kb), eq + 1, replace);
    return true;
}

bool CIniSection::AddKV(const char* key, const char* value, bool replace) {
    if (!key || !value) {
        return false;
    }
    AddEntry(key, std::strlen(key), value, replace);
    return true;
}

// An appended entry is built where it will stay, rather than built aside and moved in;
// texts that lie inside the entries themselves (a short key is held in its entry) are
// copied aside first, since growing the list moves the entries.
void CIniSection::AddEntry(const char* key, std::size_t keyLength, const char* value,
                           bool replace) {
    const std::size_t valueLength = std::strlen(value);
    if (replace || InEntries(m_values, key) || InEntries(m_values, value)) {
        CIniPair entry;
        entry.m_key.assign(key, keyLength);
        FillItems(entry.m_values, entry.m_count, entry.m_wholeValue, value, valueLength);
        PutEntry(m_values, m_count, std::move(entry), replace);
        return;
    }
    CIniPair& entry = m_values.emplace_back();
    try {
        entry.m_key.assign(key, keyLength);
        FillItems(entry.m_values, entry.m_count, entry.m_wholeValue, value, valueLength);
    } catch (...) {
        m_values.pop_back();
        throw;
    }
    ++m_count;
}

bool CIniSection::FindKV(const char* key, char* value) {
    if (!key) {
        return false;
    }
    const int i = FindKeyIndex(m_values, m_count, key);
    if (i < 0) {
        return false;
    }
    const std::string& whole = m_values[i].m_wholeValue;
    if (whole.size() > 512) {
        return false;
    }
    std::memcpy(value, whole.c_str(), whole.size() + 1);
    return true;
}

CIniPair* CIniSection::FindKey(const char* key) {
    if (!key) {
        return nullptr;
    }
    const int i = FindKeyIndex(m_values, m_count, key);
    return i < 0 ? nullptr : &m_values[i];
}

bool CIniSection::GetIniPair(const char* key, CIniPair& pair) {
    const CIniPair* found = FindKey(key);
    if (!found) {
        return false;
    }
    pair = CIniPair(*found);
    return true;
}

bool CIniSection::GetIniPair(const char* key, CIniPair* pair) {
    const CIniPair* found = FindKey(key);
    if (!found) {
        return false;
    }
    if (pair) {
        *pair = CIniPair(*found);
    }
    return true;
}

bool CIniSection::StartGetKV() {
    m_cursor = 0;
    return true;
}

bool CIniSection::GetNextKV(char* key, char* value) {
    if (!qelcfg::detail::IndexInList(m_cursor, m_count, m_values.size())) {
        return false;
    }
    const CIniPair& entry = m_values[m_cursor++];
    const std::string& k = entry.m_key;
    if (k.size() > 30) {
        return false;
    }
    std::memcpy(key, k.c_str(), k.size() + 1);
    const std::string& whole = entry.m_wholeValue;
    if (whole.size() > 512) {
        return false;
    }
    std::memcpy(value, whole.c_str(), whole.size() + 1);
    return true;
}

bool CIniSection::RemoveKV(const char* key) {
    if (!key) {
        return false;
    }
    const int i = FindKeyIndex(m_values, m_count, key);
    if (i < 0) {
        return false;
    }
    m_values.erase(m_values.begin() + i);
    --m_count;
    return true;
}

namespace {

// Copies `text` with its NUL into `out` of `size` bytes when it fits; otherwise leaves the
// empty text there (nothing at all in a buffer of no bytes).
bool CopyBounded(const std::string* text, char* out, std::size_t size) {
    if (!out) {
        return false;
    }
    if (text && text->size() < size) {
        std::memcpy(out, text->c_str(), text->size() + 1);
        return true;
    }
    if (size > 0) {
        out[0] = '\0';
    }
    return false;
}

}  // namespace

const CIniPair* CIniSection::FindKey(const char* key) const {
    return key ? FindKey(std::string_view(key)) : nullptr;
}

CIniPair* CIniSection::FindKey(std::string_view key) {
    return const_cast<CIniPair*>(static_cast<const CIniSection&>(*this).FindKey(key));
}

const CIniPair* CIniSection::FindKey(std::string_view key) const {
    for (int i = 0;; ++i) {
        const CIniPair* entry = GetValuePtr(i);
        if (!entry || entry->GetKey() == key) {
            return entry;
        }
    }
}

bool CIniSection::FindKV(const char* key, char* value, std::size_t size) const {
    const CIniPair* entry = FindKey(key);
    return CopyBounded(entry ? &qelcfg::detail::WholeValueOf(*entry) : nullptr, value, size);
}

bool CIniSection::GetNextKV(char* key, std::size_t keySize, char* value, std::size_t valueSize) {
    const CIniPair* entry = GetNextValue();
    if (entry && CopyBounded(&entry->GetKey(), key, keySize) &&
        CopyBounded(&qelcfg::detail::WholeValueOf(*entry), value, valueSize)) {
        return true;
    }
    CopyBounded(nullptr, key, keySize);
    CopyBounded(nullptr, value, valueSize);
    return false;
}

bool CIniSection::AddKV(std::string_view key, std::string_view value, bool replace) {
    if (key.find('\0') != std::string_view::npos || value.find('\0') != std::string_view::npos) {
        return false;
    }
    return AddKV(std::string(key).c_str(), std::string(value).c_str(), replace);
}

bool CIniSection::RemoveKV(std::string_view key) {
    return RemoveValue(CIniPair(std::string(key)));
}
