// qelcfg run as a process. Most cases are transcripts in cases/*.t (cases/README.md gives
// their form), each run as a test of its own; the tests here need more than a transcript
// says: a shell evaluating the output, concurrent writers and real files.

#include <sys/wait.h>

#include <csignal>
#include <cstdio>
#include <iostream>
#include <map>
#include <regex>

#include "../TestUtil.h"
#include "IniFile.h"
#include "TxtFile.h"

namespace {

using namespace qeltest;

const std::string kTool = QELCFG_TOOL;

struct Result {
    int status = -1;  // the exit status, or -1 when the shell around it failed
    std::string out, err;
};

// qelcfg by its name, for the shell and for the programs that a case runs it through.
[[maybe_unused]] const int kOnPath =
    ::setenv("PATH", (kTool.substr(0, kTool.rfind('/')) + ":" + std::getenv("PATH")).c_str(), 1);

// Runs the shell command `command` in `dir`. Its standard output is a file that `before`
// was written to first, as by an earlier command of a shell redirection: the command
// writes at the end of that text, not for appending. Standard error is a pipe, which a
// file-size limit does not cut short.
Result Shell(const std::string& command, const std::string& dir = ".",
             const std::string& before = "") {
    static TempDir scratch;
    WriteFile(scratch.File("before"), before);
    ::signal(SIGXFSZ, SIG_IGN);  // so that writes past a file-size limit fail instead
    const std::string script = "cd '" + dir + "' && { { cat '" + scratch.File("before") + "' && " +
                               command + "; } 2>&1 >'" + scratch.File("out") + "'; echo $? >'" +
                               scratch.File("status") + "'; } | cat >'" + scratch.File("err") + "'";
    Result result;
    if (std::system(script.c_str()) == 0) {
        result.status = std::stoi(ReadFile(scratch.File("status")));
        result.out = ReadFile(scratch.File("out"));
        result.err = ReadFile(scratch.File("err"));
    }
    return result;
}

bool Strip(std::string& text, const std::string& suffix) {
    const bool ends = text.size() >= suffix.size() &&
                      text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
    text.resize(text.size() - (ends ? suffix.size() : 0));
    return ends;
}

// Every entry of `dir` with its bytes; symbolic links and directories by their kind.
std::map<std::string, std::string> Entries(const std::string& dir) {
    std::map<std::string, std::string> entries;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        entries[entry.path().filename().string()] = entry.is_symlink() ? "(symbolic link)"
                                                    : entry.is_regular_file()
                                                        ? ReadFile(entry.path().string())
                                                        : "(not a file)";
    }
    return entries;
}

// Plays a transcript of cases/ (its README gives the form) in a directory of its own.
class Transcript {
public:
    void Play(const std::string& path) {
        ::chmod(m_dir.Path().c_str(), 0755);
        std::istringstream text(ReadFile(path));
        int number = 0;
        for (std::string line; std::getline(text, line); ++number) {
            if (line.rfind('|', 0) == 0) {
                std::string content = line.substr(std::min<std::size_t>(2, line.size()));
                const bool noEol = Strip(content, " (no-eol)");
                m_block += Strip(content, " (esc)") ? Unescape(content) : content;
                m_block += noEol ? "" : m_crlf ? "\r\n" : "\n";
                continue;
            }
            EndBlock();
            SCOPED_TRACE(path + ":" + std::to_string(number + 1) + ": " + line);
            Line(line.empty() ? '#' : line[0], line.substr(std::min<std::size_t>(2, line.size())));
            if (testing::Test::IsSkipped()) {
                return;
            }
        }
        EndBlock();
        Check();
    }

private:
    void Line(char kind, std::string line) {
        if (kind == '$' || kind == '+' || (kind == '<' && !m_trace.empty())) {
            Check();
        }
        if (kind == '$') {
            m_trace = line;
            line = Strip(line, " (esc)") ? Unescape(line) : line;
            m_result = Shell(m_prefix + line, m_dir.Path(), m_before);
            m_want[0] = m_before;
            m_before.clear();
            m_prefix.clear();
        } else if (kind == '<' || kind == '>' || kind == '~') {
            m_crlf = Strip(line, " crlf");
            m_blockKind = kind;
            m_blockName = line;
        } else if (kind == '?') {
            m_status = std::stoi(line);
        } else if (kind == '+' || kind == '=') {
            ASSERT_EQ(std::system(("cd '" + m_dir.Path() + "' && " + line).c_str()), 0);
            m_files = kind == '+' ? Entries(m_dir.Path()) : m_files;
        } else if (kind == '@' && line.rfind("needs ", 0) == 0) {
            if (std::system(line.c_str() + 6) != 0) {
                GTEST_SKIP() << "cannot run " << line.substr(6);
            }
        } else if (kind == '@' && ::geteuid() == 0) {  // "@ nobody", for a root that reads all
            // From a copy of the tool and its library that nobody may run: the build tree may
            // lie where only its owner can enter.
            static TempDir copy;
            const std::string& to = copy.Path();
            ASSERT_EQ(std::system(("cp " + kTool + " " QELCFG_LIBRARY " " + to).c_str()), 0);
            m_prefix = "setpriv --reuid=nobody --regid=nogroup --clear-groups env PATH=" + to +
                       " LD_LIBRARY_PATH=" + to + " ";
        } else if (kind != '@') {
            ASSERT_EQ(kind, '#') << "not a line of a transcript";
        }
    }

