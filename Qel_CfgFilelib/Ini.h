// The section set, CIni: the root of the configuration tree, a list of
// sections addressed by name and keys addressed by section and key name.
#ifndef QEL_CFGFILE_INI_H
#define QEL_CFGFILE_INI_H

#include <string>

#include "Export.h"
#include "IniSection.h"
#include "IniValue.h"

class QELCFG_API CIni : public CIniValue<std::string, CIniSection> {
public:
    CIni();
    ~CIni();
    CIni(const CIni& other);
    CIni(CIni&& other) noexcept;
    CIni& operator=(const CIni& other);
    // Takes over the other set; the other set is left empty.
    CIni& operator=(CIni&& other) noexcept;

    // The first section of exactly that name, or null (also for a null name).
    CIniSection* FindSection(const char* name);
    // Appends a new, empty section of that name, even when one exists; null for a null
    // name. The pointer stays valid until the number of sections next changes.
    CIniSection* AddSection(const char* name);
    // Removes the first section of that name; false if there is none.
    bool RemoveSection(const char* name);

    // The whole value of `key` in the first section named `section`, copied into `value`
    // (513 bytes) as CIniSection::FindKV does.
    bool GetKeyValue(const char* section, const char* key, char* value);
    // CIniSection::AddKV(key, value, replace) on the first section of that name; false,
    // nothing created, when there is none or an argument is null.
    bool AddKeyValue(const char* section, const char* key, const char* value, bool replace);
    // CIniSection::AddKV(line, replace) on the first section of that name.
    bool AddKeyValue(const char* section, const char* line, bool replace);
    // AddKeyValue("s", "k", "v") would otherwise take the line form with replace true.
    template <class T>
    bool AddKeyValue(const char* section, const char* line, const T* replace) = delete;

    // The section cursor: StartGetSection, then GetNextSection until it returns null.
    void StartGetSection();
    CIniSection* GetNextSection();
};

#endif  // QEL_CFGFILE_INI_H
