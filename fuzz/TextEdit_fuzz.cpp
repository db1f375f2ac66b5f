// Edits arbitrary text through CIniEditor: the editor refuses text with a lone CR and
// texts the format cannot carry, and otherwise the edited text reads, by the format's
// model, as the tree before it with exactly that one change. A text in which a line
// continues a value for other readers is edited as they read it, which the tree model does
// not follow: there the edit must only keep to the editor's other promises.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzSupport.h"
#include "IniEditor.h"

namespace {

using qelfuzz::Pair;
using qelfuzz::Section;
using qelfuzz::Tree;

Tree Read(const std::string& text) {
    return qelfuzz::ParseIni(qelfuzz::ReaderLines(text));
}

Section* First(Tree& tree, const std::string& name) {
    for (Section& section : tree) {
        if (section.name == name) {
            return &section;
        }
    }
    return nullptr;
}

Pair* FirstKey(Section* section, const std::string& key) {
    if (section != nullptr) {
        for (Pair& pair : section->pairs) {
            if (pair.key == key) {
                return &pair;
            }
        }
    }
    return nullptr;
}

bool HasContinuation(const std::string& text) {
    CIniLineReader reader;
    CIniContinuation continuation;
    for (const std::string& line : qelfuzz::ReaderLines(text)) {
        if (continuation.Continues(reader.Read(line.c_str())) >= 0) {
            return true;
        }
    }
    return false;
}

bool HasLoneCr(const std::string& text) {
    for (std::size_t at = text.find('\r'); at != std::string::npos; at = text.find('\r', at + 1)) {
        if (at + 1 == text.size() || text[at + 1] != '\n') {
            return true;
        }
    }
    return false;
}

// The tree after the edit, as the editor's contract gives it; false when it must refuse.
bool Expect(Tree& tree, int op, const std::string& name, const std::string& key,
            const std::string& value) {
    const bool valid = CIniEditor::IsValidSectionName(name.c_str()) &&
                       CIniEditor::IsValidKey(key.c_str()) &&
                       CIniEditor::IsValidValue(value.c_str());
    Section* section = First(tree, name);
    Pair* pair = FirstKey(section, key);
    const Pair added{key, qelfuzz::SplitItems(value), qelfuzz::Join(qelfuzz::SplitItems(value))};
    switch (op) {
        case 0:
            return valid && pair != nullptr && (*pair = added, true);
        case 1:
            return valid && section != nullptr && (section->pairs.push_back(added), true);
        case 2:
            return CIniEditor::IsValidSectionName(name.c_str()) &&
                   (tree.push_back(Section{name, {}}), true);
        case 3:
            return pair != nullptr &&
                   (section->pairs.erase(section->pairs.begin() + (pair - section->pairs.data())),
                    true);
        default:
            return section != nullptr && (tree.erase(tree.begin() + (section - tree.data())), true);
    }
}

bool Apply(CIniEditor& editor, int op, const std::string& name, const std::string& key,
           const std::string& value) {
    switch (op) {
        case 0:
            return editor.SetValue(name.c_str(), key.c_str(), value.c_str());
        case 1:
            return editor.AddKey(name.c_str(), key.c_str(), value.c_str());
        case 2:
            return editor.AddSection(name.c_str());
        case 3:
            return editor.RemoveKey(name.c_str(), key.c_str());
        default:
            return editor.RemoveSection(name.c_str());
    }
}

}  // namespace

// The input chooses the edit, then gives the section name, the key and the value, each a
// short text, then the text to edit.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider provider(data, size);
    const int op = provider.ConsumeIntegralInRange(0, 4);
    const std::string name = provider.ConsumeRandomLengthString(32).c_str();
    const std::string key = provider.ConsumeRandomLengthString(32).c_str();
    const std::string value = provider.ConsumeRandomLengthString(64).c_str();
    const std::string text = provider.ConsumeRemainingBytesAsString();

    CIniEditor editor;
    QELFUZZ_CHECK(editor.SetText(text) == !HasLoneCr(text));
    if (HasLoneCr(text)) {
        return 0;
    }
    Tree expected = Read(text);
    const bool takes = Expect(expected, op, name, key, value);
    const bool took = Apply(editor, op, name, key, value);
    QELFUZZ_CHECK(took || editor.GetText() == text);
    if (!HasContinuation(text)) {
        QELFUZZ_CHECK(took == takes);
        QELFUZZ_CHECK(Read(editor.GetText()) == (takes ? expected : Read(text)));
    }
    QELFUZZ_CHECK(!HasLoneCr(editor.GetText()));
    return 0;
}
