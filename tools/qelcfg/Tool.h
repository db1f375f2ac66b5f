// What the verbs of qelcfg share: the parsed command line, the exit statuses and the
// failure that ends a command with a message.
#ifndef QELCFG_TOOL_TOOL_H
#define QELCFG_TOOL_TOOL_H

#include <functional>
#include <stdexcept>
#include <string>

class CIniEditor;

namespace qeltool {

enum ExitStatus {
    kExitDone = 0,
    kExitNotFound = 1,  // also: findings of check, a refused --existing
    kExitFailure = 2,   // usage, refused texts, I/O errors
};

// Ends the command: main prints "qelcfg: " and the message to standard error and exits
// with the status.
class ToolError : public std::runtime_error {
public:
    ToolError(int status, const std::string& message)
        : std::runtime_error(message), m_status(status) {}
    int Status() const { return m_status; }

private:
    int m_status;
};

struct Options {
    std::string file;
    std::string section;
    std::string key;
    std::string value;
    bool hasSection = false;
    bool hasKey = false;
    bool hasValue = false;
    int item = -1;  // -1: the whole value
    std::string type;
    std::string format;
    std::string prefix;  // put before every name of --format sh
    std::string output;
    bool existing = false;  // set: change only what is there; del: what is not there is status 1
    bool list = false;
    bool items = false;  // get: values as the library's items joined by ",", not as written
    bool force = false;  // fmt: write even what loses key lines or sections
    bool crlf = false;   // fmt: end every line in CR LF
    double wait = 10.0;  // seconds a lock on FILE is waited for
};

// "'name'", the way messages show file, section and key names.
std::string Quoted(const std::string& name);
// "<what> 'path': <strerror(err)>".
std::string SystemMessage(const std::string& what, const std::string& path, int err);
[[noreturn]] void FailSystem(const std::string& what, const std::string& path, int err);
// Prints "qelcfg: " and `message` on standard error; the command goes on.
void Warn(const std::string& message);
// `text` as it may go to standard output: when that is a terminal, control bytes other
// than tab and line ends are shown as "\xHH", so a file cannot drive the terminal.
std::string ForTerminal(const std::string& text);
// Writes `text` to standard output and flushes it; a failed write is a ToolError.
void WriteOut(const std::string& text);
// Puts the bytes of `file` into `editor`, read by the library without a lock, or of standard
// input when `file` is "-"; a failure is a ToolError.
void ReadInput(CIniEditor& editor, const std::string& file);

// Runs `edit` on the text of FILE, read by the library's editor for editing, and has the
// editor write the result back when it changed. With `mayCreate` a missing FILE is the
// empty text, and is created only when the edit fills it.
using Edit = std::function<void(CIniEditor&)>;
int EditFile(const Options& options, bool mayCreate, const Edit& edit);

int RunGet(const Options& options);
int RunSet(const Options& options);
int RunDel(const Options& options);
int RunFmt(const Options& options);
int RunCheck(const Options& options);

}  // namespace qeltool

#endif  // QELCFG_TOOL_TOOL_H
