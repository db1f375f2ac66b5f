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

TEST(QelcfgSet, KeepsCommentsAndBlankLines) {
    ExpectEdits(
        "set", {
                   {"# top\n[A]\n; note=x\nk = 1\n\n#[B]\n",
                    {"A", "k", "2"},
                    "# top\r\n[A]\r\n; note=x\r\nk = 2\r\n\r\n#[B]\r\n"},
                   {"[A]\nk=1\n[A]\nk=2\n", {"A", "k", "3"}, "[A]\r\nk=3\r\n[A]\r\nk=2\r\n"},
                   {"[A]\r\nk=1\r\nk=2\r\n", {"A", "k", "a, b"}, "[A]\r\nk=a, b\r\nk=2\r\n"},
                   {"\xEF\xBB\xBF[A]\nk=1\n", {"A", "k", "2"}, "\xEF\xBB\xBF[A]\r\nk=2\r\n"},
                   {"[A]\nk = a, b\n", {"--list", "A", "k", "b,c, a ,d"}, "[A]\r\nk = a,b,c,d\r\n"},
               });
}

TEST(QelcfgSet, AddsWhatIsMissingWhereItReadsBack) {
    ExpectEdits("set",
                {
                    {"[A]\nk=1\n# c\n#[old]\nz=9\n[B]\n",
                     {"A", "n", "5"},
                     "[A]\r\nk=1\r\nn=5\r\n# c\r\n#[old]\r\nz=9\r\n[B]\r\n"},
                    {"[A]\n# c\n\n[B]\n", {"A", "n", "5"}, "[A]\r\nn=5\r\n# c\r\n\r\n[B]\r\n"},
                    {"[A]\n#[x]\nk=1\n", {"A", "k", "2"}, "[A]\r\nk=2\r\n#[x]\r\nk=1\r\n"},
                    {"[A]\nk=1", {"B", "n", "5"}, "[A]\r\nk=1\r\n\r\n[B]\r\nn=5\r\n"},
                    {"[A]\n\n", {"B", "n", "5"}, "[A]\r\n\r\n[B]\r\nn=5\r\n"},
                    {"", {"B", "n", "5"}, "[B]\r\nn=5\r\n"},
                    {"[A]\n", {"--list", "A", "n", "x, y,x"}, "[A]\r\nn=x,y\r\n"},
                });
}

TEST(QelcfgDel, KeepsEveryOtherLine) {
    ExpectEdits("del",
                {
                    {"[A]\n# c\nk=1\nj=2\nk=3\n", {"A", "k"}, "[A]\r\n# c\r\nj=2\r\nk=3\r\n"},
                    {"# top\n[A]\nk=1\n# about B\n#[C]\nz=1\n\n[B]\nj=2\n",
                     {"A"},
                     "# top\r\n[B]\r\nj=2\r\n"},
                    {"[A]\nk=1\n[A]\nk=2\n", {"A"}, "[A]\r\nk=2\r\n"},
                    {"[A]\nk=a, b,c\n", {"--list", "A", "k", "a,c"}, "[A]\r\nk=b\r\n"},
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
    EXPECT_EQ(ReadFile(dir.File("c.ini")), "[A]\r\nk=z\r\n");
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

TEST(QelcfgEdit, RefusesFilesWithNulOrTextAfterACr) {
    const std::string texts[] = {std::string("[A]\nk=1\0x\n", 10), "[A]\nk=1\rx\n",
                                 "[A]\r\r\nk=1\n", "[A]\nk=1\rz"};
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
    WriteFile(file, "[A]\nk=1\r");
    EXPECT_EQ(RunTool({"set", file, "A", "k", "2"}).status, 0);
    EXPECT_EQ(ReadFile(file), "[A]\r\nk=2\r\n");
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
    EXPECT_EQ(ReadFile(file), "[A]\r\nk=2\r\n");
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
            EXPECT_EQ(ReadFile(file).substr(0, 15), "# shared\r\n[A]\r\n");
        }
        EXPECT_EQ(Entries(dir.Path()), std::set<std::string>{"c.ini"});
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
