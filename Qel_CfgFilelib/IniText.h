// Internal: the two text forms of the tree, each written once: the key line (key "="
// value) and the multi-value text form (items split at commas, trimmed, joined by ",");
// the lookup by key and the copy assignment that the tree classes share; and what the
// library's own units may do with a key entry or a section beyond their exported
// interface. This header is not installed.
#ifndef QEL_CFGFILE_INITEXT_H
#define QEL_CFGFILE_INITEXT_H

#include <cstddef>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "IniPair.h"
#include "IniSection.h"
#include "StrScan.h"

namespace qelcfg {
namespace detail {

// Calls item(begin, end) for each item of [text, text + length), split at every comma,
// in order; a comma at the very end adds no item, so there is always at least one. Each
// item is trimmed as SkipBeginAndTailBlank's string form trims: cut at its first NUL,
// then blanks off both ends. A text taken from a NUL-terminated string holds no NUL, and
// its caller passes `mayHoldNul` false to spare the search.
template <class F>
void SplitItems(const char* text, std::size_t length, bool mayHoldNul, F&& item) {
    const char* const end = text + length;
    // The first NUL at or after the current item; one search covers a text without any.
    const char* nul =
        mayHoldNul ? static_cast<const char*>(std::memchr(text, '\0', length)) : nullptr;
    const char* start = text;
    for (;;) {
        const char* comma = static_cast<const char*>(std::memchr(start, ',', end - start));
        const char* b = start;
        const char* e = comma ? comma : end;
        if (nul != nullptr && nul < b) {
            nul = static_cast<const char*>(std::memchr(b, '\0', end - b));
        }
        if (nul != nullptr && nul < e) {
            e = nul;
        }
        TrimBlanks(b, e);
        item(b, e);
        if (!comma || comma + 1 == end) {
            return;
        }
        start = comma + 1;
    }
}

void JoinSeveralItems(const std::vector<std::string>& items, std::string& whole);

// The items joined by ",", with nothing else between or after them; an empty list
// leaves `whole` unchanged.
inline void JoinItems(const std::vector<std::string>& items, std::string& whole) {
    if (items.size() == 1) {
        whole = items.front();  // most values have a single item
    } else if (!items.empty()) {
        JoinSeveralItems(items, whole);
    }
}

// A key line split at its first "=": the key before it, trimmed, and the value text after
// it, untrimmed. False when the line holds no "=". The line holds no NUL.
struct KeyLineParts {
    const char* key;
    std::size_t keyLength;
    const char* value;
    std::size_t valueLength;
};
inline bool SplitKeyLine(const char* line, std::size_t length, KeyLineParts& parts) {
    const char* eq = static_cast<const char*>(std::memchr(line, '=', length));
    if (eq == nullptr) {
        return false;
    }
    const char* key = line;
    const char* keyEnd = eq;
    TrimBlanks(key, keyEnd);
    parts = {key, static_cast<std::size_t>(keyEnd - key), eq + 1,
             length - static_cast<std::size_t>(eq + 1 - line)};
    return true;
}

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
    // A new entry `key`=`value` at the end of `entries`, built where it stays.
    static void FillEntry(CIniPair& entry, const KeyLineParts& parts) {
        entry.m_key.assign(parts.key, parts.keyLength);
        AddItems(entry, parts.value, parts.valueLength, false, -1);
    }
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

#endif  // QEL_CFGFILE_INITEXT_H
