// A key entry, CIniPair: a key with the comma-separated items of
// its value, held both as an item list and as one text, the whole value, and typed reads
// and writes of single items.
#ifndef QEL_CFGFILE_INIPAIR_H
#define QEL_CFGFILE_INIPAIR_H

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "Export.h"
#include "IniValue.h"

namespace qelcfg {
namespace detail {
class TreeAccess;
}  // namespace detail
}  // namespace qelcfg

class QELCFG_API CIniPair : public CIniValue<std::string, std::string> {
public:
    CIniPair();
    // The argument is the key name; nothing is parsed or split.
    explicit CIniPair(const std::string& key);
    explicit CIniPair(const char* key);
    CIniPair(const CIniPair& other);
    CIniPair(CIniPair&& other) noexcept;
    ~CIniPair();
    // Deep copy (cursor and whole value included); returns a copy of the entry as it now
    // stands, by value.
    CIniPair operator=(const CIniPair& other);
    // Takes over the other entry; the other entry is left empty.
    CIniPair& operator=(CIniPair&& other) noexcept;

    // Removes the items and empties the whole value; the key stays.
    void Clear();
    // Whole value to items: splits at every comma and trims each item. A whole value
    // without a comma is itself trimmed; one with a comma is left exactly as it was.
    void DivValue();
    // Items to whole value: joins the items with ","; an empty list leaves it unchanged.
    void WholeValue();
    std::string GetWholeValue() const;
    // Replaces the whole value alone (not trimmed, not split).
    void SetWholeValue(const std::string& text);
    // key "=" whole value, without blanks or a line end.
    std::string GetStringIniPair() const;

    // The text forms: split `text` into items, change the list, then join. They hide the
    // list's own single-value forms, which stay reachable through the base class.
    void AddValue(const std::string& text, int index);
    void AddValue(const std::string& text, bool replace);
    // True when the last item of `text` was found and removed. Removing the last item
    // leaves the empty whole value.
    bool RemoveValue(const std::string& text);

    // Typed reads of item `index`. Each stores its default first (0, 0, 0.0,
    // true, 0xFFFFFFFF, the empty text); an empty item reads as true with the default.
    // Numbers beyond the range of their type read as false; "." is the decimal point
    // whatever the locale; a colour is a 32-bit quantity.
    bool GetInt(int index, int& value);
    bool GetUnsignedInt(int index, unsigned int& value);
    bool GetFloat(int index, double& value);
    bool GetBool(int index, bool& value);
    bool GetColor(int index, unsigned long& value);
    bool GetString(int index, char* buffer, int size);
    // The same reads on a const entry, such as the const lookups give; they change nothing.
    //   const CIniPair* size = section->FindKey("Size"); int w = 0; size && size->GetInt(0, w);
    bool GetInt(int index, int& value) const;
    bool GetUnsignedInt(int index, unsigned int& value) const;
    bool GetFloat(int index, double& value) const;
    bool GetBool(int index, bool& value) const;
    bool GetColor(int index, unsigned long& value) const;
    bool GetString(int index, char* buffer, int size) const;

    // Typed writes insert a new item at `index` (append at or beyond the end) and never
    // overwrite one. A negative index, or a colour above 0xFFFFFFFF, gives false and
    // changes nothing.
    bool WriteInt(int index, int value);
    bool WriteUnsignedInt(int index, unsigned int value);
    bool WriteFloat(int index, double value);
    bool WriteBool(int index, bool value);
    bool WriteColor(int index, unsigned long value);
    bool WriteString(int index, const char* text);

    // WriteString with the text as a view: inserts its items at `index` (appends at or
    // beyond the end). False, nothing changed, for a negative index or a text holding NUL.
    //   pair.WriteString(0, std::string("640, 480"));   // items "640", "480"
    bool WriteString(int index, std::string_view text);

private:
    friend class qelcfg::detail::TreeAccess;

    std::string m_wholeValue;
};

// Inline, as the list's own: the list of a section moves and destroys its entries without a
// call into the library for each.
inline CIniPair::CIniPair() {}

inline CIniPair::CIniPair(CIniPair&& other) noexcept
    : CIniValue<std::string, std::string>(std::move(other)),
      m_wholeValue(std::move(other.m_wholeValue)) {
    other.m_wholeValue.clear();
}

inline CIniPair::~CIniPair() {}

extern template class QELCFG_API CIniValue<std::string, CIniPair>;

#endif  // QEL_CFGFILE_INIPAIR_H
