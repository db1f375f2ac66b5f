#include "Ini.h"

#include <cstring>
#include <utility>
#include <vector>

#include "TreeAccess.h"

using qelcfg::detail::FindKeyIndex;

CIni::CIni() = default;
CIni::~CIni() = default;
CIni::CIni(const CIni& other) = default;
CIni::CIni(CIni&& other) noexcept = default;
CIni& CIni::operator=(CIni&& other) noexcept = default;

CIni& CIni::operator=(const CIni& other) {
    return qelcfg::detail::AssignCopy(*this, other);
}

CIniSection* CIni::FindSection(const char* name) {
    if (!name) {
        return nullptr;
    }
    const int i = FindKeyIndex(m_values, m_count, name);
    return i < 0 ? nullptr : &m_values[i];
}

CIniSection* CIni::AddSection(const char* name) {
    if (!name) {
        return nullptr;
    }
    m_values.emplace_back(name);
    ++m_count;
    return &m_values.back();
}

bool CIni::RemoveSection(const char* name) {
    return qelcfg::detail::RemoveFirstKeyed(m_values, m_count, name);
}

bool CIni::GetKeyValue(const char* section, const char* key, char* value) {
    if (!section || !key) {
        return false;
    }
    CIniSection* found = FindSection(section);
    return found && found->FindKV(key, value);
}

bool CIni::AddKeyValue(const char* section, const char* key, const char* value, bool replace) {
    if (!section || !key || !value) {
        return false;
    }
    CIniSection* found = FindSection(section);
    return found && found->AddKV(key, value, replace);
}

bool CIni::AddKeyValue(const char* section, const char* line, bool replace) {
    if (!section || !line) {
        return false;
    }
    CIniSection* found = FindSection(section);
    return found && found->AddKV(line, replace);
}

void CIni::StartGetSection() {
    StartNextValue();
}

CIniSection* CIni::GetNextSection() {
    return GetNextValue();
}

const CIniSection* CIni::FindSection(const char* name) const {
    return name ? FindSection(std::string_view(name)) : nullptr;
}

CIniSection* CIni::FindSection(std::string_view name) {
    return const_cast<CIniSection*>(static_cast<const CIni&>(*this).FindSection(name));
}

const CIniSection* CIni::FindSection(std::string_view name) const {
    for (int i = 0;; ++i) {
        const CIniSection* section = GetValuePtr(i);
        if (!section || section->GetKey() == name) {
            return section;
        }
    }
}

CIniSection* CIni::AddSection(std::string_view name) {
    if (name.find('\0') != std::string_view::npos) {
        return nullptr;
    }
    return AddSection(std::string(name).c_str());
}

bool CIni::RemoveSection(std::string_view name) {
    return RemoveValue(CIniSection(std::string(name)));
}

bool CIni::GetKeyValue(const char* section, const char* key, char* value, std::size_t size) const {
    const CIniSection* found = FindSection(section);
    if (found) {
        return found->FindKV(key, value, size);
    }
    if (value && size > 0) {
        value[0] = '\0';
    }
    return false;
}

bool CIni::AddKeyValue(std::string_view section, std::string_view key, std::string_view value,
                       bool replace) {
    CIniSection* found = FindSection(section);
    return found && found->AddKV(key, value, replace);
}

std::optional<std::string> CIni::Get(std::string_view section, std::string_view key) const {
    const CIniSection* found = FindSection(section);
    const CIniPair* entry = found ? found->FindKey(key) : nullptr;
    if (!entry) {
        return std::nullopt;
    }
    return qelcfg::detail::WholeValueOf(*entry);
}
