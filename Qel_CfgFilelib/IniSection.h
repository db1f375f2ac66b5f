// A section, CIniSection: a named list of key entries, with the key-line
// grammar key "=" value, lookups by key and a walk over the entries as texts.
#ifndef QEL_CFGFILE_INISECTION_H
#define QEL_CFGFILE_INISECTION_H

#include <cstddef>
#include <string>
#include <string_view>

#include "Export.h"
#include "IniPair.h"
#include "IniValue.h"

class QELCFG_API CIniSection : public CIniValue<std::string, CIniPair> {
public:
    CIniSection();
    // The name is stored exactly as given: untrimmed, brackets kept.
    explicit CIniSection(const std::string& name);
    explicit CIniSection(const char* name);
    CIniSection(const CIniSection& other);
    CIniSection(CIniSection&& other) noexcept;
    ~CIniSection();
    CIniSection& operator=(const CIniSection& other);
    // Takes over the other section; the other section is left empty.
    CIniSection& operator=(CIniSection&& other) noexcept;

    // A null name changes nothing.
    void SetSectionName(const char* name);
    const char* GetSectionName() const;

    // A key line: the key is the text before the first "=", trimmed; the text after it is
    // split into trimmed items at its commas. With replace true the first entry of the
    // same key is overwritten wholesale; otherwise the entry is appended. A null line or
    // one without "=" gives false and adds nothing.
    bool AddKV(const char* line, bool replace);
    // An entry of exactly this key (not trimmed) with `value` split into items. A null
    // key or value gives false and adds nothing.
    bool AddKV(const char* key, const char* value, bool replace);
    // AddKV("k", "v") would otherwise take the line form with replace true.
    template <class T>
    bool AddKV(const char* line, const T* replace) = delete;

    // Copies the whole value of the first entry of that key into `value` (513 bytes);
    // false, the buffer untouched, when there is none or it is longer than 512 characters.
    bool FindKV(const char* key, char* value);
    // The stored entry of that key, or null.
    CIniPair* FindKey(const char* key);
    // Copies the first entry of that key into `pair`; false, `pair` untouched, if none.
    bool GetIniPair(const char* key, CIniPair& pair);
    // Whether an entry of that key exists; when it does and `pair` is not null, the entry
    // is copied into *pair as the reference form does.
    bool GetIniPair(const char* key, CIniPair* pair);

    // Sets the cursor to 0; always true.
    bool StartGetKV();
    // The entry under the cursor as its key (31-byte buffer) and whole value (513 bytes).
    // The cursor advances even when the key exceeds 30 characters or the whole value 512
    // and the result is false, so `while (GetNextKV(k, v))` stops at the first entry that
    // does not fit and never sees the ones after it: walk `for (CIniPair& e : section)`.
    bool GetNextKV(char* key, char* value);
    // Removes the first entry of that key; false if there is none.
    bool RemoveKV(const char* key);

    // The longest key GetNextKV hands out and the longest whole value FindKV and GetNextKV
    // hand out; their buffers hold one byte more, for the NUL.
    static constexpr std::size_t kMaxKeyLength = 30;
    static constexpr std::size_t kMaxValueLength = 512;
    // The const lookup: the first entry of exactly that key, or null (also for null).
    //   const CIniPair* size = std::as_const(section).FindKey("Size");
    const CIniPair* FindKey(const char* key) const;
    // FindKey with the key as a view, compared whole.
    //   CIniPair* size = section.FindKey(std::string("Size"));
    CIniPair* FindKey(std::string_view key);
    const CIniPair* FindKey(std::string_view key) const;
    // Copies the whole value of the first entry of that key, with its NUL, into `value` of
    // `size` bytes; no 512-character limit. False when there is none, the key or `value`
    // is null, or it needs more than `size` bytes: `value` then holds "" (size 0: untouched).
    //   char v[64]; if (section.FindKV("Size", v, sizeof v)) use(v);
    bool FindKV(const char* key, char* value, std::size_t size) const;
    // GetNextKV into buffers of `keySize` and `valueSize` bytes, the only limits. The cursor
    // advances over the entry also when it does not fit; on false both buffers hold "", and
    // a loop on the result stops there, before the entries after it.
    //   while (section.GetNextKV(k, sizeof k, v, sizeof v)) use(k, v);
    bool GetNextKV(char* key, std::size_t keySize, char* value, std::size_t valueSize);
    // AddKV(key, value, replace) with views: the key exactly as given, the value split into
    // items. False, nothing added, when a text holds a NUL.
    //   section.AddKV(std::string("Size"), std::string("640, 480"), false);
    bool AddKV(std::string_view key, std::string_view value, bool replace);
    // RemoveKV with the key as a view: removes the first entry of that key.
    //   section.RemoveKV(std::string("Size"));
    bool RemoveKV(std::string_view key);

private:
    friend class qelcfg::detail::TreeAccess;
};

extern template class QELCFG_API CIniValue<std::string, CIniSection>;

#endif  // QEL_CFGFILE_INISECTION_H
