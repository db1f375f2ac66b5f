// Internal: what the library's own units may do with the tree beyond its exported
// interface: a key entry's whole value without a copy, the key-line add, the lookup by key
// and the copy assignment that the tree classes share. This header is not installed.
#ifndef QEL_CFGFILE_TREEACCESS_H
#define QEL_CFGFILE_TREEACCESS_H

#include <cstddef>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "IniPair.h"
#include "IniSection.h"
#include "IniText.h"

namespace qelcfg {
namespace detail {

class TreeAccess {
public:
    // The entry's whole value itself, without the copy that GetWholeValue makes.
    static const std::string& WholeValue(const CIniPair& pair) { return pair.m_wholeValue; }
    // What AddValue(text, index) does with a text of `length` bytes: split, insert at
    // `index` (append when it is not an item's index), join.
    static void AddItems(CIniPair& pair, const char* text, std::size_t length, bool mayHoldNul,
                         int index);
    // AddKV of a key line already split; the texts need not be NUL-terminated.
    static void AddEntry(CIniSection& section, const KeyLineParts& parts, bool replace);
    // Gives the entry the key of `parts` and appends the items of its value; a new entry gets
    // exactly the room its texts and items need.
    static void FillEntry(CIniPair& entry, const KeyLineParts& parts) {
        AssignExact(entry.m_key, parts.key, parts.keyLength);
        AddItems(entry, parts.value, parts.valueLength, false, -1);
    }
    // Moves the entries `gathered` into `section`, which holds none, and leaves `gathered`
    // empty with its room kept for the next section. The section's list then holds exactly
    // them; without the memory for that list it takes over `gathered` itself.
    static void HandOverEntries(std::vector<CIniPair>& gathered, CIniSection& section) noexcept;
};

// Index of the first of the first `count` values (entries or sections) whose key is
// exactly the n bytes at `key`, or -1.
template <class V>
int FindKeyIndex(const std::vector<V>& values, int count, const char* key, std::size_t n) {
    for (int i = 0; IndexInList(i, count, values.size()); ++i) {
        const std::string& k = values[i].GetKey();
        if (k.size() == n && std::memcmp(k.data(), key, n) == 0) {
            return i;
        }
    }
    return -1;
}

template <class V>
int FindKeyIndex(const std::vector<V>& values, int count, const char* key) {
    return FindKeyIndex(values, count, key, std::strlen(key));
}

// Removes the first value whose key is `key`; false when there is none or `key` is null.
template <class V>
bool RemoveFirstKeyed(std::vector<V>& values, int& count, const char* key) {
    const int i = key != nullptr ? FindKeyIndex(values, count, key) : -1;
    if (i < 0) {
        return false;
    }
    values.erase(values.begin() + i);
    --count;
    return true;
}

// The copy assignment of the tree classes: a deep copy taken first, then moved in, so
// that a failed copy leaves the target as it was.
template <class T>
T& AssignCopy(T& target, const T& source) {
    if (&target != &source) {
        T copy(source);
        target = std::move(copy);
    }
    return target;
}

inline const std::string& WholeValueOf(const CIniPair& pair) {
    return TreeAccess::WholeValue(pair);
}

}  // namespace detail
}  // namespace qelcfg

#endif  // QEL_CFGFILE_TREEACCESS_H
