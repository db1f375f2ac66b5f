#include "Tool.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#define QELCFG_ISATTY(fd) ::_isatty(fd)
#else
#include <unistd.h>
#define QELCFG_ISATTY(fd) ::isatty(fd)
#endif

#include "IniEditor.h"

namespace qeltool {

std::string Quoted(const std::string& name) {
    return "'" + name + "'";
}

std::string SystemMessage(const std::string& what, const std::string& path, int err) {
    return what + " " + Quoted(path) + ": " + std::strerror(err);
}

void FailSystem(const std::string& what, const std::string& path, int err) {
    throw ToolError(kExitFailure, SystemMessage(what, path, err));
}

std::string ForTerminal(const std::string& text) {
    if (!QELCFG_ISATTY(1)) {
        return text;
    }
    std::string shown;
    for (std::size_t i = 0; i < text.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        bool lineEnd = c == '\n' || (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n');
        if ((c < 0x20 && c != '\t' && !lineEnd) || c == 0x7F) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\x%02x", c);
            shown += escape;
        } else {
            shown += static_cast<char>(c);
        }
    }
    return shown;
}

void Warn(const std::string& message) {
    std::fprintf(stderr, "qelcfg: %s\n", message.c_str());
}

void WriteOut(const std::string& text) {
    errno = 0;
    std::size_t written = std::fwrite(text.data(), 1, text.size(), stdout);
    if (written != text.size() || std::fflush(stdout) != 0) {
        throw ToolError(kExitFailure, std::string("cannot write to standard output: ") +
                                          std::strerror(errno != 0 ? errno : EIO));
    }
}

void ReadInput(CIniEditor& editor, const std::string& file) {
    errno = 0;
    if (file != "-") {
        if (!editor.View(file.c_str())) {
            FailSystem("cannot open", file, errno != 0 ? errno : EIO);
        }
        return;
    }
#ifdef _WIN32
    ::_setmode(::_fileno(stdin), _O_BINARY);  // the bytes as they are, CR LF included
#endif
    std::string text;
    char block[65536];
    for (std::size_t got = 1; got > 0;) {
        got = std::fread(block, 1, sizeof block, stdin);
        text.append(block, got);
    }
    if (std::ferror(stdin)) {
        FailSystem("cannot read", "standard input", errno != 0 ? errno : EIO);
    }
    editor.ReplaceText(text);
}

}  // namespace qeltool
