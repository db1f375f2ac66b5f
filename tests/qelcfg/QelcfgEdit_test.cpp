// qelcfg set and del: the edited files' bytes, what is refused, and what a failed or
// concurrent edit leaves behind.
#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "ToolRunner.h"
#include "TxtFile.h"

namespace {

using qeltest::ReadFile;
using qeltest::RunOptions;
using qeltest::RunTool;
using qeltest::TempDir;
using qeltest::ToolProcess;
using qeltest::ToolResult;
using qeltest::WriteFile;

using Args = std::vector<std::string>;

struct EditCase {
    std::string before;
    Args args;  // after the verb; FILE goes first
    std::string after;
};

std::set<std::string> Entries(const std::string& path) {
    std::set<std::string> names;
    DIR* dir = ::opendir(path.c_str());
    while (dirent* entry = dir != nullptr ? ::readdir(dir) : nullptr) {
        std::string name = entry->d_name;
        if (name != "." && name != "..") {
            names.insert(name);
        }
    }
    if (dir != nullptr) {
        ::closedir(dir);
    }
    return names;
}

// Runs each case on its own file and checks the bytes, and that nothing else is left
// in the directory.
void ExpectEdits(const std::string& verb, const std::vector<EditCase>& cases) {
    for (const EditCase& c : cases) {
        TempDir dir;
        std::string file = dir.File("c.ini");
        WriteFile(file, c.before);
        Args args = {verb};
        args.insert(args.end(), c.args.begin(), c.args.end());
        args.insert(args.begin() + 1 + (args.size() > 1 && args[1].rfind("--", 0) == 0), file);
        ToolResult r = RunTool(args);
        EXPECT_EQ(r.status, 0) << c.before << r.err;
        EXPECT_EQ(ReadFile(file), c.after) << c.before;
        EXPECT_EQ(Entries(dir.Path()), std::set<std::string>{"c.ini"}) << c.before;
    }
}

// Every byte but the changed lines stays, line ends included: LF, CR LF or mixed, and a
// missing final line end.
TEST(QelcfgSet, KeepsEveryOtherByte) {
    ExpectEdits(
        "set", {
                   {"# top\n[A]\n; note=x\nk = 1\n\n#[B]\n",
                    {"A", "k", "2"},
                    "# top\n[A]\n; note=x\nk = 2\n\n#[B]\n"},
                   {"[A]\nk=1\n[A]\nk=2\n", {"A", "k", "3"}, "[A]\nk=3\n[A]\nk=2\n"},
                   {"[A]\r\nk=1\r\nk=2", {"A", "k", "a,b"}, "[A]\r\nk=a,b\r\nk=2"},
                   {"\xEF\xBB\xBF[A]\nk=1\n", {"A", "k", "2"}, "\xEF\xBB\xBF[A]\nk=2\n"},
                   {"[A]\nk = a, b\r\n", {"--list", "A", "k", "b,c, a ,d"}, "[A]\nk = a,b,c,d\r\n"},
               });
}

TEST(QelcfgSet, AddsWhatIsMissingWhereItReadsBack) {
    ExpectEdits("set", {
                           {"[A]\nk=1\n# c\n#[old]\nz=9\n[B]\n",
                            {"A", "n", "5"},
                            "[A]\nk=1\nn=5\n# c\n#[old]\nz=9\n[B]\n"},
                           {"[A]\r\n# c\n\n[B]\n", {"A", "n", "5"}, "[A]\r\nn=5\r\n# c\n\n[B]\n"},
                           {"[A]\n#[x]\nk=1\n", {"A", "k", "2"}, "[A]\nk=2\n#[x]\nk=1\n"},
                           {"[A]\nk=1", {"B", "n", "5"}, "[A]\nk=1\n\n[B]\nn=5"},
                           {"[A]\r\n\r\n", {"B", "n", "5"}, "[A]\r\n\r\n[B]\r\nn=5\r\n"},
                           {"", {"B", "n", "5"}, "[B]\r\nn=5\r\n"},
                           {"[A]\n", {"--list", "A", "n", "x, y,x"}, "[A]\nn=x,y\n"},
                       });
}

TEST(QelcfgDel, KeepsEveryOtherLine) {
    ExpectEdits(
        "del",
        {
            {"[A]\n# c\nk=1\nj=2\nk=3\n", {"A", "k"}, "[A]\n# c\nj=2\nk=3\n"},
            {"# top\r\n[A]\nk=1\n# about B\n#[C]\nz=1\n\n[B]\nj=2\n", {"A"}, "# top\r\n[B]\nj=2\n"},
            {"[A]\nk=1\n[A]\nk=2\n", {"A"}, "[A]\nk=2\n"},
            {"[A]\nk=a, b,c\n", {"--list", "A", "k", "a,c"}, "[A]\nk=b\n"},
            {"[A]\r\nj=1\r\nk=2", {"A", "k"}, "[A]\r\nj=1"},
        });
}

TEST(QelcfgSet, ChangesNothingWhenTheValueIsAlreadySo) {
    TempDir dir;
    WriteFile(dir.File("c.ini"), "[A]\nk = 1\n");
    EXPECT_EQ(RunTool({"set", dir.File("c.ini"), "A", "k", "1"}).status, 0);
    EXPECT_EQ(RunTool({"set", "--list", dir.File("c.ini"), "A", "k", "1"}).status, 0);
    EXPECT_EQ(ReadFile(dir.File("c.ini")), "[A]\nk = 1\n");
}

TEST(QelcfgEdit, ReportsWhatIsNotThereAndLeavesTheFile) {
    const std::string text = "[A]\nk=a,b\n";
    const Args cases[] = {
        {"set", "--existing", "F", "A", "n", "1"},
        {"set", "--existing", "F", "B", "k", "1"},
        {"del", "F", "B"},
        {"del", "F", "A", "n"},
        {"del", "--list", "F", "A", "k", "c"},
    };
    TempDir dir;
    for (Args args : cases) {
        WriteFile(dir.File("c.ini"), text);
        for (std::string& arg : args) {
            arg = arg == "F" ? dir.File("c.ini") : arg;
        }
        ToolResult r = RunTool(args);
        EXPECT_EQ(r.status, 1) << args[args.size() - 2];
        EXPECT_EQ(r.err.substr(0, 11), "qelcfg: no ") << r.err;
        EXPECT_EQ(ReadFile(dir.File("c.ini")), text);
        EXPECT_EQ(Entries(dir.Path()), std::set<std::string>{"c.ini"});
    }
    EXPECT_EQ(RunTool({"set", "--existing", dir.File("c.ini"), "A", "k", "z"}).status, 0);
    EXPECT_EQ(ReadFile(dir.File("c.ini")), "[A]\nk=z\n");
}

TEST(QelcfgSet, RefusesTextsThatWouldNotReadBack) {
    struct Case {
        std::string section, key, value;
    };
    const Case cases[] = {
        {"", "k", "v"},       {"A\nB", "k", "v"}, {"A", "k=x", "v"}, {"A", " k", "v"},
        {"A", "k\t", "v"},    {"A", "#k", "v"},   {"A", "[k", "v"},  {"A", "k\r", "v"},
        {"A", "k", "v\n[B]"}, {"A", "k", "v\r"},
    };
    TempDir dir;
    std::string file = dir.File("c.ini");
    WriteFile(file, "[A]\nk=1\n");
    for (const Case& c : cases) {
        ToolResult r = RunTool({"set", file, c.section, c.key, c.value});
        EXPECT_EQ(r.status, 2) << c.section << "|" << c.key << "|" << c.value;
        EXPECT_EQ(r.err.substr(0, 17), "qelcfg: refusing ") << r.err;
    }
    EXPECT_EQ(ReadFile(file), "[A]\nk=1\n");
    EXPECT_EQ(RunTool({"set", dir.File("new.ini"), "", "k", "v"}).status, 2);
    EXPECT_FALSE(qeltest::FileExists(dir.File("new.ini")));
}

// A CR that no LF follows ends a line's text for the reader but not the line, so an edit
// near it could not keep both readings: such files are refused. NUL bytes are kept.
TEST(QelcfgEdit, RefusesFilesWithTextAfterACr) {
    const std::string texts[] = {"[A]\nk=1\rx\n", "[A]\r\r\nk=1\n", "[A]\nk=1\rz", "[A]\nk=1\r"};
    TempDir dir;
    std::string file = dir.File("c.ini");
    for (const std::string& text : texts) {
        for (const Args& args : {Args{"set", file, "A", "k", "2"}, Args{"del", file, "A"}}) {
            WriteFile(file, text);
            ToolResult r = RunTool(args);
            EXPECT_EQ(r.status, 2) << args[0] << " " << text;
            EXPECT_EQ(r.err.substr(0, 22), "qelcfg: cannot edit '" + file.substr(0, 1)) << r.err;
            EXPECT_EQ(ReadFile(file), text);
            EXPECT_EQ(Entries(dir.Path()), std::set<std::string>{"c.ini"});
        }
    }
    const std::string nul("[A]\nk=1\0x\nj=1\n", 14);
    WriteFile(file, nul);
    EXPECT_EQ(RunTool({"set", file, "A", "k", "2"}).status, 0);
    EXPECT_EQ(ReadFile(file), std::string("[A]\nk=2\0x\nj=1\n", 14));
}

// A file-size limit makes writes past it fail as a full disk does: while the copy is
// made, or while the library's line edit writes the longer text.
TEST(QelcfgEdit, AFailedEditLeavesTheFileAndNoTemporaries) {
    const std::string text = "# keep\n[A]\nk=1\n";
    const long limits[] = {4, static_cast<long>(text.size()) + 2};
    for (long limit : limits) {
        TempDir dir;
        std::string file = dir.File("c.ini");
        WriteFile(file, text);
        RunOptions options;
        options.fileSizeLimit = limit;
        ToolResult r = RunTool({"set", file, "A", "k", "a much longer value"}, options);
        EXPECT_EQ(r.status, 2) << limit;
        EXPECT_NE(r.err.find("File too large"), std::string::npos) << r.err;
        EXPECT_EQ(ReadFile(file), text) << limit;
        EXPECT_EQ(Entries(dir.Path()), std::set<std::string>{"c.ini"}) << limit;
    }
    TempDir dir;
    std::string file = dir.File("c.ini");
    WriteFile(file, text);
    RunOptions options;
    options.fileSizeLimit = 4;
    EXPECT_EQ(RunTool({"del", file, "A"}, options).status, 2);
    EXPECT_EQ(ReadFile(file), text);
    EXPECT_EQ(Entries(dir.Path()), std::set<std::string>{"c.ini"});
}

TEST(QelcfgEdit, FollowsSymbolicLinksAndKeepsPermissions) {
    TempDir dir;
    std::string file = dir.File("real.ini");
    std::string link = dir.File("link.ini");
    WriteFile(file, "[A]\nk=1\n");
    ::chmod(file.c_str(), 0604);
    ASSERT_EQ(::symlink("real.ini", link.c_str()), 0);
    ASSERT_EQ(RunTool({"set", link, "A", "k", "2"}).status, 0);
    EXPECT_EQ(ReadFile(file), "[A]\nk=2\n");
    struct stat st;
    ASSERT_EQ(::lstat(link.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    ASSERT_EQ(::stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0604u);

    ASSERT_EQ(::symlink("made.ini", dir.File("dangling.ini").c_str()), 0);
    ASSERT_EQ(RunTool({"set", dir.File("dangling.ini"), "S", "k", "v"}).status, 0);
    EXPECT_EQ(ReadFile(dir.File("made.ini")), "[S]\r\nk=v\r\n");
}

// Each set locks the file and checks that the path still names it once locked; a file
// that does not exist yet is created by one of them, and the others start over on it.
TEST(QelcfgEdit, ConcurrentSetsOfDifferentKeysAllLand) {
    const int kWriters = 24;
    for (bool exists : {true, false}) {
        TempDir dir;
        std::string file = dir.File("c.ini");
        if (exists) {
            WriteFile(file, "# shared\n[A]\n");
        }
        std::vector<std::unique_ptr<ToolProcess>> writers;
        for (int i = 0; i < kWriters; ++i) {
            std::string n = std::to_string(i);
            writers.emplace_back(new ToolProcess({"set", file, i % 2 ? "B" : "A", "k" + n, n}));
        }
        for (auto& writer : writers) {
            EXPECT_EQ(writer->Finish().status, 0);
        }
        for (int i = 0; i < kWriters; ++i) {
            std::string n = std::to_string(i);
            ToolResult r = RunTool({"get", file, i % 2 ? "B" : "A", "k" + n});
            EXPECT_EQ(r.out, n + "\n") << "k" << n << (exists ? "" : " in a new file");
        }
        if (exists) {
            EXPECT_EQ(ReadFile(file).substr(0, 13), "# shared\n[A]\n");
        }
        EXPECT_EQ(Entries(dir.Path()), std::set<std::string>{"c.ini"});
    }
}

// The lines of `text`, each with its line end.
std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    for (std::size_t at = 0; at < text.size();) {
        std::size_t end = std::min(text.find('\n', at), text.size() - 1) + 1;
        lines.push_back(text.substr(at, end - at));
        at = end;
    }
    return lines;
}

// How many lines of `before` and `after` differ, when they have as many lines, or else
// -1; lines added or removed count through `lengthChange`.
int ChangedLines(const std::string& before, const std::string& after, int lengthChange) {
    std::vector<std::string> a = Lines(before);
    std::vector<std::string> b = Lines(after);
    if (static_cast<int>(b.size()) - static_cast<int>(a.size()) != lengthChange) {
        return -1;
    }
    std::size_t head = 0;
    while (head < a.size() && head < b.size() && a[head] == b[head]) {
        ++head;
    }
    std::size_t tail = 0;
    while (tail < a.size() - head && tail < b.size() - head &&
           a[a.size() - 1 - tail] == b[b.size() - 1 - tail]) {
        ++tail;
    }
    return static_cast<int>(std::max(a.size(), b.size()) - head - tail);
}

// Files from Debian packages, as LF and as CR LF: a set of a key that is there, a set of a
// new key and a del each change exactly one line and keep every other byte.
TEST(QelcfgEdit, RealFilesChangeInOneLineOnly) {
    const char* const files[] = {"apt-daily.service",    "fstrim.timer", "gitconfig",
                                 "gpg-agent.socket",     "mypy.ini",     "openssl.cnf",
                                 "xdg-user-dirs.desktop"};
    TempDir dir;
    const std::string file = dir.File("f.ini");
    for (const char* name : files) {
        const std::string lf = ReadFile(std::string(QELCFG_REAL_FILES) + "/" + name);
        ASSERT_FALSE(lf.empty()) << name;
        std::string crlf;
        for (char c : lf) {
            crlf += c == '\n' ? "\r\n" : std::string(1, c);
        }
        for (const std::string& text : {lf, crlf}) {
            WriteFile(file, text);
            std::string section;
            std::string key;
            for (const std::string& line : Lines(RunTool({"get", file}).out)) {
                std::string entries = RunTool({"get", file, line.substr(0, line.size() - 1)}).out;
                if (!entries.empty()) {
                    section = line.substr(0, line.size() - 1);
                    key = entries.substr(0, entries.find('='));
                    break;
                }
            }
            ASSERT_FALSE(key.empty()) << name;
            const struct {
                Args args;
                int lengthChange;
            } edits[] = {{{"set", file, section, key, "changed"}, 0},
                         {{"set", file, section, "qelcfg_new", "added"}, 1},
                         {{"del", file, section, key}, -1}};
            for (const auto& edit : edits) {
                WriteFile(file, text);
                ASSERT_EQ(RunTool(edit.args).status, 0) << name << " " << edit.args[0];
                const std::string after = ReadFile(file);
                EXPECT_EQ(ChangedLines(text, after, edit.lengthChange), 1)
                    << name << " " << edit.args[0] << " " << edit.args[3];
                const bool wasCrlf = text.find("\r\n") != std::string::npos;
                EXPECT_EQ(after.find("\r\n") != std::string::npos, wasCrlf) << name;
            }
        }
    }
}

// A lock that another process keeps (here a reader's shared lock) is waited for at most
// --wait seconds; then the writer names the holder, exits 2 and leaves the file alone.
TEST(QelcfgEdit, ALockHeldElsewhereIsWaitedForAtMostWaitSeconds) {
    const std::string text = "[A]\nk=1\n";
    const std::vector<Args> commands = {
        {"set", "--wait", "0", "FILE", "A", "k", "2"},
        {"del", "--wait", "0", "FILE", "A"},
        {"fmt", "--wait", "0", "FILE"},
    };
    for (Args args : commands) {
        TempDir dir;
        std::string file = dir.File("c.ini");
        WriteFile(file, text);
        int held = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
        ASSERT_EQ(::flock(held, LOCK_SH), 0);
        args[3] = file;
        ToolResult r = RunTool(args);
        EXPECT_EQ(r.status, 2) << args[0];
        EXPECT_NE(r.err.find("held by process " + std::to_string(::getpid())), std::string::npos)
            << r.err;
        EXPECT_EQ(ReadFile(file), text) << args[0];
        ::close(held);
        EXPECT_EQ(RunTool(args).status, 0) << args[0] << ": the lock is free again";
    }
}

// Output to a path that stands for standard output goes through the descriptor, after
// what a shell wrote there before: the file behind it is never replaced.
TEST(QelcfgFmt, OutputToStandardOutputByPathWritesThroughTheDescriptor) {
    for (const char* out : {"/dev/stdout", "/dev/fd/1", "/proc/self/fd/1"}) {
        TempDir dir;
        std::string file = dir.File("c.ini");
        WriteFile(file, "# gone\n[A]\nk=1\n");
        RunOptions options;
        options.outputBefore = "earlier\n";
        ToolResult r = RunTool({"fmt", "-o", out, file}, options);
        EXPECT_EQ(r.status, 0) << out << r.err;
        EXPECT_EQ(r.out, "earlier\n[A]\r\nk=1\r\n\r\n") << out;
        EXPECT_EQ(ReadFile(file), "# gone\n[A]\nk=1\n") << out;
    }
}

// A writer that edits lines through the library and qelcfg set, running together: both
// take the same lock, every set lands, and a library edit whose file was replaced after it
// read it fails rather than writing over the set, so that its retry lands too.
TEST(QelcfgEdit, LibraryEditsAndSetsRunningTogetherLoseNoUpdate) {
    const int kRounds = 40;
    TempDir dir;
    std::string file = dir.File("c.ini");
    WriteFile(file, "[L]\r\n[T]\r\n");
    std::vector<std::unique_ptr<ToolProcess>> sets;
    int retries = 0;
    for (int i = 0; i < kRounds; ++i) {
        std::string n = std::to_string(i);
        sets.emplace_back(new ToolProcess({"set", file, "T", "t" + n, n}));
        bool edited = false;
        for (int attempt = 0; attempt < 1000 && !edited; ++attempt) {
            _CFG::CTxtFile lines(file.c_str(), "r+b");
            edited = lines.InsertTextLine(0, ("l" + n + "=" + n).c_str(), true);
            retries += !edited;
        }
        EXPECT_TRUE(edited) << i;
    }
    for (auto& set : sets) {
        EXPECT_EQ(set->Finish().status, 0);
    }
    for (int i = 0; i < kRounds; ++i) {
        std::string n = std::to_string(i);
        EXPECT_EQ(RunTool({"get", file, "T", "t" + n}).out, n + "\n") << "set " << n;
        EXPECT_EQ(RunTool({"get", file, "L", "l" + n}).out, n + "\n") << "edit " << n;
    }
    std::printf("%d library edits were retried\n", retries);
}

}  // namespace