    void EndBlock() {
        const int stream = m_blockName == "stdout" ? 0 : m_blockName == "stderr" ? 1 : -1;
        if (m_blockKind == '<' && stream == 0) {
            m_before = m_block;
        } else if (m_blockKind == '~' && Strip(m_block, "\n")) {
            m_pattern[stream] = m_block;
        } else if (m_blockKind == '>' && stream >= 0) {
            m_want[stream] = m_block;
        } else if (m_blockKind != 0) {
            m_files[m_blockName] = m_block;
            if (m_blockKind == '<') {
                WriteFile(m_dir.File(m_blockName), m_block);
            }
        }
        m_blockKind = 0;
        m_block.clear();
    }

    // What the last command must have done: its status, its output and the files left.
    void Check() {
        if (m_trace.empty()) {
            return;
        }
        SCOPED_TRACE("$ " + m_trace);
        EXPECT_EQ(m_result.status, m_status) << m_result.err;
        const std::string* got[] = {&m_result.out, &m_result.err};
        for (int i = 0; i < 2; ++i) {
            if (m_pattern[i].empty()) {
                EXPECT_EQ(*got[i], m_want[i]);
            } else {
                EXPECT_TRUE(std::regex_search(*got[i], std::regex(m_pattern[i]))) << *got[i];
            }
            m_want[i].clear();
            m_pattern[i].clear();
        }
        EXPECT_EQ(Entries(m_dir.Path()), m_files);
        m_trace.clear();
        m_status = 0;
    }

    TempDir m_dir;
    std::map<std::string, std::string> m_files;  // what the directory must hold
    char m_blockKind = 0;
    bool m_crlf = false;
    // The block being read and its name; the standard output given before the command; what
    // the next command runs through; the command line run, until checked.
    std::string m_block, m_blockName, m_before, m_prefix, m_trace;
    Result m_result;
    int m_status = 0;
    std::string m_want[2], m_pattern[2];
};

