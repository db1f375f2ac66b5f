// get: the section names of a file, the entries of a section, or one value, read through
// the library's loading and lookups, with values as the file holds them.
#include <cerrno>
#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "IniEditor.h"
#include "IniFile.h"
#include "Output.h"
#include "Tool.h"

namespace qeltool {

namespace {

std::string SectionLines(CIniSection& section) {
    std::string text;
    for (CIniPair& entry : section) {
        text += entry.GetKey() + "=" + entry.GetWholeValue() + "\n";
    }
    return text;
}

std::string NameLines(CIni& tree) {
    std::string text;
    for (CIniSection* section : VisibleSections(tree)) {
        text += section->GetKey() + "\n";
    }
    return text;
}

// Shell assignments of the entries of `section`, each name `prefix` and the key. An entry
// whose name is not safe to assign is named on standard error and left out, and `refused`
// is set, so that what is printed is always safe to evaluate.
void AppendShell(std::string& text, std::set<std::string>& names, CIniSection& section,
                 const std::string& prefix, bool& refused) {
    for (CIniPair* entry : VisibleEntries(section)) {
        std::string name = prefix + entry->GetKey();
        std::string why = ShellAssignmentRefusal(name);
        if (why.empty() && !names.insert(name).second) {
            why = "would be assigned twice";
        }
        if (!why.empty()) {
            Warn("skipped key " + Quoted(entry->GetKey()) + " of section " +
                 Quoted(section.GetKey()) + ": " + Quoted(name) + " " + why);
            refused = true;
            continue;
        }
        text += name + "=" + ShellQuoted(entry->GetWholeValue()) + "\n";
    }
}

std::string JsonObject(CIniSection& section) {
    std::string text = "{";
    for (CIniPair* entry : VisibleEntries(section)) {
        text += (text.size() > 1 ? ", " : "") + JsonString(entry->GetKey()) + ": " +
                JsonString(entry->GetWholeValue());
    }
    return text + "}";
}

std::string FileText(CIniFile& ini, const Options& options, bool& refused) {
    CIni& tree = ini.GetCfg();
    const std::string& format = options.format;
    if (format.empty()) {
        return NameLines(tree);
    }
    if (format == "ini") {
        return ini.GetText();
    }
    std::string text;
    std::set<std::string> names;
    for (CIniSection* section : VisibleSections(tree)) {
        if (format == "sh") {
            AppendShell(text, names, *section, options.prefix + section->GetKey() + "_", refused);
        } else {
            text += (text.empty() ? "{" : ",\n ") + JsonString(section->GetKey()) + ": " +
                    JsonObject(*section);
        }
    }
    return format == "sh" ? text : (text.empty() ? "{" : text) + "}\n";
}

// The tree holds the first section of the name alone, so --format ini writes just that.
std::string SectionText(CIniFile& ini, CIniSection& section, const Options& options,
                        bool& refused) {
    const std::string& format = options.format;
    if (format.empty()) {
        return SectionLines(section);
    }
    if (format == "ini") {
        return ini.GetText();
    }
    if (format == "json") {
        return JsonObject(section) + "\n";
    }
    std::string text;
    std::set<std::string> names;
    AppendShell(text, names, section, options.prefix, refused);
    return text;
}

std::string Number(const char* format, double value) {
    char text[512];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

// Item `index` read by the library's typed read of `type`, in that type's text form.
bool TypedItem(CIniPair& entry, int index, const std::string& type, std::string& text) {
    char buffer[32];
    bool read = false;
    if (type == "int") {
        int v = 0;
        read = entry.GetInt(index, v);
        std::snprintf(buffer, sizeof buffer, "%d", v);
    } else if (type == "uint") {
        unsigned int v = 0;
        read = entry.GetUnsignedInt(index, v);
        std::snprintf(buffer, sizeof buffer, "%u", v);
    } else if (type == "color") {
        unsigned long v = 0;
        read = entry.GetColor(index, v);
        std::snprintf(buffer, sizeof buffer, "%lu", v);
    } else if (type == "bool") {
        bool v = false;
        read = entry.GetBool(index, v);
        std::snprintf(buffer, sizeof buffer, "%s", v ? "Y" : "N");
    } else if (type == "float") {
        double v = 0;
        read = entry.GetFloat(index, v);
        text = Number("%f", v);
        return read;
    } else {
        std::vector<char> item(entry.GetValuePtr(index)->size() + 1);
        read = entry.GetString(index, item.data(), static_cast<int>(item.size()));
        text = item.data();
        return read;
    }
    text = buffer;
    return read;
}

std::string ValueText(CIniPair& entry, const Options& options) {
    if (options.item < 0 && options.type.empty()) {
        return entry.GetWholeValue() + "\n";
    }
    int index = options.item < 0 ? 0 : options.item;
    std::string where = "item " + std::to_string(index) + " of key " + Quoted(options.key) +
                        " of section " + Quoted(options.section) + " in " + Quoted(options.file);
    if (entry.GetValuePtr(index) == nullptr) {
        throw ToolError(kExitNotFound, "no " + where);
    }
    if (options.type.empty()) {
        return *entry.GetValuePtr(index) + "\n";
    }
    std::string text;
    if (!TypedItem(entry, index, options.type, text)) {
        throw ToolError(kExitNotFound, where + " does not read as " + options.type);
    }
    return text + "\n";
}

void CheckUsage(const Options& options) {
    if (!options.hasKey && (options.item >= 0 || !options.type.empty())) {
        throw ToolError(kExitFailure, "--item and --type read one value: name a KEY");
    }
    if (options.hasKey && !options.format.empty()) {
        throw ToolError(kExitFailure, "--format is for whole sections and files: drop the KEY");
    }
    if (!options.prefix.empty() && options.format != "sh") {
        throw ToolError(kExitFailure, "--prefix names shell variables: use it with --format sh");
    }
}

// The tree of the text, with the whole value of each entry as written, or with --items as
// the join of its items.
void FillTree(const CIniEditor& editor, CIni& tree, const Options& options) {
    editor.FillTree(tree, options.hasSection ? options.section.c_str() : nullptr);
    if (!options.items) {
        return;
    }
    for (CIniSection& section : tree) {
        for (CIniPair& entry : section) {
            entry.WholeValue();
        }
    }
}

void NoteContinuation(const CIniEditor& editor, const Options& options) {
    std::string written;
    bool continues = false;
    editor.GetWrittenValue(options.section.c_str(), options.key.c_str(), written, &continues);
    if (continues) {
        Warn("the value of key " + Quoted(options.key) + " of section " + Quoted(options.section) +
             " in " + Quoted(options.file) +
             " continues on the lines after it for other readers (configparser, systemd); "
             "this is its first line");
    }
}

}  // namespace

int RunGet(const Options& options) {
    CheckUsage(options);
    CIniEditor editor;
    ReadInput(editor, options.file);
    CIniFile ini;
    FillTree(editor, ini.GetCfg(), options);
    bool refused = false;
    if (!options.hasSection) {
        WriteOut(ForTerminal(FileText(ini, options, refused)));
        return refused ? kExitNotFound : kExitDone;
    }
    CIniSection* section = ini.GetCfg().FindSection(options.section.c_str());
    if (section == nullptr) {
        throw ToolError(kExitNotFound,
                        "no section " + Quoted(options.section) + " in " + Quoted(options.file));
    }
    if (!options.hasKey) {
        WriteOut(ForTerminal(SectionText(ini, *section, options, refused)));
        return refused ? kExitNotFound : kExitDone;
    }
    CIniPair* entry = section->FindKey(options.key.c_str());
    if (entry == nullptr) {
        throw ToolError(kExitNotFound, "no key " + Quoted(options.key) + " of section " +
                                           Quoted(options.section) + " in " + Quoted(options.file));
    }
    if (options.item < 0 && options.type.empty()) {
        NoteContinuation(editor, options);
    }
    WriteOut(ForTerminal(ValueText(*entry, options)));
    return kExitDone;
}

}  // namespace qeltool
