// Attaches a file of arbitrary bytes and adds one value to it through AddValue, which
// saves the whole tree to the file at once: the adding operation refuses what the format
// cannot carry (a CR or LF, a section that is not there, a key line without "="), and
// otherwise the file afterwards holds exactly the writer's form of the changed tree.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzSupport.h"
#include "IniFile.h"

namespace {

using qelfuzz::Pair;
using qelfuzz::Tree;

bool HasLineBreak(const std::string& text) {
    return text.find_first_of("\r\n") != std::string::npos;
}

// The tree after adding `pair` to the first section `name`; false when there is none.
bool Added(Tree& tree, const std::string& name, const Pair& pair, bool replace) {
    for (qelfuzz::Section& section : tree) {
        if (section.name != name) {
            continue;
        }
        for (Pair& entry : section.pairs) {
            if (replace && entry.key == pair.key) {
                entry = pair;
                return true;
            }
        }
        section.pairs.push_back(pair);
        return true;
    }
    return false;
}

}  // namespace

// The input is the section name, the key (or key line) and the value, each a short text
// ended by a backslash and one more byte, then the file's bytes; the last bytes choose
// between the two forms of AddValue and whether it replaces.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider provider(data, size);
    const bool replace = provider.ConsumeBool();
    const bool lineForm = provider.ConsumeBool();
    const std::string section = provider.ConsumeRandomLengthString(32).c_str();
    const std::string key = provider.ConsumeRandomLengthString(64).c_str();
    const std::string value = provider.ConsumeRandomLengthString(64).c_str();
    const std::string bytes = provider.ConsumeRemainingBytesAsString();
    const std::string& path = qelfuzz::WorkFile();
    qelfuzz::WriteBytes(path, bytes);

    CIniFile ini;
    QELFUZZ_CHECK(ini.Attach(path.c_str()));
    Tree expected = qelfuzz::TreeOf(ini.GetCfg());
    Pair pair{key, qelfuzz::SplitItems(value), qelfuzz::Join(qelfuzz::SplitItems(value))};
    bool takes = !HasLineBreak(section) && !HasLineBreak(key) &&
                 (lineForm ? qelfuzz::ParseKeyLine(key, pair) : !HasLineBreak(value));
    takes = takes && Added(expected, section, pair, replace);

    bool saved = lineForm ? ini.AddValue(section.c_str(), key.c_str(), replace)
                          : ini.AddValue(section.c_str(), key.c_str(), value.c_str(), replace);
    QELFUZZ_CHECK(saved == takes);
    QELFUZZ_CHECK(qelfuzz::TreeOf(ini.GetCfg()) == expected);
    QELFUZZ_CHECK(ini.IsFileChanged() == false);
    const std::string after = qelfuzz::ReadBytes(path);
    QELFUZZ_CHECK(after == (takes ? qelfuzz::WriteIni(expected) : bytes));

    CIniFile reread;
    QELFUZZ_CHECK(reread.Attach(path.c_str()));
    QELFUZZ_CHECK(qelfuzz::TreeOf(reread.GetCfg()) ==
                  qelfuzz::ParseIni(qelfuzz::ReaderLines(after)));
    return 0;
}
