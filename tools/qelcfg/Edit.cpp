// set and del: find the section and key lines through the reader's own walk, change the
// few lines concerned on a private copy, and put the copy in place of the file.
#include <unistd.h>

#include <cerrno>
#include <functional>
#include <string>

#include "FileAccess.h"
#include "IniLines.h"
#include "IniPair.h"
#include "PrivateCopy.h"
#include "Tool.h"

namespace qeltool {

namespace {

// Where the section and key of an edit stand in the file.
struct Place {
    int lines = 0;
    bool endsBlank = true;  // the last line is blank, or there is none
    int header = -1;        // the first header of the section
    int end = -1;           // the line after that section: the next header, or `lines`
    int lastEntry = -1;     // the section's last key line that the reader takes
    int keyLine = -1;       // the key's first line in the section
    std::string keyText;
    CIniPair entry;
};

class PlaceFinder {
public:
    PlaceFinder(const Options& options, Place& place) : m_options(options), m_place(place) {}

    void Visit(const IniLine& line) {
        m_place.lines = line.index + 1;
        m_place.endsBlank = line.kind == CIniLineScanner::kBlank;
        if (line.kind == CIniLineScanner::kHeader) {
            VisitHeader(line);
        } else if (m_inSection && line.entry != nullptr && line.intake == Intake::kTaken) {
            VisitEntry(line);
        }
    }
    void Finish() {
        if (m_inSection) {
            m_place.end = m_place.lines;
        }
    }

private:
    void VisitHeader(const IniLine& line) {
        if (m_inSection) {
            m_place.end = line.index;
            m_inSection = false;
        } else if (m_place.header < 0 && *line.header == m_options.section) {
            m_place.header = line.index;
            m_inSection = true;
        }
    }
    void VisitEntry(const IniLine& line) {
        m_place.lastEntry = line.index;
        if (m_options.hasKey && m_place.keyLine < 0 && line.entry->GetKey() == m_options.key) {
            m_place.keyLine = line.index;
            m_place.keyText = line.text;
            m_place.entry = *line.entry;
        }
    }

