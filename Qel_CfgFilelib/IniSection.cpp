#include "IniSection.h"

#include <cstring>
#include <functional>
#include <iterator>
#include <new>
#include <utility>
#include <vector>

#include "TreeAccess.h"

template class CIniValue<std::string, CIniSection>;

namespace {

using qelcfg::detail::FindKeyIndex;

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

}  // namespace

CIniSection::CIniSection() = default;

CIniSection::CIniSection(const std::string& name) : CIniValue<std::string, CIniPair>(name) {}

CIniSection::CIniSection(const char* name) : CIniValue<std::string, CIniPair>(name) {}

CIniSection::CIniSection(const CIniSection& other) = default;
CIniSection::CIniSection(CIniSection&& other) noexcept = default;
CIniSection::~CIniSection() = default;
CIniSection& CIniSection::operator=(CIniSection&& other) noexcept = default;

CIniSection& CIniSection::operator=(const CIniSection& other) {
    return qelcfg::detail::AssignCopy(*this, other);
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
    qelcfg::detail::KeyLineParts parts;
    if (!line || !qelcfg::detail::SplitKeyLine(line, std::strlen(line), parts)) {
        return false;
    }
    qelcfg::detail::TreeAccess::AddEntry(*this, parts, replace);
    return true;
}

bool CIniSection::AddKV(const char* key, const char* value, bool replace) {
    if (!key || !value) {
        return false;
    }
    qelcfg::detail::TreeAccess::AddEntry(*this, {key, std::strlen(key), value, std::strlen(value)},
                                         replace);
    return true;
}

// An appended entry is built where it will stay, rather than built aside and moved in;
// texts that lie inside the entries themselves (a short key is held in its entry) are
// copied aside first, since growing the list moves the entries.
void qelcfg::detail::TreeAccess::AddEntry(CIniSection& section, const KeyLineParts& parts,
                                          bool replace) {
    std::vector<CIniPair>& entries = section.m_values;
    if (replace || InEntries(entries, parts.key) || InEntries(entries, parts.value)) {
        CIniPair entry;
        FillEntry(entry, parts);
        PutEntry(entries, section.m_count, std::move(entry), replace);
        return;
    }
    CIniPair& entry = entries.emplace_back();
    try {
        FillEntry(entry, parts);
    } catch (...) {
        entries.pop_back();
        throw;
    }
    ++section.m_count;
}

void qelcfg::detail::TreeAccess::HandOverEntries(std::vector<CIniPair>& gathered,
                                                 CIniSection& section) noexcept {
    std::vector<CIniPair>& entries = section.m_values;
    const int count = static_cast<int>(gathered.size());
    if (count == 0 && entries.capacity() == 0) {
        return;
    }
    try {
        std::vector<CIniPair> exact(std::make_move_iterator(gathered.begin()),
                                    std::make_move_iterator(gathered.end()));
        entries.swap(exact);
    } catch (const std::bad_alloc&) {
        entries.swap(gathered);
    }
    gathered.clear();
    section.m_count = count;
}

bool CIniSection::FindKV(const char* key, char* value) {
    if (!key) {
        return false;
    }
    const int i = FindKeyIndex(m_values, m_count, key);
    if (i < 0) {
        return false;
    }
    const std::string& whole = qelcfg::detail::WholeValueOf(m_values[i]);
    if (whole.size() > kMaxValueLength) {
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
    const std::string& k = entry.GetKey();
    if (k.size() > kMaxKeyLength) {
        return false;
    }
    std::memcpy(key, k.c_str(), k.size() + 1);
    const std::string& whole = qelcfg::detail::WholeValueOf(entry);
    if (whole.size() > kMaxValueLength) {
        return false;
    }
    std::memcpy(value, whole.c_str(), whole.size() + 1);
    return true;
}

bool CIniSection::RemoveKV(const char* key) {
    return qelcfg::detail::RemoveFirstKeyed(m_values, m_count, key);
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
