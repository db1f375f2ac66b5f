// Internal: the text rules of the INI format, each written once: the physical line, the
// key line (key "=" value) and the multi-value text form (items split at commas, trimmed,
// joined by ","). They know nothing of the tree. This header is not installed.
#ifndef QEL_CFGFILE_INITEXT_H
#define QEL_CFGFILE_INITEXT_H

#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

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

// Sets `target` to the `length` bytes at `text`. A string that must grow for them gets
// exactly that room: growing it in place would leave room to spare, which a tree that a
// load built never holds.
inline void AssignExact(std::string& target, const char* text, std::size_t length) {
    if (target.empty() || length > target.capacity()) {  // a new string is made the quickest
        target = std::string(text, length);
    } else {
        target.assign(text, length);
    }
}

void JoinSeveralItems(const std::vector<std::string>& items, std::string& whole);

// The items joined by ",", with nothing else between or after them; an empty list
// leaves `whole` unchanged. A whole value that must grow gets exactly the room it needs.
inline void JoinItems(const std::vector<std::string>& items, std::string& whole) {
    if (items.size() == 1) {
        AssignExact(whole, items.front().data(), items.front().size());  // most values
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

}  // namespace detail
}  // namespace qelcfg

#endif  // QEL_CFGFILE_INITEXT_H
