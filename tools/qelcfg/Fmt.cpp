// fmt: the headers and key lines of a file in the normal form of the library's save, its
// comments, blank lines and line ends kept.
#include <cerrno>
#include <string>

#include "IniEditor.h"
#include "IniLines.h"
#include "Tool.h"

namespace qeltool {

namespace {

// The normal form keeps every section and key entry that the reader takes, with the comments
// and blank lines; a key line or a section that it would lose stops the command unless
// forced.
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

}  // namespace

int RunFmt(const Options& options) {
    if (options.file != "-" && options.output.empty()) {
        return EditFile(options, false, [&](CIniEditor& editor) {
            CheckLosses(editor.GetText(), options);
            editor.Normalize(options.crlf);
        });
    }
    CIniEditor editor;
    ReadInput(editor, options.file);
    CheckLosses(editor.GetText(), options);
    editor.Normalize(options.crlf);
    errno = 0;
    if (options.output.empty() || options.output == "-") {
        WriteOut(editor.GetText());
    } else if (!editor.SaveAs(options.output.c_str())) {
        FailSystem("cannot write", options.output, errno != 0 ? errno : EIO);
    }
    return kExitDone;
}

}  // namespace qeltool
