// Runs the built qelcfg as a process: arguments as given, standard output and error
// captured, and optionally without privileges or under a file-size limit.
#ifndef QEL_CFGFILE_TESTS_QELCFG_TOOLRUNNER_H
#define QEL_CFGFILE_TESTS_QELCFG_TOOLRUNNER_H

#include <fcntl.h>
#include <grp.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <string>
#include <vector>

#include "../TestUtil.h"

namespace qeltest {

struct ToolResult {
    int status = -1;  // the exit status, or -1 when the process did not exit
    std::string out;
    std::string err;
};

struct RunOptions {
    // Run as the user and group "nobody" when root, from a copy of the tool.
    bool unprivileged = false;
    // RLIMIT_FSIZE in bytes; writes past it fail as on a full disk (SIGXFSZ ignored).
    long fileSizeLimit = -1;
    // Written to standard output before the tool runs, as by an earlier command of a shell
    // redirection; the tool's output follows it in ToolResult::out.
    std::string outputBefore;
};

class ToolProcess {
public:
    explicit ToolProcess(const std::vector<std::string>& args,
                         const RunOptions& options = RunOptions()) {
        static int counter = 0;
        m_outPath = Scratch().File("run" + std::to_string(++counter) + ".out");
        WriteFile(m_outPath, options.outputBefore);
        m_args.push_back(options.unprivileged ? PrivateTool() : QELCFG_TOOL);
        m_args.insert(m_args.end(), args.begin(), args.end());
        for (char** var = environ; *var != nullptr; ++var) {
            m_env.push_back(*var);
        }
        if (options.unprivileged) {
            m_env.push_back("LD_LIBRARY_PATH=" + Scratch().Path());
        }
        Start(options);
    }
    ~ToolProcess() {
        if (m_pid > 0) {
            Finish();
        }
    }
    ToolProcess(const ToolProcess&) = delete;
    ToolProcess& operator=(const ToolProcess&) = delete;

    ToolResult Finish() {
        ToolResult result;
        result.err = ReadPipe(m_err);
        m_err = -1;
        int raw = 0;
        if (m_pid > 0 && ::waitpid(m_pid, &raw, 0) == m_pid && WIFEXITED(raw)) {
            result.status = WEXITSTATUS(raw);
        }
        m_pid = -1;
        result.out = ReadFile(m_outPath);
        ::unlink(m_outPath.c_str());
        return result;
    }

private:
    // Captured output, and the copy of the tool that runs without privileges, live apart
    // from the files a test edits, whose directory must hold nothing else afterwards.
    static TempDir& Scratch() {
        static TempDir scratch;
        return scratch;
    }

    // A copy of the tool and the library in a directory that "nobody" may enter, since the
    // build tree need not be.
    static std::string PrivateTool() {
        const TempDir& bin = Scratch();
        std::string tool = bin.File("qelcfg");
        std::string library = bin.File(QELCFG_LIBRARY_SONAME);
        if (!FileExists(tool)) {
            WriteFile(tool, ReadFile(QELCFG_TOOL));
            WriteFile(library, ReadFile(QELCFG_LIBRARY));
            ::chmod(bin.Path().c_str(), 0755);
            ::chmod(tool.c_str(), 0755);
            ::chmod(library.c_str(), 0755);
        }
        return tool;
    }

    void Start(const RunOptions& options) {
        m_outputBefore = options.outputBefore.size();
        int out = ::open(m_outPath.c_str(), O_WRONLY | O_CLOEXEC);
        // A pipe, since a file-size limit would cut the message short in a file.
        int err[2] = {-1, -1};
        if (::pipe2(err, O_CLOEXEC) != 0) {
            return;
        }
        m_err = err[0];
        ::lseek(out, static_cast<off_t>(m_outputBefore), SEEK_SET);
        std::vector<char*> argv = Pointers(m_args);
        std::vector<char*> envp = Pointers(m_env);
        bool drop = options.unprivileged && ::geteuid() == 0;
        m_pid = ::fork();
        if (m_pid == 0) {
            RunChild(out, err[1], drop, options.fileSizeLimit, argv.data(), envp.data());
        }
        ::close(out);
        ::close(err[1]);
    }

    static std::string ReadPipe(int fd) {
        std::string text;
        char buffer[4096];
        ssize_t n;
        while (fd >= 0 && (n = ::read(fd, buffer, sizeof buffer)) != 0) {
            if (n > 0) {
                text.append(buffer, static_cast<std::size_t>(n));
            } else if (errno != EINTR) {
                break;
            }
        }
        if (fd >= 0) {
            ::close(fd);
        }
        return text;
    }

    static std::vector<char*> Pointers(std::vector<std::string>& texts) {
        std::vector<char*> pointers;
        for (std::string& text : texts) {
            pointers.push_back(&text[0]);
        }
        pointers.push_back(nullptr);
        return pointers;
    }

    // Between fork and exec: async-signal-safe calls only.
    [[noreturn]] static void RunChild(int out, int err, bool drop, long limit, char** argv,
                                      char** envp) {
        ::dup2(out, 1);
        ::dup2(err, 2);
        if (limit >= 0) {
            struct rlimit rl;
            rl.rlim_cur = rl.rlim_max = static_cast<rlim_t>(limit);
            ::signal(SIGXFSZ, SIG_IGN);
            ::setrlimit(RLIMIT_FSIZE, &rl);
        }
        const gid_t nobody = 65534;
        if (drop &&
            (::setgroups(0, nullptr) != 0 || ::setgid(nobody) != 0 || ::setuid(nobody) != 0)) {
            ::_exit(126);
        }
        ::execve(argv[0], argv, envp);
        ::_exit(127);
    }

    std::vector<std::string> m_args;
    std::vector<std::string> m_env;
    std::string m_outPath;
    int m_err = -1;
    std::size_t m_outputBefore = 0;
    pid_t m_pid = -1;
};

inline ToolResult RunTool(const std::vector<std::string>& args,
                          const RunOptions& options = RunOptions()) {
    return ToolProcess(args, options).Finish();
}

}  // namespace qeltest

#endif  // QEL_CFGFILE_TESTS_QELCFG_TOOLRUNNER_H