std::vector<std::string> CaseNames() {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(QELCFG_CASES)) {
        if (entry.path().extension() == ".t") {
            names.push_back(entry.path().stem().string());
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

class QelcfgCase : public testing::TestWithParam<std::string> {};

TEST_P(QelcfgCase, Transcript) {
    Transcript().Play(std::string(QELCFG_CASES) + "/" + GetParam() + ".t");
}

INSTANTIATE_TEST_SUITE_P(Qelcfg, QelcfgCase, testing::ValuesIn(CaseNames()),
                         [](const auto& info) { return info.param; });

// get --format sh, evaluated through "." and through eval by each common shell, assigns the
// values alone: no command in a value runs, no name that a shell, the loader or the
// environment gives a meaning is assigned (zsh's EGID and USERNAME would change the group
// and user of a root shell, and its functions would end the eval half way), with or without
// a prefix. A shell that is not installed is named and passed over.
TEST(Qelcfg, ShellFormatEvaluatesToTheValuesAlone) {
    ::setenv("QELCFG_TEST_TAKEN", "mine", 1);
    TempDir dir;
    const std::string hostile = "it's $(touch pwned) `touch pwned` \\ \"x\"";
    WriteFile(dir.File("d.ini"),
              "[S]\nPATH=/nonexistent\nIFS=x\nLD_LIBRARY_PATH=/x\nENV=/x\nBASH_ENV=/x\n"
              "EGID=65534\nUSERNAME=nobody\nUID=65534\nfunctions=x\noptions=x\nstatus=1\n"
              "QELCFG_TEST_TAKEN=x\nk=" +
                  hostile + "\nk=second\n[LD]\nLIBRARY_PATH=/x\n");
    const char* const cases[][2] = {
        {"d.ini S", "k"}, {"d.ini", "S_k"}, {"--prefix cfg_ d.ini S", "cfg_k"}};
    for (const std::string shell : {"bash", "dash", "zsh", "ksh"}) {
        if (std::system(("command -v " + shell + " >/dev/null").c_str()) != 0) {
            std::cout << "not checked under " << shell << ", which is not installed\n";
            continue;
        }
        for (const auto& c : cases) {
            for (const std::string form : {". ./vars.sh", "eval \"$(cat vars.sh)\""}) {
                SCOPED_TRACE(shell + ": " + form + " of " + c[0]);
                WriteFile(dir.File("s.sh"),
                          "snap() { printf '%s|%s|%s|%s|%s|%s' \"$PATH\" \"$IFS\" "
                          "\"${LD_LIBRARY_PATH-}\" \"$QELCFG_TEST_TAKEN\" \"$(id -u):$(id -g)\" "
                          "\"$1\"; }\nsnap '' >before\nqelcfg get --format sh " +
                              std::string(c[0]) + " >vars.sh 2>/dev/null\n" + form +
                              " && ls >/dev/null && snap \"$" + c[1] + "\" >after\n");
                ASSERT_EQ(Shell(shell + " s.sh", dir.Path()).status, 0);
                EXPECT_EQ(ReadFile(dir.File("after")), ReadFile(dir.File("before")) + hostile);
                EXPECT_FALSE(FileExists(dir.File("pwned")));
            }
        }
    }
}

// Real files of Python's configparser dialect and a git config: each key set and removed,
// and a key added to each section, each edit read by the program the file is written for
// as exactly that change (reads.py prints each one read otherwise, and the counts).
TEST(Qelcfg, RealFilesReadAsIntendedByTheirOwnReaders) {
    const Result result =
        Shell("python3 " QELCFG_CASES "/../reads.py " + kTool +
              " " QELCFG_TEST_DATA
              "/real pytest.ini tox.ini setup.cfg cachetools-setup.cfg pyasn1-tox.ini mypy.ini "
              "gitconfig");
    EXPECT_EQ(result.status, 0) << result.err;
    std::cout << result.out;
}

// qelcfg set started in the background; pclose() gives its status.
FILE* StartSet(const std::string& file, const std::string& section, const std::string& n) {
    return ::popen(("qelcfg set '" + file + "' " + section + " k" + n + " " + n).c_str(), "r");
}

// Writers of one file run at once: qelcfg's sets, the library's line edits and, in another
// process, loaded trees' adds. The library holds the file from a set's read to its replace,
// and a line edit or a tree's save fails rather than write over a file changed since it was
// read: every update is in the file or its writer reported a failure, and a file not there
// yet is made only once.
TEST(Qelcfg, ConcurrentWritersLoseNoUpdateWithoutAReport) {
    const int kRounds = 24;
    TempDir dir;
    const std::string made = dir.File("made.ini"), shared = dir.File("shared.ini");
    WriteFile(shared, "[L]\r\n[T]\r\n[W]\r\n");
    const pid_t adder = ::fork();
    if (adder == 0) {
        std::string added;
        for (int i = 0; i < kRounds * 4; ++i) {
            CIniFile ini;
            const std::string key = "w" + std::to_string(i);
            added += ini.Attach(shared.c_str()) && ini.AddValue("W", key.c_str(), "1", true)
                         ? key + "\n"
                         : "";
        }
        WriteFile(dir.File("added"), added);
        ::_exit(0);
    }
    std::vector<FILE*> sets;
    for (int i = 0; i < kRounds; ++i) {
        const std::string n = std::to_string(i);
        sets.push_back(StartSet(made, i % 2 ? "B" : "A", n));
        sets.push_back(StartSet(shared, "T", n));
        bool edited = false;
        for (int attempt = 0; attempt < 1000 && !edited; ++attempt) {
            _CFG::CTxtFile lines(shared.c_str(), "r+b");
            edited = lines.InsertTextLine(0, ("l" + n + "=" + n).c_str(), true);
        }
        EXPECT_TRUE(edited) << i;
    }
    for (FILE* set : sets) {
        EXPECT_EQ(::pclose(set), 0);
    }
    int status = -1;
    EXPECT_EQ(::waitpid(adder, &status, 0), adder);
    std::string got, want;  // of each key: as made, as set, as inserted by a line edit
    for (int i = 0; i < kRounds; ++i) {
        const std::string n = std::to_string(i);
        got +=
            Shell(std::string("qelcfg get made.ini ") + (i % 2 ? "B" : "A") + " k" + n, dir.Path())
                .out +
            Shell("qelcfg get shared.ini T k" + n, dir.Path()).out +
            Shell("qelcfg get shared.ini L l" + n, dir.Path()).out;
        want += n + "\n" + n + "\n" + n + "\n";
    }
    std::istringstream added(ReadFile(dir.File("added")));
    for (std::string key; std::getline(added, key);) {
        got += Shell("qelcfg get shared.ini W " + key, dir.Path()).out;
        want += "1\n";
    }
    EXPECT_EQ(got, want);
    EXPECT_GT(want.size(), kRounds * 6u) << "some adds of the other process went through";
    // The writers leave no temporary file; a line edit that failed may leave its copy.
    std::map<std::string, std::string> entries = Entries(dir.Path());
    entries.erase("shared.ini~tmp");
    EXPECT_EQ(entries.size(), 3u) << ListDir(dir.Path());
}

// Files from Debian packages, as LF and as CR LF: a set of a key that is there, a set of a
// new key and a del each change one line, keep every other byte and add no other line end.
TEST(Qelcfg, RealFilesChangeInOneLineOnly) {
    const char* const files[][3] = {{"apt-daily.service", "Unit", "Description"},
                                    {"fstrim.timer", "Timer", "OnCalendar"},
                                    {"gitconfig", "core", "bare"},
                                    {"gpg-agent.socket", "Socket", "SocketMode"},
                                    {"mypy.ini", "mypy", "files"},
                                    {"openssl.cnf", " new_oids ", "tsa_policy2"},
                                    {"xdg-user-dirs.desktop", "Desktop Entry", "Name"}};
    TempDir dir;
    const std::string file = dir.File("f.ini");
    for (const auto& f : files) {
        const std::string lf = ReadFile(std::string(QELCFG_TEST_DATA) + "/real/" + f[0]);
        const std::string crlf = std::regex_replace(lf, std::regex("\n"), "\r\n");
        for (const std::string& text : {lf, crlf}) {
            for (int lengthChange : {0, 1, -1}) {  // a changed, an added and a removed key
                const std::string edit = lengthChange < 0
                                             ? std::string("del f.ini '") + f[1] + "' " + f[2]
                                             : std::string("set f.ini '") + f[1] + "' " +
                                                   (lengthChange ? "qelcfg_new" : f[2]) + " v";
                SCOPED_TRACE(std::string(f[0]) + (text == lf ? " " : " CR LF ") + edit);
                WriteFile(file, text);
                ASSERT_EQ(Shell("qelcfg " + edit, dir.Path()).status, 0);
                const std::string after = ReadFile(file);
                WriteFile(dir.File("before"), text);
                EXPECT_EQ(Shell("diff before f.ini | grep -c '^[<>]'", dir.Path()).out,
                          lengthChange ? "1\n" : "2\n");
                EXPECT_EQ(
                    std::count(after.begin(), after.end(), '\r'),
                    std::count(text.begin(), text.end(), '\r') + (text == lf ? 0 : lengthChange));
            }
        }
    }
}

}  // namespace
