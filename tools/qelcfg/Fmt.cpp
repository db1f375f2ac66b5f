// fmt: the file read by the library and written back by its save, in its normal form.
#include <cerrno>
#include <string>

#include "IniEditor.h"
#include "IniFile.h"
#include "IniLines.h"
#include "Tool.h"

namespace qeltool {

namespace {

// The normal form keeps every section and key entry that the reader takes, and drops the
// rest. Comments and blank lines are meant to go; a key line or a section that would go
// with them stops the command unless forced.
void CheckLosses(const std::string& text, const Options& options) {
    bool loses = false;
    for (const LineFinding& finding : CheckLines(text)) {
        if (finding.losesData && !options.force) {
            Warn(options.file + ":" + std::to_string(finding.line) + ": " + finding.message);
            loses = true;
        }
    }
    if (loses) {
        throw ToolError(kExitNotFound,
                        "nothing written: the normal form would lose the lines above (--force "
                        "writes it)");
    }
}

CIniFile Loaded(const std::string& text) {
    CIniFile ini;
    ini.LoadText(text);
    return ini;
}

}  // namespace

int RunFmt(const Options& options) {
    if (options.output.empty()) {
        return EditFile(options, false, [&](CIniEditor& editor) {
            CheckLosses(editor.GetText(), options);
            editor.ReplaceText(Loaded(editor.GetText()).GetText());
        });
    }
    const std::string text = ReadText(options.file);
    CheckLosses(text, options);
    CIniFile ini = Loaded(text);
    if (options.output == "-") {
        WriteOut(ini.GetText());
        return kExitDone;
    }
    errno = 0;
    if (!ini.Save(options.output.c_str())) {
        FailSystem("cannot write", options.output, errno != 0 ? errno : EIO);
    }
    return kExitDone;
}

}  // namespace qeltool
