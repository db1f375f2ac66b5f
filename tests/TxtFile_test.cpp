#include "TxtFile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#if !defined(_WIN32)
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <csignal>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "TestUtil.h"

namespace {

using _CFG::CTxtFile;
using qeltest::ReadFile;
using qeltest::TempDir;
using qeltest::WriteFile;

// Opens up the protected interface to the tests.
class Probe : public CTxtFile {
public:
    using CTxtFile::Clear;
    using CTxtFile::CloseStream;
    using CTxtFile::CTxtFile;
    using CTxtFile::GetFileName;
    using CTxtFile::GetStream;
    using CTxtFile::ReadFailed;
    using CTxtFile::ReadLine;
};

// Notes every call that the base class's own operations make through the virtual table.
class Recorder : public CTxtFile {
public:
    using CTxtFile::CTxtFile;
    void Close() override {
        log += "Close ";
        CTxtFile::Close();
    }
    bool SeekToBegin() override { return Note("SeekToBegin", CTxtFile::SeekToBegin()); }
    const char* GetTextLine(char* skip) override {
        log += "GetTextLine ";
        return CTxtFile::GetTextLine(skip);
    }
    bool WriteText(const char* text, bool lineEnd) override {
        return Note("WriteText", CTxtFile::WriteText(text, lineEnd));
    }
    const char* GetTempleFileName(const char* suffix, char* out, int size) override {
        log += "GetTempleFileName ";
        return CTxtFile::GetTempleFileName(suffix, out, size);
    }
    std::string log;

protected:
    bool ReadLine() override { return Note("ReadLine", CTxtFile::ReadLine()); }

private:
    bool Note(const char* name, bool result) {
        log += std::string(name) + " ";
        return result;
    }
};

std::vector<std::string> LinesOf(CTxtFile& file, char* skip = nullptr) {
    std::vector<std::string> lines;
    while (const char* line = file.GetTextLine(skip)) {
        lines.push_back(line);
    }
    return lines;
}

TEST(TxtFileRead, ALineEndsAtItsLfAndItsTextAtItsFirstCr) {
    const std::string a510(510, 'a'), a511(511, 'a'), a1000(1000, 'a'), big(3 << 20, 'x');
    struct Case {
        std::string bytes;
        std::vector<std::string> lines;
    } cases[] = {
        {"", {}},
        {"\n\n", {"", ""}},
        {"a\r\nb", {"a", "b"}},
        {"abc\rdef\nx\n", {"abc", "x"}},
        {"\r\r\r", {""}},
        {a510 + "\r\nb\n", {a510, "b"}},
        {a511 + "\nb", {a511, "b"}},
        {a1000 + "\r\n" + a1000 + "\r\n", {a1000, a1000}},
        {a510 + "\r" + std::string(2000, 'k') + "\nb\n", {a510, "b"}},
        {"ab\r" + a1000 + "\r\r\n\rc\n", {"ab", ""}},
        {big + "\r" + big + "\nz", {big, "z"}},
        // A NUL ends the text as a CR does; the line still runs to its LF.
        {std::string("ab\0cd\nk\n", 8), {"ab", "k"}},
        {std::string("\0\n\0x", 5), {"", ""}},
        {a510 + std::string("\0\n", 2) + "b\n", {a510, "b"}},
        {a511 + std::string("\0", 1) + a1000 + "\nb\n", {a511, "b"}},
        {std::string("a\rb\0c\nd\n", 8), {"a", "d"}},
    };
    TempDir dir;
    for (const Case& c : cases) {
        WriteFile(dir.File("f"), c.bytes);
        CTxtFile file(dir.File("f").c_str(), "rb");
        EXPECT_TRUE(LinesOf(file) == c.lines) << "file of " << c.bytes.size() << " bytes";
    }
}

TEST(TxtFileRead, GetTextLinePassesOverLinesMadeOfSkipCharacters) {
    struct Case {
        const char* skip;
        std::vector<std::string> lines;
    } cases[] = {
        {nullptr, {"", "  \t", "  a b", "\tc", ""}},
        {"", {"  \t", "  a b", "\tc"}},
        {" \t", {"a b", "c"}},
    };
    TempDir dir;
    WriteFile(dir.File("f"), "\n  \t\n  a b\n\tc\n\n");
    for (const Case& c : cases) {
        CTxtFile file(dir.File("f").c_str(), "rb");
        std::string skip = c.skip ? c.skip : "";
        EXPECT_EQ(LinesOf(file, c.skip ? &skip[0] : nullptr), c.lines) << '"' << skip << '"';
    }
}

TEST(TxtFileRead, GetKeyLineComparesTheKeyFromTheOffset) {
    struct Case {
        const char* key;
        const char* skip;
        int offset;
        bool stop, prefix;
        const char* found;
    } cases[] = {
        {"name", nullptr, 0, false, false, "NAME"}, {"name", nullptr, 0, false, true, "name=1"},
        {"Name", " ", 0, false, true, "Name=2"},    {"Name", nullptr, 2, false, true, "  Name=2"},
        {"NAME", nullptr, 0, true, true, nullptr},  {nullptr, nullptr, 0, true, true, "name=1"},
        {"zz", nullptr, -1, true, true, "name=1"},  {"1", nullptr, 5, false, false, "name=1"},
        {"", nullptr, 7, false, true, "  Name=2"},  {"", nullptr, 9, false, true, nullptr},
    };
    TempDir dir;
    WriteFile(dir.File("f"), "name=1\nNAME\n  Name=2\n");
    for (const Case& c : cases) {
        CTxtFile file(dir.File("f").c_str(), "rb");
        std::string key = c.key ? c.key : "", skip = c.skip ? c.skip : "";
        const char* line = file.GetKeyLine(c.key ? &key[0] : nullptr, c.skip ? &skip[0] : nullptr,
                                           c.offset, c.stop, c.prefix);
        EXPECT_STREQ(line, c.found) << '"' << key << "\" at " << c.offset;
        if (c.stop && !line) {
            EXPECT_STREQ(file.GetTextLine(nullptr), "NAME") << "stands after the mismatch";
        }
    }
}

TEST(TxtFileRead, SeekToLineCountsFromThePositionAtTheCall) {
    TempDir dir;
    WriteFile(dir.File("f"), "a\nb1\nb2\nc\n");
    CTxtFile file(dir.File("f").c_str(), "rb");
    char line[8] = "#";
    EXPECT_EQ(file.SeekToLine("b", line), 1);
    EXPECT_STREQ(line, "b1");
    EXPECT_EQ(file.SeekToLine("b", line), 0);
    EXPECT_STREQ(line, "b2");
    EXPECT_EQ(file.SeekToLine("zz", line), 1);
    EXPECT_STREQ(line, "");
    ASSERT_TRUE(file.SeekToBegin());
    EXPECT_EQ(file.SeekToLine("", line), 0);
    EXPECT_STREQ(line, "a");
    char small[2] = "#";
    EXPECT_EQ(file.SeekToLine("b", small, 2), -1);
    EXPECT_STREQ(small, "#");
    EXPECT_EQ(file.SeekToLine("c", small, 2), 1);
    EXPECT_STREQ(small, "c");
    EXPECT_EQ(file.SeekToLine(nullptr, line), -1);
}

TEST(TxtFileRead, ReadTextLineCountsFromTheStartWhereverTheStreamStands) {
    TempDir dir;
    WriteFile(dir.File("f"), "a\nb\nc");
    CTxtFile file(dir.File("f").c_str(), "rb");
    struct Case {
        int index;
        const char* line;
    } cases[] = {{2, "c"}, {0, "a"}, {1, "b"}, {3, nullptr}, {-1, nullptr}};
    for (const Case& c : cases) {
        EXPECT_STREQ(file.ReadTextLine(c.index), c.line) << c.index;
    }
    file.Close();
    EXPECT_EQ(file.ReadTextLine(0), nullptr);
}

TEST(TxtFileWrite, WriteTextEndsLinesWithCrLfAndLeavesTheChangeFlag) {
    TempDir dir;
    CTxtFile file(dir.File("f").c_str(), "w+b");
    EXPECT_TRUE(file.WriteText("", true));
    EXPECT_TRUE(file.WriteText("", false));
    EXPECT_TRUE(file.WriteText("ab", true));
    EXPECT_TRUE(file.WriteText("c", false));
    EXPECT_FALSE(file.WriteText(nullptr, true));
    EXPECT_FALSE(file.IsFileChanged());
    file.Close();
    EXPECT_FALSE(file.WriteText("x", true));
    EXPECT_EQ(ReadFile(dir.File("f")), "\r\nab\r\nc");
}

TEST(TxtFileState, OpenSetAndCloseKeepTheirNamesAndStreams) {
    TempDir dir;
    const std::string path = dir.File("f");
    WriteFile(path, "first\nsecond\n");
    Probe file(path.c_str(), "rb");
    const char* line = file.ReadTextLine(0);
    EXPECT_FALSE(file.Open(path.c_str(), nullptr));
    EXPECT_EQ(file.GetStream(), nullptr);
    EXPECT_EQ(file.GetFileName(), nullptr) << "a failed open binds no name";
    EXPECT_STREQ(line, "first") << "the line survives Close";
    EXPECT_TRUE(file.Open(path.c_str(), "rb"));
    EXPECT_TRUE(file.Set(file.GetStream()));
    EXPECT_STREQ(file.ReadTextLine(1), "second");
    EXPECT_FALSE(file.SetChangeFlag(true));
    EXPECT_TRUE(file.IsFileChanged());
    EXPECT_FALSE(file.Set(nullptr));
    EXPECT_EQ(file.GetStream(), nullptr);
    EXPECT_STREQ(file.GetFileName(), path.c_str());
    EXPECT_TRUE(file.IsFileChanged());
    EXPECT_FALSE(file.Open(nullptr, "rb"));
    EXPECT_EQ(file.GetFileName(), nullptr);
    EXPECT_FALSE(file.IsFileChanged());
}

TEST(TxtFileState, CopiesShareTheStreamUntilTheLastOneLetsGo) {
    TempDir dir;
    const std::string path = dir.File("f");
    WriteFile(path, "1\n2\n3\n4\n");
    for (bool closeFirst : {true, false}) {
        for (bool dropSource : {true, false}) {
            auto source = std::make_unique<Probe>(path.c_str(), "rb");
            auto copy = std::make_unique<Probe>(*source);
            EXPECT_EQ(copy->GetStream(), source->GetStream());
            EXPECT_NE(copy->GetFileName(), source->GetFileName());
            EXPECT_STREQ(source->GetTextLine(nullptr), "1");
            EXPECT_STREQ(copy->GetTextLine(nullptr), "2") << "the position is shared";
            std::unique_ptr<Probe>& dropped = dropSource ? source : copy;
            std::unique_ptr<Probe>& kept = dropSource ? copy : source;
            closeFirst ? dropped->Close() : dropped.reset();
            EXPECT_STREQ(kept->GetTextLine(nullptr), "3");
            Probe assigned;
            assigned = *kept;
            kept.reset();
            EXPECT_STREQ(assigned.GetTextLine(nullptr), "4");
            Probe moved(std::move(assigned));
            EXPECT_EQ(assigned.GetStream(), nullptr);
            EXPECT_EQ(assigned.GetFileName(), nullptr);
            EXPECT_EQ(assigned.ReadTextLine(0), nullptr);
            EXPECT_STREQ(moved.ReadTextLine(0), "1");
        }
    }
}

#if !defined(_WIN32)  // no device that is always full
TEST(TxtFileState, CloseStreamReportsAWriteThatFailsOnlyWhenTheLastHolderCloses) {
    Probe file("/dev/full", "wb");
    ASSERT_TRUE(file.WriteText("buffered", true));
    Probe copy(file);
    EXPECT_TRUE(file.CloseStream());
    EXPECT_FALSE(copy.CloseStream());
    EXPECT_EQ(copy.GetStream(), nullptr);
}
#endif

TEST(TxtFileState, OwnOperationsReachOverridesThroughTheVirtualTable) {
    struct Case {
        std::function<void(Recorder&, const char*)> run;
        std::string log;
    } cases[] = {
        {[](Recorder& f, const char* path) { f.Open(path, "rb"); }, "Close "},
        {[](Recorder& f, const char*) { f.ReadTextLine(0); }, "SeekToBegin ReadLine "},
        {[](Recorder& f, const char*) { f.SeekToLine("b", nullptr); }, "ReadLine ReadLine "},
        {[](Recorder& f, const char*) { f.GetKeyLine(nullptr, nullptr, 0, true, true); },
         "GetTextLine ReadLine "},
        {[](Recorder& f, const char*) { f.RemoveTextLine(0); },
         "GetTempleFileName ReadLine ReadLine ReadLine WriteText "},
        {[](Recorder& f, const char*) { f.InsertTextLine(0, "x", true); },
         "GetTempleFileName ReadLine ReadLine ReadLine WriteText WriteText WriteText "},
    };
    TempDir dir;
    const std::string path = dir.File("f");
    for (const Case& c : cases) {
        WriteFile(path, "a\nb\n");
        Recorder file(path.c_str(), "r+b");
        c.run(file, path.c_str());
        EXPECT_EQ(file.log, c.log);
    }
}

#if defined(__GNUC__)
// Under the Itanium C++ ABI a pointer to a virtual member holds its byte offset in the
// virtual table, plus one except on 32-bit ARM, which marks virtual members elsewhere.
template <class F>
std::ptrdiff_t SlotOf(F member) {
    struct {
        std::uintptr_t ptr;
        std::ptrdiff_t adj;
    } raw;
    static_assert(sizeof member == sizeof raw, "Itanium member pointer layout");
    std::memcpy(&raw, &member, sizeof raw);
#if defined(__arm__)
    return static_cast<std::ptrdiff_t>(raw.ptr / sizeof(void*));
#else
    return static_cast<std::ptrdiff_t>((raw.ptr - 1) / sizeof(void*));
#endif
}

TEST(TxtFileState, VirtualOperationsKeepTheirSlotOrder) {
    const std::ptrdiff_t slots[] = {
        SlotOf(&CTxtFile::Open),
        SlotOf(&CTxtFile::Close),
        SlotOf(&CTxtFile::Set),
        SlotOf(&CTxtFile::SeekToBegin),
        SlotOf(&CTxtFile::SeekToEnd),
        SlotOf(&CTxtFile::Seek),
        SlotOf(static_cast<int (CTxtFile::*)(const char*, char*)>(&CTxtFile::SeekToLine)),
        SlotOf(&CTxtFile::SetChangeFlag),
        SlotOf(&CTxtFile::IsFileChanged),
        SlotOf(&CTxtFile::ReadTextLine),
        SlotOf(&CTxtFile::RemoveTextLine),
        SlotOf(&CTxtFile::InsertTextLine),
        SlotOf(&CTxtFile::GetTextLine),
        SlotOf(&CTxtFile::GetKeyLine),
        SlotOf(&CTxtFile::WriteText),
        SlotOf(&CTxtFile::GetTempleFileName),
        SlotOf(&Probe::ReadLine),
        SlotOf(&Probe::Clear),
    };
    // The destructor takes the first two slots (complete and deleting).
    for (std::size_t i = 0; i < sizeof slots / sizeof slots[0]; ++i) {
        EXPECT_EQ(slots[i], static_cast<std::ptrdiff_t>(i + 2)) << "operation " << i;
    }
}
#endif

TEST(TxtFileEdit, EditsRewriteTheFileWithCrLfAfterEveryLine) {
    struct Case {
        std::string bytes;
        int index;
        const char* text;  // null: remove line `index`
        bool lineEnd;
        std::string edited;
    } cases[] = {
        {"a\nb\nc\n", 1, nullptr, true, "a\r\nc\r\n"},
        {"a\nb\nc\n", 3, nullptr, true, "a\r\nb\r\nc\r\n"},
        {"a\nb\nc", 0, nullptr, true, "b\r\nc\r\n"},
        {"a\nb\nc\n", -5, "x", true, "x\r\na\r\nb\r\nc\r\n"},
        {"a\nb\nc\n", 0, "x", true, "a\r\nx\r\nb\r\nc\r\n"},
        {"a\nb\nc\n", 0, "x", false, "a\r\nxb\r\nc\r\n"},
        {"a\nb\nc\n", 2, "x", true, "a\r\nb\r\nc\r\nx\r\n"},
        {"a\nb\nc", 7, "x", true, "a\r\nb\r\nc\r\nx\r\n"},
        {"a\nb\nc\n", 1, "", true, "a\r\nb\r\n\r\nc\r\n"},
        {"", 0, "x", true, "x\r\n"},
        {"abc\rjunk junk junk\nd\n", -1, "", false, "abc\r\nd\r\n"},
    };
    TempDir dir;
    const std::string path = dir.File("f");
    for (const Case& c : cases) {
        WriteFile(path, c.bytes);
        CTxtFile file(path.c_str(), "r+b");
        EXPECT_TRUE(c.text ? file.InsertTextLine(c.index, c.text, c.lineEnd)
                           : file.RemoveTextLine(c.index));
        file.Close();
        EXPECT_EQ(ReadFile(path), c.edited) << c.bytes << " at " << c.index;
        EXPECT_EQ(ReadFile(path + "~tmp"), c.edited);
    }
}

TEST(TxtFileEdit, RemoveReopensAReadOnlyFileWhileInsertLeavesItAndAnAppendedOneUntouched) {
    TempDir dir;
    const std::string path = dir.File("f");
    WriteFile(path, "a\nb\n");
    // An appending stream would put the rewritten text after the old one: it is refused too.
    // Windows' runtime keeps to itself whether a stream appends; one that may read there is
    // not told apart.
#if defined(_WIN32)
    const char* const modes[] = {"rb", "ab"};
#else
    const char* const modes[] = {"rb", "ab", "a+b"};
#endif
    for (const char* mode : modes) {
        CTxtFile other(path.c_str(), mode);
        EXPECT_FALSE(other.InsertTextLine(0, "x", true)) << mode;
        EXPECT_EQ(ReadFile(path), "a\nb\n") << mode;
    }
    CTxtFile file(path.c_str(), "rb");
    EXPECT_TRUE(file.RemoveTextLine(0));
    EXPECT_TRUE(file.WriteText("z", true));
    EXPECT_TRUE(file.InsertTextLine(-1, file.ReadTextLine(1), true));
    file.Close();
    EXPECT_EQ(ReadFile(path), "z\r\nb\r\nz\r\n");
}

TEST(TxtFileEdit, EditsTakeFileNamesOfAtMost251Characters) {
    TempDir dir;
    for (std::size_t length : {251u, 252u}) {
        const std::string path = dir.File(std::string(length - dir.Path().size() - 1, 'n'));
        ASSERT_EQ(path.size(), length);
        WriteFile(path, "a\nb\n");
        CTxtFile file(path.c_str(), "r+b");
        EXPECT_EQ(file.InsertTextLine(0, "x", true), length == 251);
        EXPECT_EQ(file.RemoveTextLine(1), length == 251);
        file.Close();
        EXPECT_EQ(ReadFile(path), length == 251 ? "a\r\nb\r\n" : "a\nb\n");
    }
}

TEST(TxtFileEdit, GetTempleFileNameWritesOnlyWhatFits) {
    struct Case {
        const char* suffix;
        int size;
        bool found;
        const char* out;
    } cases[] = {
        {nullptr, 4, true, "abc"},  {"~tmp", 8, true, "abc~tmp"}, {"~tmp", 7, false, "abc"},
        {nullptr, 3, false, "###"}, {"~tmp", 0, false, "###"},    {"~tmp", -1, false, "###"},
    };
    CTxtFile file;
    char out[16] = "###";
    EXPECT_EQ(file.GetTempleFileName(nullptr, out, sizeof out), nullptr);
    TempDir dir;
    WriteFile(dir.File("abc"), "");
    char here[4096];
    ASSERT_NE(::getcwd(here, sizeof here), nullptr);
    ASSERT_EQ(::chdir(dir.Path().c_str()), 0);
    EXPECT_TRUE(file.Open("abc", "rb"));
    EXPECT_EQ(::chdir(here), 0);
    for (const Case& c : cases) {
        std::strcpy(out, "###");
        EXPECT_EQ(file.GetTempleFileName(c.suffix, out, c.size), c.found ? out : nullptr);
        EXPECT_STREQ(out, c.out) << c.size;
    }
}

#if !defined(_WIN32)  // POSIX permission bits and symbolic links
TEST(TxtFileEdit, TheCopyTakesTheFilesModeAndReplacesWhateverHoldsItsName) {
    enum Leftover { kNothing, kRegularFile, kSymbolicLink, kHardLink };
    for (Leftover leftover : {kNothing, kRegularFile, kSymbolicLink, kHardLink}) {
        TempDir dir;
        const std::string path = dir.File("f"), temp = path + "~tmp", victim = dir.File("v");
        WriteFile(path, "a\nb\n");
        WriteFile(victim, "keep");
        ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
        if (leftover == kRegularFile) {
            WriteFile(temp, "an older and longer copy");
        } else if (leftover == kSymbolicLink) {
            ASSERT_EQ(::symlink(victim.c_str(), temp.c_str()), 0);
        } else if (leftover == kHardLink) {
            ASSERT_EQ(::link(victim.c_str(), temp.c_str()), 0);
        }
        mode_t saved = ::umask(0);
        CTxtFile file(path.c_str(), "r+b");
        EXPECT_TRUE(file.RemoveTextLine(0));
        ::umask(saved);
        struct stat info;
        ASSERT_EQ(::lstat(temp.c_str(), &info), 0);
        EXPECT_TRUE(S_ISREG(info.st_mode)) << leftover;
        EXPECT_EQ(info.st_mode & 0777, 0640u) << leftover;
        EXPECT_EQ(ReadFile(temp), "b\r\n");
        EXPECT_EQ(ReadFile(victim), "keep");
    }
}
#endif

#if !defined(_WIN32)  // no fork() nor file size limit
TEST(TxtFileEdit, AnEditThatHitsTheFileSizeLimitFailsAndLeavesTheFile) {
    std::string big;
    for (int i = 0; i < 3000; ++i) {
        big += "line\n";
    }
    for (const std::string& original : {std::string("ab\nab\nab\nab\nab\nab\n"), big}) {
        for (bool insert : {true, false}) {
            TempDir dir;
            const std::string path = dir.File("f");
            WriteFile(path, original);
            pid_t child = ::fork();
            ASSERT_GE(child, 0);
            if (child == 0) {
                std::signal(SIGXFSZ, SIG_IGN);
                rlimit limit{static_cast<rlim_t>(original.size()),
                             static_cast<rlim_t>(original.size())};
                CTxtFile file(path.c_str(), "r+b");
                bool ok = ::setrlimit(RLIMIT_FSIZE, &limit) == 0 &&
                          (insert ? file.InsertTextLine(0, "x", true) : file.RemoveTextLine(0));
                ::_exit(ok ? 1 : 0);
            }
            int status = 0;
            ASSERT_EQ(::waitpid(child, &status, 0), child);
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the edit failed";
            EXPECT_EQ(ReadFile(path), original);
        }
    }
}
#endif

}  // namespace
