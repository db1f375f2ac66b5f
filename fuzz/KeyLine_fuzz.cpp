// Gives arbitrary texts to the key-line grammar and the multi-value text form (AddKV,
// DivValue, WholeValue, AddValue, RemoveValue) and holds every result to the rules
// written out in FuzzSupport.h.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "IniSection.h"

namespace {

using qelfuzz::Join;
using qelfuzz::Pair;
using qelfuzz::PairOf;
using qelfuzz::SplitItems;

// The texts reach the library as C strings, so they end at their first NUL.
std::string Text(FuzzedDataProvider& provider) {
    return provider.ConsumeRandomLengthString(256).c_str();
}

void CheckCopiedOut(CIniSection& section, const Pair& entry) {
    char key[31];
    char value[513];
    section.StartGetKV();
    bool fits = entry.key.size() <= 30 && entry.whole.size() <= 512;
    QELFUZZ_CHECK(section.GetNextKV(key, value) == fits);
    QELFUZZ_CHECK(!fits || (entry.key == key && entry.whole == value));
    QELFUZZ_CHECK(section.FindKV(entry.key.c_str(), value) == (entry.whole.size() <= 512));
}

void CheckKeyLine(const std::string& line, const std::string& key, const std::string& value) {
    CIniSection section("S");
    Pair expected;
    bool isKeyLine = qelfuzz::ParseKeyLine(line, expected);
    QELFUZZ_CHECK(section.AddKV(line.c_str(), false) == isKeyLine);
    QELFUZZ_CHECK(section.size() == (isKeyLine ? 1u : 0u));
    if (isKeyLine) {
        QELFUZZ_CHECK(PairOf(*section.GetValuePtr(0)) == expected);
        QELFUZZ_CHECK(section.GetValuePtr(0)->GetStringIniPair() ==
                      expected.key + "=" + expected.whole);
        CheckCopiedOut(section, expected);
    }
    // The key of the two-text form is kept exactly; replacing overwrites the first entry
    // of an equal key in place, and anything else appends.
    Pair added{key, SplitItems(value), Join(SplitItems(value))};
    unsigned before = section.size();
    QELFUZZ_CHECK(section.AddKV(key.c_str(), value.c_str(), true));
    bool replaced = isKeyLine && expected.key == key;
    QELFUZZ_CHECK(section.size() == (replaced ? before : before + 1));
    QELFUZZ_CHECK(PairOf(*section.GetValuePtr(replaced ? 0 : static_cast<int>(before))) == added);
}

void CheckValueForms(const std::string& whole, const std::string& more, const std::string& gone) {
    CIniPair pair("k");
    pair.SetWholeValue(whole);
    pair.DivValue();
    std::vector<std::string> items = SplitItems(whole);
    bool hasComma = whole.find(',') != std::string::npos;
    QELFUZZ_CHECK(PairOf(pair) == (Pair{"k", items, hasComma ? whole : qelfuzz::Trim(whole)}));
    pair.WholeValue();
    QELFUZZ_CHECK(pair.GetWholeValue() == Join(items));

    std::vector<std::string> extra = SplitItems(more);
    items.insert(items.end(), extra.begin(), extra.end());
    pair.AddValue(more, -1);
    QELFUZZ_CHECK(PairOf(pair) == (Pair{"k", items, Join(items)}));

    bool removedLast = false;
    for (const std::string& item : SplitItems(gone)) {
        auto at = std::find(items.begin(), items.end(), item);
        removedLast = at != items.end();
        if (removedLast) {
            items.erase(at);
        }
    }
    QELFUZZ_CHECK(pair.RemoveValue(gone) == removedLast);
    // Removing the last item leaves no trace of it in the whole value either.
    QELFUZZ_CHECK(PairOf(pair) == (Pair{"k", items, Join(items)}));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider provider(data, size);
    const std::string line = Text(provider);
    const std::string key = Text(provider);
    const std::string more = Text(provider);
    const std::string value = provider.ConsumeRemainingBytesAsString().c_str();
    CheckKeyLine(line, key, value);
    CheckValueForms(value, more, line);
    return 0;
}
