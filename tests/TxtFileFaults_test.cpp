// Failures of the runtime made through the I/O seam: every failing call must reach the
// caller, and no failure may cost the text of the file.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "FaultPlan.h"
#include "TestUtil.h"
#include "TxtFile.h"

namespace {

using _CFG::CTxtFile;
using qelcfg::detail::kSysAllCalls;
using qelcfg::detail::kSysAlloc;
using qelcfg::detail::kSysClose;
using qelcfg::detail::kSysOpen;
using qelcfg::detail::kSysRead;
using qelcfg::detail::kSysWrite;
using qelcfg::detail::SysCallCount;
using qelcfg::detail::SysFailAt;
using qeltest::ReadFile;
using qeltest::TempDir;
using qeltest::WriteFile;

class Probe : public CTxtFile {
public:
    using CTxtFile::CTxtFile;
    using CTxtFile::GetFileName;
    using CTxtFile::GetStream;
    using CTxtFile::ReadFailed;
    using CTxtFile::ReadLine;
};

// Turns the fault hook off however a test ends.
class FaultTest : public ::testing::Test {
protected:
    void TearDown() override { SysFailAt(0, 0); }
};

TEST_F(FaultTest, EveryFailingCallOfAnEditLeavesTheTextRecoverable) {
    const std::string original = "a\nbb\r\nccc\n";
    struct Edit {
        const char* name;
        std::function<bool(CTxtFile&)> run;
        std::string edited;
    } edits[] = {
        {"remove", [](CTxtFile& f) { return f.RemoveTextLine(1); }, "a\r\nccc\r\n"},
        {"insert", [](CTxtFile& f) { return f.InsertTextLine(0, "x", true); },
         "a\r\nx\r\nbb\r\nccc\r\n"},
    };
    for (const Edit& edit : edits) {
        for (long n = 1;; ++n) {
            TempDir dir;
            const std::string path = dir.File("f");
            WriteFile(path, original);
            WriteFile(path + "~tmp", "left over");
            bool ok = false;
            long calls = 0;
            {
                CTxtFile file(path.c_str(), "r+b");
                SysFailAt(kSysAllCalls, n);
                ok = edit.run(file);
                calls = SysCallCount(kSysAllCalls);
                SysFailAt(0, 0);
            }
            const std::string text = ReadFile(path), copy = ReadFile(path + "~tmp");
            if (calls < n) {
                EXPECT_TRUE(ok) << edit.name;
                EXPECT_EQ(text, edit.edited);
                EXPECT_GT(n, 10) << "the edit makes more calls than that";
                break;
            }
            if (ok) {
                // Only calls after the edited file is in place (the flush of its directory,
                // the closes of the old stream and of the copy) may fail without harm.
                EXPECT_EQ(text, edit.edited) << edit.name << ", failing call " << n;
            } else {
                EXPECT_TRUE(text == original || copy == edit.edited)
                    << edit.name << ", failing call " << n << ": " << text << " / " << copy;
            }
        }
    }
}

TEST_F(FaultTest, ReadFailedTellsAFailedReadFromTheEndOfTheFile) {
    const std::string longLine(600, 'x');
    struct Case {
        unsigned kinds;
        long n;
        std::string bytes;
        int lines;
        bool failed;
    } cases[] = {
        {0, 0, "a\nb\n", 2, false},
        {0, 0, "a\nb", 2, false},
        {kSysRead, 2, "a\nb\n", 1, true},
        {kSysAlloc, 1, "a\n", 0, true},
        {kSysAlloc, 2, longLine + "\n", 0, true},
        {kSysRead, 2, longLine + "\n", 0, true},
        {kSysRead, 2, "ab\r" + longLine + "\nc\n", 0, true},
    };
    TempDir dir;
    for (const Case& c : cases) {
        WriteFile(dir.File("f"), c.bytes);
        Probe file(dir.File("f").c_str(), "rb");
        SysFailAt(c.kinds, c.n);
        int lines = 0;
        while (file.ReadLine()) {
            ++lines;
        }
        EXPECT_EQ(lines, c.lines) << c.kinds << " at " << c.n;
        EXPECT_EQ(file.ReadFailed(), c.failed) << c.kinds << " at " << c.n;
        SysFailAt(0, 0);
    }
}

TEST_F(FaultTest, SeekToLineTakesNoFailedReadForTheEndOfTheFile) {
    TempDir dir;
    WriteFile(dir.File("f"), "a\nb\nc\n");
    CTxtFile file(dir.File("f").c_str(), "rb");
    char line[8];
    SysFailAt(kSysRead, 2);
    EXPECT_EQ(file.SeekToLine("zz", line), -1);
}

TEST_F(FaultTest, TheLineBufferGrowsIn512ByteStepsThenDoubles) {
    const std::string a(1 << 20, 'a');
    struct Case {
        std::string first, second;
        long firstAllocations, secondAllocations;
    } cases[] = {
        {a.substr(0, 1000) + "\r\n", a.substr(0, 1022) + "\n", 2, 0},
        {a.substr(0, 1000) + "\r\n", a.substr(0, 1023) + "\n", 2, 1},
        {a.substr(0, 511) + "\n", a.substr(0, 1022) + "\n", 2, 0},
        {a.substr(0, 510) + "\n", a.substr(0, 511) + "\n", 1, 1},
        {a.substr(0, 510) + "\r\n", a.substr(0, 510) + "\n", 1, 0},
    };
    TempDir dir;
    for (const Case& c : cases) {
        WriteFile(dir.File("f"), c.first + c.second);
        Probe file(dir.File("f").c_str(), "rb");
        SysFailAt(kSysAlloc, 0);
        ASSERT_TRUE(file.ReadLine());
        EXPECT_EQ(SysCallCount(kSysAlloc), c.firstAllocations) << c.first.size();
        SysFailAt(kSysAlloc, 0);
        ASSERT_TRUE(file.ReadLine());
        EXPECT_EQ(SysCallCount(kSysAlloc), c.secondAllocations) << c.second.size();
    }
    // A megabyte in 512-byte steps would take 2049 allocations, each copying the line.
    WriteFile(dir.File("f"), a + "\n");
    CTxtFile file(dir.File("f").c_str(), "rb");
    SysFailAt(kSysAlloc, 0);
    const char* line = file.ReadTextLine(0);
    ASSERT_NE(line, nullptr);
    EXPECT_TRUE(line == a);
    EXPECT_LT(SysCallCount(kSysAlloc), 100);
}

TEST_F(FaultTest, WriteTextReportsAFailedTextOrLineEnd) {
    struct Case {
        const char* text;
        long failAt;
        bool ok;
    } cases[] = {{"abc", 1, false}, {"abc", 2, false}, {"abc", 3, true}, {"", 1, false}};
    TempDir dir;
    for (const Case& c : cases) {
        CTxtFile file(dir.File("f").c_str(), "w+b");
        SysFailAt(kSysWrite, c.failAt);
        EXPECT_EQ(file.WriteText(c.text, true), c.ok) << '"' << c.text << "\" " << c.failAt;
    }
}

// An edit closes the "~tmp" copy, the new file as written, the replaced stream and the new
// one; on Windows the new stream writes the file in place, and there is no new file.
#if defined(_WIN32)
constexpr long kEditCloses = 3;
#else
constexpr long kEditCloses = 4;
#endif

TEST_F(FaultTest, EachStreamIsClosedOnceByItsLastHolder) {
    struct Case {
        const char* name;
        std::function<void(const char* path)> run;
        long closes;
    } cases[] = {
        {"copy, then close the source",
         [](const char* p) {
             Probe source(p, "rb");
             Probe copy(source);
             source.Close();
             EXPECT_EQ(SysCallCount(kSysClose), 0);
         },
         1},
        {"assign over a held stream",
         [](const char* p) {
             CTxtFile target(p, "rb"), source(p, "rb");
             target = source;
             EXPECT_EQ(SysCallCount(kSysClose), 1);
             CTxtFile& same = target;
             target = same;
         },
         2},
        {"move construct and assign",
         [](const char* p) {
             CTxtFile first(p, "rb"), second(p, "rb");
             CTxtFile moved(std::move(first));
             second = std::move(moved);
             EXPECT_EQ(SysCallCount(kSysClose), 1);
         },
         2},
        {"hand over the stream already held",
         [](const char* p) {
             Probe file(p, "rb");
             EXPECT_TRUE(file.Set(file.GetStream()));
         },
         1},
        {"remove a line while a copy holds the stream",
         [](const char* p) {
             Probe file(p, "r+b");
             Probe copy(file);
             EXPECT_TRUE(file.RemoveTextLine(0));
             EXPECT_STREQ(copy.ReadTextLine(0), "b");
         },
         kEditCloses},
    };
    TempDir dir;
    for (const Case& c : cases) {
        WriteFile(dir.File("f"), "a\nb\n");
        SysFailAt(kSysClose, 0);
        c.run(dir.File("f").c_str());
        EXPECT_EQ(SysCallCount(kSysClose), c.closes) << c.name;
    }
}

TEST_F(FaultTest, OpenFailsCleanlyWhenItsAllocationsFail) {
    TempDir dir;
    WriteFile(dir.File("f"), "a\n");
    for (long n : {1, 2}) {
        Probe file;
        SysFailAt(kSysAlloc, n);
        EXPECT_FALSE(file.Open(dir.File("f").c_str(), "rb"));
        EXPECT_EQ(file.GetStream(), nullptr);
        EXPECT_EQ(SysCallCount(kSysOpen), n - 1) << "opened only with a name";
        EXPECT_EQ(SysCallCount(kSysClose), n - 1) << "closed what it could not keep";
    }
}

}  // namespace
