#include "IniSection.h"

#include <cstring>
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
    CIniPair entry;
    entry.m_key.assign(kb, ke);
    qelcfg::detail::InsertItems(entry.m_values, entry.m_count, eq + 1, std::strlen(eq + 1), -1);
    entry.WholeValue();
    PutEntry(m_values, m_count, std::move(entry), replace);
    return true;
}

bool CIniSection::AddKV(const char* key, const char* value, bool replace) {
    if (!key || !value) {
        return false;
    }
    CIniPair entry;
    entry.m_key.assign(key);
    qelcfg::detail::InsertItems(entry.m_values, entry.m_count, value, std::strlen(value), -1);
    entry.WholeValue();
    PutEntry(m_values, m_count, std::move(entry), replace);
    return true;
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
