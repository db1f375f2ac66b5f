// Loads arbitrary bytes as an INI file through a stream, saves the tree and reads the
// saved text back, holding each step to the format's own rules: the loaded tree is the
// one the format gives for the bytes, the saved text is the writer's exact form of the
// tree, and a tree that comes back unchanged saves to the same bytes again.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "FuzzSupport.h"
#include "IniFile.h"

namespace {

using qelfuzz::ParseIni;
using qelfuzz::ReaderLines;
using qelfuzz::ReadStream;
using qelfuzz::Tree;
using qelfuzz::TreeOf;
using qelfuzz::WriteIni;

// Loads `bytes` into `ini`; a failure to load is itself a broken property.
void Load(CIniFile& ini, const std::string& bytes) {
    FILE* in = ReadStream(bytes);
    QELFUZZ_CHECK(in != nullptr);
    QELFUZZ_CHECK(ini.Set(in));
}

std::string Save(CIniFile& ini) {
    qelfuzz::WriteStream out;
    QELFUZZ_CHECK(out.Get() != nullptr);
    QELFUZZ_CHECK(ini.Save(static_cast<void*>(out.Get())));
    return out.Bytes();
}

const qelfuzz::Pair* FirstEntry(const Tree& tree, const std::string& name, const std::string& key) {
    for (const qelfuzz::Section& section : tree) {
        if (section.name != name) {
            continue;
        }
        for (const qelfuzz::Pair& pair : section.pairs) {
            if (pair.key == key) {
                return &pair;
            }
        }
        return nullptr;
    }
    return nullptr;
}

// GetValue answers from the first section of a name and its first entry of a key, and
// only with a whole value that fits its 513-byte buffer.
void CheckLookups(CIniFile& ini, const Tree& tree) {
    for (std::size_t s = 0; s < tree.size() && s < 8; ++s) {
        for (std::size_t p = 0; p < tree[s].pairs.size() && p < 8; ++p) {
            const std::string& name = tree[s].name;
            const std::string& key = tree[s].pairs[p].key;
            const qelfuzz::Pair* first = FirstEntry(tree, name, key);
            char value[513];
            bool found = ini.GetValue(name.c_str(), key.c_str(), value);
            QELFUZZ_CHECK(found == (first != nullptr && first->whole.size() <= 512));
            QELFUZZ_CHECK(!found || first->whole == value);
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    CIniFile ini;
    Load(ini, bytes);
    Tree tree = TreeOf(ini.GetCfg());
    QELFUZZ_CHECK(tree == ParseIni(ReaderLines(bytes)));
    CheckLookups(ini, tree);
    std::string saved = Save(ini);
    QELFUZZ_CHECK(saved == WriteIni(tree));
    QELFUZZ_CHECK(TreeOf(ini.GetCfg()) == tree);
    // Each round trip reads back the tree the format carries; the text settles once a
    // tree comes back as it was saved.
    for (int round = 0; round < 3; ++round) {
        CIniFile again;
        Load(again, saved);
        Tree back = TreeOf(again.GetCfg());
        QELFUZZ_CHECK(back == ParseIni(ReaderLines(saved)));
        std::string resaved = Save(again);
        QELFUZZ_CHECK(resaved == WriteIni(back));
        if (back == tree) {
            QELFUZZ_CHECK(resaved == saved);
            break;
        }
        tree = back;
        saved = resaved;
    }
    return 0;
}