    const Options& m_options;
    Place& m_place;
    bool m_inSection = false;
};

Place FindPlace(const PrivateCopy& copy, const Options& options) {
    std::FILE* fp = std::fopen(copy.Name().c_str(), "rb");
    if (fp == nullptr) {
        FailSystem("cannot read a copy of", options.file, errno);
    }
    Place place;
    PlaceFinder finder(options, place);
    WalkIniLines(fp, options.file, [&](const IniLine& line) { finder.Visit(line); });
    finder.Finish();
    return place;
}

// The line with a new value: what stands up to the "=" and the blanks after it is kept,
// so that the key keeps its spelling and layout.
std::string WithValue(const std::string& line, const std::string& value) {
    std::string::size_type at = line.find('=') + 1;
    while (at < line.size() && (line[at] == ' ' || line[at] == '\t')) {
        ++at;
    }
    return line.substr(0, at) + value;
}

// VALUE as the items of a list: split at commas, trimmed, each once.
std::string ListValue(const std::string& value) {
    CIniPair items;
    items.AddValue(value, true);
    return items.GetWholeValue();
}

[[noreturn]] void NotFound(const std::string& what, const Options& options) {
    throw ToolError(kExitNotFound, "no " + what + " in " + Quoted(options.file));
}

std::string SectionWords(const Options& options) {
    return "section " + Quoted(options.section);
}

std::string KeyWords(const Options& options) {
    return "key " + Quoted(options.key) + " of section " + Quoted(options.section);
}

// An edit changes the copy and returns whether it changed anything at all.
using Edit = std::function<bool(PrivateCopy&, const Place&)>;

void RefuseFaults(const PrivateCopy& copy, const Options& options) {
    if (!copy.Faults().empty()) {
        const ByteFault& fault = copy.Faults().front();
        throw ToolError(kExitFailure, "cannot edit " + Quoted(options.file) + ": line " +
                                          std::to_string(fault.line + 1) + " " +
                                          DescribeFault(fault) + ", which any edit would change");
    }
}

void EnterDirectory(const std::string& dir, const Options& options) {
    if (::chdir(dir.c_str()) != 0) {
        FailSystem("cannot open", options.file, errno);
    }
}

// Runs `edit` on a private copy of the locked file and installs the copy. Another
// process that creates the missing file first wins, and the edit starts over on it.
int EditFile(const Options& options, bool mayCreate, const Edit& edit) {
    EditTarget target = ResolveEditTarget(options.file);
    // The copy and the library's "~tmp" beside it are named relative to the file's own
    // directory, which keeps their names short whatever the length of its path.
    EnterDirectory(target.dir, options);
    for (;;) {
        LockedFile locked = LockForWriting(target.base, options.file, mayCreate);
        PrivateCopy copy(locked, options.file);
        RefuseFaults(copy, options);
        if (!edit(copy, FindPlace(copy, options))) {
            return kExitDone;
        }
        bool existed = locked.Exists();
        LetGoBeforeReplacing(locked);
        if (copy.Install(target.base, existed)) {
            return kExitDone;
        }
    }
}

bool SetValue(PrivateCopy& copy, const Place& place, const Options& options) {
    if (place.keyLine >= 0) {
        CIniPair entry = place.entry;
        if (options.list) {
            entry.AddValue(options.value, true);
        }
        std::string line =
            WithValue(place.keyText, options.list ? entry.GetWholeValue() : options.value);
        if (line == place.keyText) {
            return false;
        }
        copy.RemoveLines(place.keyLine, place.keyLine + 1);
        copy.InsertLine(place.keyLine - 1, line);
        return true;
    }
    if (options.existing) {
        NotFound(place.header < 0 ? SectionWords(options) : KeyWords(options), options);
    }
    std::string line =
        options.key + "=" + (options.list ? ListValue(options.value) : options.value);
    if (place.header >= 0) {
        // Right after the last key line the reader takes, so that the entry reads back
        // even when refused lines follow.
        copy.InsertLine(place.lastEntry >= 0 ? place.lastEntry : place.header, line);
        return true;
    }
    if (!place.endsBlank) {
        copy.AppendLine("");
    }
    copy.AppendLine("[" + options.section + "]");
    copy.AppendLine(line);
    return true;
}

bool RemoveSection(PrivateCopy& copy, const Place& place) {
    copy.RemoveLines(place.header, place.end);
    return true;
}

bool RemoveItems(PrivateCopy& copy, const Place& place, const Options& options) {
    CIniPair entry = place.entry;
    entry.RemoveValue(options.value);
    if (entry.GetWholeValue() == place.entry.GetWholeValue()) {
        throw ToolError(kExitNotFound, "no item of " + Quoted(options.value) + " in " +
                                           KeyWords(options) + " in " + Quoted(options.file));
    }
    copy.RemoveLines(place.keyLine, place.keyLine + 1);
    copy.InsertLine(place.keyLine - 1, WithValue(place.keyText, entry.GetWholeValue()));
    return true;
}

bool Remove(PrivateCopy& copy, const Place& place, const Options& options) {
    if (place.header < 0) {
        NotFound(SectionWords(options), options);
    }
    if (!options.hasKey) {
        return RemoveSection(copy, place);
    }
    if (place.keyLine < 0) {
        NotFound(KeyWords(options), options);
    }
    if (options.list) {
        return RemoveItems(copy, place, options);
    }
    copy.RemoveLines(place.keyLine, place.keyLine + 1);
    return true;
}

void Refuse(const std::string& what, const std::string& text, const std::string& why) {
    throw ToolError(kExitFailure, "refusing " + what + " " + Quoted(text) + ": " + why);
}

bool HasLineBreak(const std::string& text) {
    return text.find_first_of("\r\n") != std::string::npos;
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

// Texts that would not read back as given: the file format has no quoting.
void CheckTexts(const Options& options) {
    const std::string& section = options.section;
    const std::string& key = options.key;
    if (section.empty() || HasLineBreak(section)) {
        Refuse("section name", section, "a section name must be non-empty, on one line");
    }
    if (HasLineBreak(key) || key.find('=') != std::string::npos) {
        Refuse("key", key, "a key cannot hold a line break or \"=\"");
    }
    if (!key.empty() && (IsBlank(key.front()) || IsBlank(key.back()))) {
        Refuse("key", key, "the reader trims blanks from both ends of a key");
    }
    if (!key.empty() && (key.front() == '#' || key.front() == '[')) {
        Refuse("key", key, "a line beginning with \"#\" or \"[\" is a comment or a header");
    }
    if (HasLineBreak(options.value)) {
        Refuse("value", options.value, "a value cannot hold a line break");
    }
}

}  // namespace

int RunSet(const Options& options) {
    CheckTexts(options);
    return EditFile(options, true, [&](PrivateCopy& copy, const Place& place) {
        return SetValue(copy, place, options);
    });
}

int RunDel(const Options& options) {
    if (options.list != (options.hasKey && options.hasValue)) {
        throw ToolError(kExitFailure,
                        "del takes a VALUE with --list, and --list takes a KEY and a VALUE");
    }
    return EditFile(options, false, [&](PrivateCopy& copy, const Place& place) {
        return Remove(copy, place, options);
    });
}

}  // namespace qeltool
