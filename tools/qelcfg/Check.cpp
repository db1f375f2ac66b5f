// check: every line that the library's reader drops or changes, and why, one finding a
// line as FILE:LINE: message.
#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "FileAccess.h"
#include "IniLines.h"
#include "IniSection.h"
#include "Tool.h"

namespace qeltool {

namespace {

struct Finding {
    int line;  // from 1
    std::string message;
};

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

class Checker {
public:
    void Visit(const IniLine& line) {
        if (line.kind == CIniLineReader::kHeader) {
            VisitHeader(line.index + 1, line.headerName);
        } else if (line.kind != CIniLineReader::kKeyLine &&
                   line.kind != CIniLineReader::kNoEquals) {
            return;
        } else if (line.intake != CIniLineReader::kTaken) {
            Add(line.index + 1, RefusalReason(line.intake));
        } else if (line.entry == nullptr) {
            Add(line.index + 1, "line without \"=\" is dropped");
        } else {
            VisitEntry(line.index + 1, *line.entry);
        }
    }
    void Add(int line, const std::string& message) { m_findings.push_back({line, message}); }
    std::vector<Finding>& Findings() { return m_findings; }

private:
    void VisitHeader(int line, const std::string& name) {
        auto first = m_sections.emplace(name, line);
        if (!first.second) {
            Add(line, "section " + Quoted(name) + " repeats the one on line " +
                          std::to_string(first.first->second) + ": lookups find only that one");
        }
        m_keys.clear();
    }
    void VisitEntry(int line, const CIniPair& entry) {
        const std::string& key = entry.GetKey();
        if (key.size() > CIniSection::kMaxKeyLength) {
            Add(line, "key " + Quoted(key) + " is longer than 30 characters: " + kFixedSize);
        }
        if (entry.GetWholeValue().size() > CIniSection::kMaxValueLength) {
            Add(line, "value of " + Quoted(key) + " is longer than 512 characters: " + kFixedSize);
        }
        auto first = m_keys.emplace(key, line);
        if (!first.second) {
            Add(line, "key " + Quoted(key) + " repeats the one on line " +
                          std::to_string(first.first->second) + ": lookups find only that one");
        }
    }

    static constexpr const char* kFixedSize = "the fixed-size lookups cannot hand it out";

    std::vector<Finding> m_findings;
    std::map<std::string, int> m_sections;
    std::map<std::string, int> m_keys;
};

void AddByteFaults(Checker& checker, const LockedFile& locked, const std::string& shownName) {
    ByteFaultScanner scanner;
    locked.ReadAll(shownName,
                   [&](const char* data, std::size_t size) { scanner.Feed(data, size); });
    for (const ByteFault& fault : scanner.Faults()) {
        checker.Add(fault.line + 1,
                    fault.nul ? "text after a NUL byte is dropped" : "text after a CR is dropped");
    }
}

}  // namespace

int RunCheck(const Options& options) {
    LockedFile locked = LockForReading(options.file);
    Checker checker;
    AddByteFaults(checker, locked, options.file);
    WalkIniLines(locked.OpenStream(options.file), options.file,
                 [&](const IniLine& line) { checker.Visit(line); });
    std::vector<Finding>& findings = checker.Findings();
    std::stable_sort(findings.begin(), findings.end(),
                     [](const Finding& a, const Finding& b) { return a.line < b.line; });
    std::string text;
    for (const Finding& finding : findings) {
        text += options.file + ":" + std::to_string(finding.line) + ": " + finding.message + "\n";
    }
    WriteOut(text);
    return findings.empty() ? kExitDone : kExitNotFound;
}

}  // namespace qeltool
