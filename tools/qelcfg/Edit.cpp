// set and del: the library's editor changes the lines concerned in the file's own text,
// which it reads once under its lock and writes back through one replace.
#include <cerrno>
#include <chrono>
#include <functional>
#include <string>

#include "IniEditor.h"
#include "Tool.h"

namespace qeltool {

namespace {

std::string SectionWords(const Options& options) {
    return "section " + Quoted(options.section);
}

std::string KeyWords(const Options& options) {
    return "key " + Quoted(options.key) + " of section " + Quoted(options.section);
}

// What an edit needs and does not find: with --existing the command ends with status 1;
// otherwise there is nothing to do, as crudini does it.
void Missing(const std::string& what, const Options& options) {
    if (options.existing) {
        throw ToolError(kExitNotFound, "no " + what + " in " + Quoted(options.file));
    }
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

void Refuse(const std::string& what, const std::string& text, const std::string& why) {
    throw ToolError(kExitFailure, "refusing " + what + " " + Quoted(text) + ": " + why);
}

void RefuseValue(const Options& options) {
    Refuse("value", options.value,
           "a value must be on one line, without blanks at its ends, since no reader gives "
           "those back");
}

void SetValue(CIniEditor& editor, const Options& options) {
    const char* section = options.section.c_str();
    const char* key = options.key.c_str();
    std::string written;
    if (!options.hasKey) {
        if (!editor.HasSection(section)) {
            Missing(SectionWords(options), options);
            editor.AddSection(section);
        }
        return;
    }
    if (!editor.GetWrittenValue(section, key, written)) {
        Missing(editor.HasSection(section) ? KeyWords(options) : SectionWords(options), options);
    }
    const char* value = options.value.c_str();
    if (!(options.list ? editor.AddItems(section, key, value)
                       : editor.SetOrAdd(section, key, value))) {
        RefuseValue(options);
    }
}

void Remove(CIniEditor& editor, const Options& options) {
    const char* section = options.section.c_str();
    const char* key = options.key.c_str();
    std::string written;
    if (!editor.HasSection(section)) {
        Missing(SectionWords(options), options);
    } else if (!options.hasKey) {
        editor.RemoveSection(section);
    } else if (!editor.GetWrittenValue(section, key, written)) {
        Missing(KeyWords(options), options);
    } else if (!options.list) {
        editor.RemoveKey(section, key);
    } else if (!editor.RemoveItems(section, key, options.value.c_str())) {
        Missing("item of " + Quoted(options.value) + " in " + KeyWords(options), options);
    }
}

// Texts that would not read back as given: the file format has no quoting. The editor
// refuses them too; here they get their reason.
void CheckTexts(const Options& options) {
    if (!CIniEditor::IsValidSectionName(options.section.c_str())) {
        Refuse("section name", options.section, "a section name must be non-empty, on one line");
    }
    if (options.hasKey && !CIniEditor::IsValidKey(options.key.c_str())) {
        Refuse("key", options.key,
               "a key must be non-empty, on one line, without \"=\", without blanks at its "
               "ends, and cannot begin with \"#\" or \"[\"");
    }
    if (!options.list && !CIniEditor::IsValidValue(options.value.c_str())) {
        RefuseValue(options);
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
    if (options.hasKey != options.hasValue || (options.list && !options.hasKey)) {
        throw ToolError(kExitFailure, "set takes a KEY with its VALUE, or neither for a section");
    }
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
