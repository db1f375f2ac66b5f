// Looks sections up straight from a file of arbitrary bytes and holds each result to what
// loading the same file gives for that name: the entries of the first section of that
// name, or none when no header has it.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "IniFile.h"

namespace {

using qelfuzz::Section;
using qelfuzz::Tree;

const Section* FirstSection(const Tree& tree, const std::string& name) {
    for (const Section& section : tree) {
        if (section.name == name) {
            return &section;
        }
    }
    return nullptr;
}

}  // namespace

// The input is a name (a short text ended by a backslash and one more byte) followed by
// the file's bytes.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider provider(data, size);
    const std::string asked = provider.ConsumeRandomLengthString(64);
    const std::string bytes = provider.ConsumeRemainingBytesAsString();
    const std::string& path = qelfuzz::WorkFile();
    qelfuzz::WriteBytes(path, bytes);
    CIniFile loader;
    QELFUZZ_CHECK(loader.Attach(path.c_str()));
    const Tree loaded = qelfuzz::TreeOf(loader.GetCfg());

    std::vector<std::string> names{asked.c_str()};
    for (std::size_t i = 0; i < loaded.size() && i < 16; ++i) {
        names.push_back(loaded[i].name);
    }
    for (const std::string& name : names) {
        CIniFile ini;
        QELFUZZ_CHECK(ini.Open(path.c_str(), "rb"));
        CIniSection* found = ini.FindSection(name.c_str());
        const Section* expected = FirstSection(loaded, name);
        QELFUZZ_CHECK((found != nullptr) == (expected != nullptr));
        QELFUZZ_CHECK(found == nullptr || qelfuzz::SectionOf(*found) == *expected);
        QELFUZZ_CHECK(ini.GetCfg().size() == 0);
    }
    // One object answers lookups one after another from its single file section.
    CIniFile ini;
    QELFUZZ_CHECK(ini.Open(path.c_str(), "rb"));
    CIniSection* first = ini.FindSection(names.back().c_str());
    CIniSection* again = ini.FindSection(asked.c_str());
    QELFUZZ_CHECK(first == nullptr || again == nullptr || first == again);
    QELFUZZ_CHECK(first == nullptr || again != nullptr || first->size() == 0);
    return 0;
}
