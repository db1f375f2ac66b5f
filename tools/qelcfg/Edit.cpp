// set and del: the library's editor changes the lines concerned in the file's own text,
// which it reads once under its lock and writes back through one replace.
#include <cerrno>
#include <chrono>
#include <functional>
#include <string>

#include "IniEditor.h"
#include "IniPair.h"
#include "Tool.h"

namespace qeltool {

namespace {

std::string SectionWords(const Options& options) {
    return "section " + Quoted(options.section);
}

std::string KeyWords(const Options& options) {
    return "key " + Quoted(options.key) + " of section " + Quoted(options.section);
}

[[noreturn]] void NotFound(const std::string& what, const Options& options) {
    throw ToolError(kExitNotFound, "no " + what + " in " + Quoted(options.file));
}

// The entry as loading builds it from its whole value, for the list edits.
CIniPair EntryOf(const std::string& whole) {
    CIniPair entry;
    entry.AddValue(whole, -1);
    return entry;
}

// VALUE as the items of a list: split at commas, trimmed, each once.
std::string ListValue(const std::string& value) {
    CIniPair items;
    items.AddValue(value, true);
    return items.GetWholeValue();
}

}  // namespace

int EditFile(const Options& options, bool mayCreate, const Edit& edit) {
    // The library holds FILE locked from the read to the replace. Only a writer that takes
    // no lock, or one the lock wait gave up on, can replace it in between; the edit then
    // reads it again and starts over.
    constexpr int kAttempts = 10;
    for (int attempt = 1;; ++attempt) {
        CIniEditor editor;
        editor.SetLockWait(std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::duration<double>(options.wait)));
        errno = 0;
        if (!editor.Read(options.file.c_str(), mayCreate)) {
            FailSystem("cannot open", options.file, errno != 0 ? errno : EIO);
        }
        edit(editor);
        errno = 0;
        if (!editor.IsChanged() || editor.Save()) {
            return kExitDone;
        }
        if (errno != ESTALE || attempt == kAttempts) {
            FailSystem("cannot write", options.file, errno != 0 ? errno : EIO);
        }
    }
}

namespace {

void SetValue(CIniEditor& editor, const Options& options) {
    const char* section = options.section.c_str();
    const char* key = options.key.c_str();
    std::string whole;
    if (editor.GetValue(section, key, whole)) {
        CIniPair entry = EntryOf(whole);
        if (options.list) {
            entry.AddValue(options.value, true);
        }
        editor.SetValue(section, key,
                        options.list ? entry.GetWholeValue().c_str() : options.value.c_str());
        return;
    }
    if (options.existing) {
        NotFound(editor.HasSection(section) ? KeyWords(options) : SectionWords(options), options);
    }
    if (!editor.HasSection(section)) {
        editor.AddSection(section);
    }
    editor.AddKey(section, key,
                  options.list ? ListValue(options.value).c_str() : options.value.c_str());
}

void Remove(CIniEditor& editor, const Options& options) {
    const char* section = options.section.c_str();
    const char* key = options.key.c_str();
    if (!editor.HasSection(section)) {
        NotFound(SectionWords(options), options);
    }
    if (!options.hasKey) {
        editor.RemoveSection(section);
        return;
    }
    std::string whole;
    if (!editor.GetValue(section, key, whole)) {
        NotFound(KeyWords(options), options);
    }
    if (!options.list) {
        editor.RemoveKey(section, key);
        return;
    }
    CIniPair entry = EntryOf(whole);
    entry.RemoveValue(options.value);
    if (entry.GetWholeValue() == whole) {
        throw ToolError(kExitNotFound, "no item of " + Quoted(options.value) + " in " +
                                           KeyWords(options) + " in " + Quoted(options.file));
    }
    editor.SetValue(section, key, entry.GetWholeValue().c_str());
}

void Refuse(const std::string& what, const std::string& text, const std::string& why) {
    throw ToolError(kExitFailure, "refusing " + what + " " + Quoted(text) + ": " + why);
}

// Texts that would not read back as given: the file format has no quoting. The editor
// refuses them too; here they get their reason.
void CheckTexts(const Options& options) {
    if (!CIniEditor::IsValidSectionName(options.section.c_str())) {
        Refuse("section name", options.section, "a section name must be non-empty, on one line");
    }
    if (!CIniEditor::IsValidKey(options.key.c_str())) {
        Refuse("key", options.key,
               "a key must be non-empty, on one line, without \"=\", without blanks at its "
               "ends, and cannot begin with \"#\" or \"[\"");
    }
    const std::string value = options.list ? ListValue(options.value) : options.value;
    if (!CIniEditor::IsValidValue(value.c_str())) {
        Refuse("value", options.value,
               "a value must be on one line, its comma-separated items without blanks around "
               "them and without a comma at its end, since the reader trims and drops those");
    }
}

// Line edits of a text that the reader and an edit would read differently are refused.
void CheckLineEnds(const CIniEditor& editor, const Options& options) {
    if (!editor.TakesLineEdits()) {
        throw ToolError(kExitFailure, "cannot edit " + Quoted(options.file) +
                                          ": it holds a CR without an LF after it, which the "
                                          "reader and an edit would read differently");
    }
}

}  // namespace

int RunSet(const Options& options) {
    CheckTexts(options);
    return EditFile(options, true, [&](CIniEditor& editor) {
        CheckLineEnds(editor, options);
        SetValue(editor, options);
    });
}

int RunDel(const Options& options) {
    if (options.list != (options.hasKey && options.hasValue)) {
        throw ToolError(kExitFailure,
                        "del takes a VALUE with --list, and --list takes a KEY and a VALUE");
    }
    return EditFile(options, false, [&](CIniEditor& editor) {
        CheckLineEnds(editor, options);
        Remove(editor, options);
    });
}

}  // namespace qeltool
