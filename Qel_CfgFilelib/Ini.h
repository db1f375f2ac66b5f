// The section set, CIni: the root of the configuration tree, a list of
// sections addressed by name and keys addressed by section and key name.
#ifndef QEL_CFGFILE_INI_H
#define QEL_CFGFILE_INI_H

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

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

    // The const lookup: the first section of exactly that name, or null (also for null).
    //   const CIniSection* display = std::as_const(tree).FindSection("Display");
    const CIniSection* FindSection(const char* name) const;
    // FindSection with the name as a view, compared whole.
    //   CIniSection* display = tree.FindSection(std::string("Display"));
    CIniSection* FindSection(std::string_view name);
    const CIniSection* FindSection(std::string_view name) const;
    // AddSection with the name as a view; null, nothing added, when it holds a NUL.
    //   tree.AddSection(std::string("Display"))->AddKV("Size=640,480", false);
    CIniSection* AddSection(std::string_view name);
    // RemoveSection with the name as a view: removes the first section of that name.
    //   tree.RemoveSection(std::string("Display"));
    bool RemoveSection(std::string_view name);
    // GetKeyValue into `value` of `size` bytes, as CIniSection::FindKV(key, value, size):
    // false, `value` holding "" (size 0: untouched), when anything is missing or too long.
    //   char v[64]; tree.GetKeyValue("Display", "Size", v, sizeof v);
    bool GetKeyValue(const char* section, const char* key, char* value, std::size_t size) const;
    // AddKeyValue(section, key, value, replace) with views; false when a text holds a NUL.
    //   tree.AddKeyValue(std::string("Display"), "Depth", std::to_string(32), true);
    bool AddKeyValue(std::string_view section, std::string_view key, std::string_view value,
                     bool replace);
    // The whole value of the first key `key` of the first section `section`, of any length;
    // empty when either is missing. Moves no cursor.
    //   std::string size = tree.Get("Display", "Size").value_or("640,480");
    std::optional<std::string> Get(std::string_view section, std::string_view key) const;
};

#endif  // QEL_CFGFILE_INI_H
