#include "Ini.h"

#include <cstring>
#include <utility>
#include <vector>

#include "IniText.h"

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
