// set and del: the library's editor changes the lines concerned in the file's own text,
// which is read once under the lock and written back through one replace.
#include <cerrno>
#include <functional>
#include <string>

#include "FileAccess.h"
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

// An edit changes the text in the editor; whether it changed anything, the editor knows.
using Edit = std::function<void(CIniEditor&)>;

// Runs `edit` on the text of the locked file and replaces the file with the result. A
// missing file that the edit would fill is first created empty, exclusively, and the edit
// starts over on it: a file that another process makes meanwhile is edited, never
// replaced unread.
int EditFile(const Options& options, bool mayCreate, const Edit& edit) {
    EditTarget target = ResolveEditTarget(options.file);
    const std::string path = target.dir + "/" + target.base;
    bool created = false;
    for (;;) {
        LockedFile locked = LockForWriting(path, options.file, mayCreate);
        CIniEditor editor;
        if (!locked.Exists()) {
            edit(editor);
            if (!editor.IsChanged()) {
                return kExitDone;
            }
            created = CreateEmpty(path, options.file);
            continue;
        }
        std::string text;
        locked.ReadAll(options.file,
                       [&](const char* data, std::size_t size) { text.append(data, size); });
        if (!editor.SetText(text)) {
            throw ToolError(kExitFailure, "cannot edit " + Quoted(options.file) +
                                              ": it holds a CR without an LF after it, which "
                                              "the reader and an edit would read differently");
        }
        edit(editor);
        if (!editor.IsChanged()) {
            return kExitDone;
        }
        LetGoBeforeReplacing(locked);
        errno = 0;
        if (!editor.SaveAs(path.c_str())) {
            int err = errno != 0 ? errno : EIO;
            if (created) {
                RemoveCreated(path);
            }
            FailSystem("cannot write", options.file, err);
        }
        return kExitDone;
    }
}

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

}  // namespace

int RunSet(const Options& options) {
    CheckTexts(options);
    return EditFile(options, true, [&](CIniEditor& editor) { SetValue(editor, options); });
}

int RunDel(const Options& options) {
    if (options.list != (options.hasKey && options.hasValue)) {
        throw ToolError(kExitFailure,
                        "del takes a VALUE with --list, and --list takes a KEY and a VALUE");
    }
    return EditFile(options, false, [&](CIniEditor& editor) { Remove(editor, options); });
}

}  // namespace qeltool
