// The output forms of get: the library's own INI text, POSIX shell assignments and JSON.
#ifndef QELCFG_TOOL_OUTPUT_H
#define QELCFG_TOOL_OUTPUT_H

#include <string>
#include <vector>

#include "Ini.h"
#include "IniSection.h"

namespace qeltool {

// The sections of `tree` that lookups find: the first of each name, in file order.
std::vector<CIniSection*> VisibleSections(CIni& tree);
// The entries of `section` that lookups find: the first of each key, in file order.
std::vector<CIniPair*> VisibleEntries(CIniSection& section);

// `text` single-quoted for a POSIX shell: only a quote needs care inside quotes.
std::string ShellQuoted(const std::string& text);
// Whether `name` may be assigned by a POSIX shell: a letter or "_", then letters,
// digits and "_".
bool IsShellName(const std::string& name);
// Why an eval of an assignment to `name` would be unsafe, or "" when it is safe: the name
// must be a shell name, must not be one that the shell or the dynamic loader gives a
// meaning (PATH, IFS, LD_*, ...), and must not be set in this process's environment.
std::string ShellAssignmentRefusal(const std::string& name);

// `text` as a JSON string. Bytes that are not UTF-8 are taken as Latin-1 and escaped.
std::string JsonString(const std::string& text);

}  // namespace qeltool

#endif  // QELCFG_TOOL_OUTPUT_H
