// check: every line that the library's reader drops or changes, or reads otherwise than
// other INI dialects would, and why; one finding a line.
#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "IniEditor.h"
#include "IniLines.h"
#include "IniSection.h"
#include "Output.h"
#include "Tool.h"

namespace qeltool {

namespace {

const char* RefusalReason(CIniLineReader::Intake intake) {
    switch (intake) {
        case CIniLineReader::kBeforeFirstHeader:
            return "key line before the first section header is dropped";
        case CIniLineReader::kAfterCommentedHeader:
            return "key line after a commented-out section header is dropped";
        case CIniLineReader::kAfterEmptyHeader:
            return "key line after a section header with an empty name is dropped";
        case CIniLineReader::kAfterRefusedHeader:
            return "key line after a section that could not be added is dropped";
        case CIniLineReader::kTaken:
            break;
    }
    return "";
}

// The line's text without the blanks before it.
std::string Trimmed(const char* text, std::size_t length) {
    std::size_t skip = 0;
    while (skip < length && (text[skip] == ' ' || text[skip] == '\t')) {
        ++skip;
    }
    return std::string(text + skip, length - skip);
}

class Checker {
public:
    void Visit(const IniLine& line) {
        const int number = line.index + 1;
        if (line.kind == CIniLineReader::kHeader) {
            VisitHeader(number, line);
            return;
        }
        if (line.kind != CIniLineReader::kKeyLine && line.kind != CIniLineReader::kNoEquals) {
            return;
        }
        const std::string text = Trimmed(line.text, line.length);
        if (text[0] == '[' && text.find(']') != std::string::npos) {
            AddHeaderWithText(number, text, line.intake);
            if (line.entry == nullptr) {
                return;
            }
        }
        if (line.intake != CIniLineReader::kTaken) {
            Add(number, "dropped", RefusalReason(line.intake),
                line.kind == CIniLineReader::kKeyLine);
        } else if (line.continues >= 0) {
            AddContinuation(number, line);
        } else if (line.entry == nullptr) {
            Add(number, "no-equals", "line without \"=\" is dropped", false);
        } else {
            VisitEntry(number, line, *line.entry);
        }
    }
    void Add(int line, const char* kind, const std::string& message, bool losesData) {
        m_findings.push_back({line, kind, message, losesData});
    }
    std::vector<LineFinding>& Findings() { return m_findings; }

private:
    // Other readers continue the value above on this line; this one takes the line as a key
    // line of its own or drops it. Its key is registered, since lookups find it.
    void AddContinuation(int number, const IniLine& line) {
        const std::string what =
            line.entry != nullptr ? "takes it as key " + Quoted(line.entry->GetKey()) : "drops it";
        Add(number, "continuation",
            "line continues the value on line " + std::to_string(line.continues + 1) +
                " for other readers (configparser, systemd), while this reader " + what,
            true);
        if (line.entry != nullptr) {
            m_keys.emplace(line.entry->GetKey(), number);
        }
    }
    void VisitHeader(int line, const IniLine& header) {
        const std::string& name = header.headerName;
        auto first = m_sections.emplace(name, line);
        if (!first.second) {
            Add(line, "repeated-section",
                "section " + Quoted(name) + " repeats the one on line " +
                    std::to_string(first.first->second) + ": lookups find only that one",
                false);
        }
        m_current = header.intake == CIniLineReader::kTaken ? &first.first->first : nullptr;
        m_keys.clear();
    }
    void AddHeaderWithText(int line, const std::string& text, CIniLineReader::Intake intake) {
        std::string joins = intake == CIniLineReader::kTaken && m_current != nullptr
                                ? "join section " + Quoted(*m_current)
                                : "are dropped";
        Add(line, "header-with-text",
            Quoted(text) +
                " is no section header, since text follows \"]\": the key lines "
                "after it " +
                joins,
            true);
    }
    void VisitEntry(int line, const IniLine& text, const CIniPair& entry) {
        const std::string& key = entry.GetKey();
        const std::string& whole = entry.GetWholeValue();
        if (key[0] == ';') {
            Add(line, "semicolon-key",
                "key " + Quoted(key) + " begins with \";\": only \"#\" begins a comment", false);
        }
        const std::string value = Trimmed(text.value, text.valueLength);
        if (value != whole) {
            Add(line, "rewritten-value",
                "value of " + Quoted(key) + " is written back as " + Quoted(whole) +
                    ": blanks around items and a comma at the end are not kept",
                false);
        }
        if (key.size() > CIniSection::kMaxKeyLength) {
            Add(line, "long-key",
                "key " + Quoted(key) + " is longer than 30 characters: " + kFixedSize, false);
        }
        if (whole.size() > CIniSection::kMaxValueLength) {
            Add(line, "long-value",
                "value of " + Quoted(key) + " is longer than 512 characters: " + kFixedSize, false);
        }
        auto first = m_keys.emplace(key, line);
        if (!first.second) {
            Add(line, "repeated-key",
                "key " + Quoted(key) + " repeats the one on line " +
                    std::to_string(first.first->second) + ": lookups find only that one",
                false);
        }
    }

    static constexpr const char* kFixedSize = "the fixed-size lookups cannot hand it out";

    std::vector<LineFinding> m_findings;
    std::map<std::string, int> m_sections;
    std::map<std::string, int> m_keys;
    const std::string* m_current = nullptr;  // the section that takes key lines now
};

void AddByteFaults(Checker& checker, const std::string& text) {
    ByteFaultScanner scanner;
    scanner.Feed(text.data(), text.size());
    for (const ByteFault& fault : scanner.Faults()) {
        checker.Add(fault.line + 1, fault.nul ? "text-after-nul" : "text-after-cr",
                    fault.nul ? "text after a NUL byte is dropped" : "text after a CR is dropped",
                    true);
    }
}

std::string JsonFindings(const std::vector<LineFinding>& findings, const std::string& file) {
    std::string text = "[";
    for (const LineFinding& f : findings) {
        text += std::string(text.size() > 1 ? ",\n " : "") + "{\"file\": " + JsonString(file) +
                ", \"line\": " + std::to_string(f.line) + ", \"kind\": " + JsonString(f.kind) +
                ", \"message\": " + JsonString(f.message) + "}";
    }
    return text + "]\n";
}

}  // namespace

std::vector<LineFinding> CheckLines(const std::string& text) {
    Checker checker;
    AddByteFaults(checker, text);
    WalkIniLines(text, [&](const IniLine& line) { checker.Visit(line); });
    std::vector<LineFinding> findings = std::move(checker.Findings());
    std::stable_sort(findings.begin(), findings.end(),
                     [](const LineFinding& a, const LineFinding& b) { return a.line < b.line; });
    return findings;
}

int RunCheck(const Options& options) {
    CIniEditor editor;
    ReadInput(editor, options.file);
    std::vector<LineFinding> findings = CheckLines(editor.GetText());
    if (options.format == "json") {
        WriteOut(ForTerminal(JsonFindings(findings, options.file)));
    } else {
        std::string text;
        for (const LineFinding& f : findings) {
            text += options.file + ":" + std::to_string(f.line) + ": " + f.message + "\n";
        }
        WriteOut(ForTerminal(text));
    }
    return findings.empty() ? kExitDone : kExitNotFound;
}

}  // namespace qeltool
