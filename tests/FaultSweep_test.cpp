// Every call to the runtime that the library makes on the way of an operation is made to
// fail in turn through the I/O seam: the operation reports the failure, keeps the file it
// would replace, leaves nothing behind beside it, and the object stays usable.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <functional>
#include <string>

#include "FaultPlan.h"
#include "IniFile.h"
#include "TestUtil.h"
#include "TxtFile.h"

namespace {

using qelcfg::detail::kSysAllCalls;
using qelcfg::detail::kSysClose;
using qelcfg::detail::SysCallCount;
using qelcfg::detail::SysFailAt;
using qeltest::ListDir;
using qeltest::ReadFile;
using qeltest::TempDir;
using qeltest::WriteFile;

const std::string kOld = "[A]\r\nx=1\r\n\r\n";
const std::string kNew = "[A]\r\nx=1\r\ny=2\r\n\r\n";

// A tree that saves as kNew.
void MakeNewTree(CIniFile& ini) {
    CIniSection* a = ini.GetCfg().AddSection("A");
    a->AddKV("x", "1", false);
    a->AddKV("y", "2", false);
}

// Makes the n-th call of every kind fail from here on.
void FailCall(long n) {
    SysFailAt(kSysAllCalls, n);
}

// Turns failures off and returns how many calls were made since FailCall.
long StopFailing() {
    long calls = SysCallCount(kSysAllCalls);
    SysFailAt(0, 0);
    return calls;
}

// Runs `attempt(n)` for n = 1, 2, ... until the operation that it brackets with FailCall
// and StopFailing makes fewer than n calls; returns how many calls it makes.
long ForEachFailingCall(const std::function<long(long n)>& attempt) {
    for (long n = 1;; ++n) {
        long calls = attempt(n);
        if (calls < n) {
            return calls;
        }
    }
}

class FaultSweep : public ::testing::Test {
protected:
    void TearDown() override { SysFailAt(0, 0); }
};

TEST_F(FaultSweep, ASaveToANewFileLeavesTheCompleteFileOrNone) {
    long calls = ForEachFailingCall([](long n) {
        TempDir dir;
        CIniFile ini;
        MakeNewTree(ini);
        ini.SetChangeFlag(true);
        FailCall(n);
        bool saved = ini.Save(dir.File("new.ini").c_str());
        long made = StopFailing();
        if (saved) {
            EXPECT_EQ(ReadFile(dir.File("new.ini")), kNew) << "failing call " << n;
            EXPECT_FALSE(ini.IsFileChanged());
        } else {
            EXPECT_EQ(ListDir(dir.Path()), "") << "failing call " << n;
            EXPECT_TRUE(ini.IsFileChanged()) << "failing call " << n;
        }
        EXPECT_TRUE(ini.Save(dir.File("new.ini").c_str())) << "the object stays usable";
        return made;
    });
    EXPECT_GT(calls, 5);
}

#if !defined(_WIN32)  // symbolic links need a privilege
TEST_F(FaultSweep, ASaveThroughASymbolicLinkReplacesOnlyTheFileItPointsTo) {
    long calls = ForEachFailingCall([](long n) {
        TempDir dir;
        WriteFile(dir.File("real.ini"), kOld);
        EXPECT_EQ(::symlink("real.ini", dir.File("link.ini").c_str()), 0);
        CIniFile ini;
        MakeNewTree(ini);
        FailCall(n);
        bool saved = ini.Save(dir.File("link.ini").c_str());
        long made = StopFailing();
        EXPECT_EQ(ReadFile(dir.File("real.ini")), saved ? kNew : kOld) << "failing call " << n;
        struct stat st;
        EXPECT_TRUE(::lstat(dir.File("link.ini").c_str(), &st) == 0 && S_ISLNK(st.st_mode))
            << "failing call " << n;
        EXPECT_EQ(ListDir(dir.Path()), "link.ini\nreal.ini\n") << "failing call " << n;
        return made;
    });
    EXPECT_GT(calls, 5);
}
#endif

#if !defined(_WIN32)  // hard links by link() and their count by stat()
// A file with a second hard link is written in place, so that both names keep showing
// one file. A failure before the first byte changes keeps the old text and leaves nothing
// beside it; a later one is reported and leaves the complete new text in "a.ini~new".
TEST_F(FaultSweep, ASaveToAHardLinkedFileKeepsBothNamesOnOneFile) {
    long calls = ForEachFailingCall([](long n) {
        TempDir dir;
        WriteFile(dir.File("a.ini"), kOld);
        EXPECT_EQ(::link(dir.File("a.ini").c_str(), dir.File("b.ini").c_str()), 0);
        CIniFile ini;
        MakeNewTree(ini);
        FailCall(n);
        bool saved = ini.Save(dir.File("a.ini").c_str());
        long made = StopFailing();
        struct stat st;
        EXPECT_TRUE(::stat(dir.File("b.ini").c_str(), &st) == 0 && st.st_nlink == 2)
            << "failing call " << n;
        const std::string left = ListDir(dir.Path());
        if (saved || left == "a.ini\nb.ini\n") {
            EXPECT_EQ(left, "a.ini\nb.ini\n") << "failing call " << n;
            EXPECT_EQ(ReadFile(dir.File("b.ini")), saved ? kNew : kOld) << "failing call " << n;
        } else {
            EXPECT_EQ(left, "a.ini\na.ini~new\nb.ini\n") << "failing call " << n;
            EXPECT_EQ(ReadFile(dir.File("a.ini~new")), kNew) << "failing call " << n;
        }
        return made;
    });
    EXPECT_GT(calls, 8);
}
#endif

TEST_F(FaultSweep, EveryFailedCallOfAddSectionKeepsTheOldFile) {
    const std::string added = kOld + "[B]\r\n\r\n";
    long calls = ForEachFailingCall([&added](long n) {
        TempDir dir;
        const std::string path = dir.File("a.ini");
        WriteFile(path, kOld);
        CIniFile ini;
        EXPECT_TRUE(ini.Attach(path.c_str()));
        FailCall(n);
        bool saved = ini.AddSection("B");
        long made = StopFailing();
        EXPECT_EQ(ReadFile(path), saved ? added : kOld) << "failing call " << n;
        EXPECT_EQ(ListDir(dir.Path()), "a.ini\n") << "failing call " << n;
        EXPECT_EQ(ini.IsFileChanged(), !saved) << "failing call " << n;
        EXPECT_TRUE(ini.Save(static_cast<const char*>(nullptr)));
        EXPECT_EQ(ReadFile(path), added) << "a later save writes the change";
        return made;
    });
    EXPECT_GT(calls, 5);
}

TEST_F(FaultSweep, ASaveToAStreamClosesItOnceWhateverFails) {
    long calls = ForEachFailingCall([](long n) {
        TempDir dir;
        FILE* out = std::fopen(dir.File("out.ini").c_str(), "w+b");
        CIniFile ini;
        MakeNewTree(ini);
        FailCall(n);
        bool saved = ini.Save(static_cast<void*>(out));
        long closes = SysCallCount(kSysClose);
        long made = StopFailing();
        EXPECT_EQ(closes, 1) << "failing call " << n;
        if (saved) {
            EXPECT_EQ(ReadFile(dir.File("out.ini")), kNew) << "failing call " << n;
        }
        return made;
    });
    EXPECT_GE(calls, 5) << "rewind, write, flush, cut and close";
}

TEST_F(FaultSweep, AFailedAttachOrLookupLeavesTheObjectUsable) {
    const std::string file = "[A]\nx=1\n[B]\n" + std::string(700, 'k') + "=v\ny=2\n[C]\n";
    TempDir dir;
    const std::string path = dir.File("a.ini");
    WriteFile(path, file);
    char value[513];
    long attachCalls = ForEachFailingCall([&path, &value](long n) {
        CIniFile ini;
        FailCall(n);
        bool attached = ini.Attach(path.c_str());
        long made = StopFailing();
        EXPECT_EQ(attached && ini.GetValue("B", "y", value), attached) << "failing call " << n;
        EXPECT_TRUE(ini.Attach(path.c_str()) && ini.GetValue("B", "y", value))
            << "failing call " << n;
        return made;
    });
    EXPECT_GT(attachCalls, 5);
    long lookupCalls = ForEachFailingCall([&path](long n) {
        CIniFile ini;
        EXPECT_TRUE(ini.Open(path.c_str(), "rb"));
        FailCall(n);
        CIniSection* found = ini.FindSection("B");
        long made = StopFailing();
        EXPECT_TRUE(found == nullptr || found->size() == 2u) << "failing call " << n;
        found = ini.FindSection("B");
        EXPECT_TRUE(found != nullptr && found->size() == 2u) << "failing call " << n;
        return made;
    });
    EXPECT_GT(lookupCalls, 3);
}

// Lines longer than the first line buffer make both passes of an edit grow their buffers,
// and a CR inside a line makes them drop its rest: failures there must cost no text either.
TEST_F(FaultSweep, EveryFailingCallOfAnEditOfLongLinesLeavesTheTextRecoverable) {
    const std::string longLine(1500, 'L');
    const std::string original = "a\r" + longLine + "\n" + longLine + "\nb";
    struct Edit {
        const char* name;
        std::function<bool(_CFG::CTxtFile&)> run;
        std::string edited;
    } edits[] = {
        {"remove", [](_CFG::CTxtFile& f) { return f.RemoveTextLine(0); }, longLine + "\r\nb\r\n"},
        {"insert", [](_CFG::CTxtFile& f) { return f.InsertTextLine(1, "x", true); },
         "a\r\n" + longLine + "\r\nx\r\nb\r\n"},
    };
    for (const Edit& edit : edits) {
        long calls = ForEachFailingCall([&edit, &original](long n) {
            TempDir dir;
            const std::string path = dir.File("f");
            WriteFile(path, original);
            bool edited = false;
            long made = 0;
            {
                _CFG::CTxtFile file(path.c_str(), "r+b");
                FailCall(n);
                edited = edit.run(file);
                made = StopFailing();
            }
            const std::string text = ReadFile(path);
            if (edited) {
                EXPECT_EQ(text, edit.edited) << edit.name << ", failing call " << n;
            } else {
                EXPECT_TRUE(text == original || ReadFile(path + "~tmp") == edit.edited)
                    << edit.name << ", failing call " << n;
            }
            return made;
        });
        EXPECT_GT(calls, 10) << edit.name;
    }
}

#if !defined(_WIN32)  // symbolic and hard links by symlink() and link()
// An edit writes back only to the file it read: an entry swapped meanwhile, for a link to
// another file or for another file, makes it fail and touch neither, keeping the edited
// text in "~tmp".
TEST_F(FaultSweep, AnEditWritesBackOnlyToTheFileItRead) {
    struct Case {
        const char* what;
        bool link;
        std::function<bool(_CFG::CTxtFile&)> run;
        const char* edited;
    } cases[] = {
        {"remove, link swapped in", true, [](_CFG::CTxtFile& f) { return f.RemoveTextLine(0); },
         "b\r\n"},
        {"insert, link swapped in", true,
         [](_CFG::CTxtFile& f) { return f.InsertTextLine(0, "x", true); }, "a\r\nx\r\nb\r\n"},
        {"remove, file swapped in", false, [](_CFG::CTxtFile& f) { return f.RemoveTextLine(0); },
         "b\r\n"},
    };
    for (const Case& c : cases) {
        TempDir dir;
        const std::string path = dir.File("f"), victim = dir.File("v");
        WriteFile(path, "a\nb\n");
        WriteFile(victim, "secret\n");
        _CFG::CTxtFile file(path.c_str(), "r+b");
        // The copy is forced to the disk once complete, before the write-back.
        qelcfg::detail::SysRunAt(qelcfg::detail::kSysSync, 1, [&]() {
            EXPECT_EQ(::rename(path.c_str(), dir.File("moved").c_str()), 0);
            EXPECT_EQ(c.link ? ::symlink(victim.c_str(), path.c_str())
                             : ::link(victim.c_str(), path.c_str()),
                      0);
        });
        EXPECT_FALSE(c.run(file)) << c.what;
        StopFailing();
        EXPECT_EQ(ReadFile(victim), "secret\n") << c.what;
        EXPECT_EQ(ReadFile(dir.File("moved")), "a\nb\n") << c.what;
        EXPECT_EQ(ReadFile(path + "~tmp"), c.edited) << c.what;
    }
}
#endif

}  // namespace
