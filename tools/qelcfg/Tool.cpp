#include "Tool.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

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

}  // namespace qeltool
