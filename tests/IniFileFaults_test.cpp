#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "FaultPlan.h"
#include "IniFile.h"
#include "TestUtil.h"

namespace {

using qelcfg::detail::SysCallCount;
using qelcfg::detail::SysFailAt;
using qeltest::ListDir;
using qeltest::ReadFile;
using qeltest::TempDir;
using qeltest::WriteFile;

const unsigned kWriteCalls = qelcfg::detail::kSysOpen | qelcfg::detail::kSysClose |
                             qelcfg::detail::kSysWrite | qelcfg::detail::kSysFlush |
                             qelcfg::detail::kSysSeek | qelcfg::detail::kSysSync |
                             qelcfg::detail::kSysRename | qelcfg::detail::kSysTruncate;

// Fails each stream and file-system call of `save` in turn. Every failure must leave
// the old text whole and no temporary behind; only the flush of the directory after the
// rename may fail once the new file is complete in place.
template <typename Save>
void FailEachCallOf(const char* what, Save save) {
    const std::string old = "[A]\r\nx=1\r\n\r\n";
    const std::string changed = "[A]\r\nx=1\r\ny=2\r\n\r\n";
    long n = 1;
    for (;; ++n) {
        TempDir dir;
        const std::string path = dir.File("a.ini");
        WriteFile(path, old);
        CIniFile ini;
        ASSERT_TRUE(ini.Attach(path.c_str()));
        ini.GetCfg().FindSection("A")->AddKV("y", "2", false);
        ini.SetChangeFlag(true);
        SysFailAt(kWriteCalls, n);
        bool saved = save(ini, path);
        long calls = SysCallCount(kWriteCalls);
        SysFailAt(0, 0);
        if (calls < n) {
            EXPECT_TRUE(saved) << what << ": no call failed";
            EXPECT_EQ(ReadFile(path), changed) << what;
            break;
        }
        EXPECT_EQ(ListDir(dir.Path()), "a.ini\n") << what << ", failing call " << n;
        if (saved) {
            EXPECT_EQ(ReadFile(path), changed) << what << ", failing call " << n;
        } else {
            EXPECT_EQ(ReadFile(path), old) << what << ", failing call " << n;
            EXPECT_TRUE(ini.IsFileChanged()) << what << ", failing call " << n;
        }
    }
    EXPECT_GT(n, 5) << what << " passes through several failure points";
}

TEST(IniFileFaults, EveryFailedCallOfASaveKeepsTheOldFile) {
    FailEachCallOf("Save(path)",
                   [](CIniFile& ini, const std::string& path) { return ini.Save(path.c_str()); });
    FailEachCallOf("Save(null)", [](CIniFile& ini, const std::string&) {
        return ini.Save(static_cast<const char*>(nullptr));
    });
    FailEachCallOf("AddValue", [](CIniFile& ini, const std::string&) {
        ini.GetCfg().FindSection("A")->RemoveKV("y");
        return ini.AddValue("A", "y", "2", false);
    });
}

TEST(IniFileFaults, AWriteThatFailsOnlyWhenTheStreamClosesIsAFailedSave) {
    TempDir dir;
    const std::string path = dir.File("a.ini");
    WriteFile(path, "[A]\r\n\r\n");
    CIniFile ini;
    ini.GetCfg().AddSection("B");
    SysFailAt(qelcfg::detail::kSysClose, 1);
    EXPECT_FALSE(ini.Save(path.c_str()));
    SysFailAt(0, 0);
    EXPECT_EQ(ReadFile(path), "[A]\r\n\r\n");
    EXPECT_EQ(ListDir(dir.Path()), "a.ini\n");
}

TEST(IniFileFaults, AFailedLineBufferMakesLoadFail) {
    TempDir dir;
    const std::string path = dir.File("a.ini");
    WriteFile(path, "[A]\nx=1\n");
    CIniFile ini;
    ASSERT_TRUE(ini.Open(path.c_str(), "rb"));
    SysFailAt(qelcfg::detail::kSysAlloc, 1);
    EXPECT_FALSE(ini.Load());
    SysFailAt(0, 0);
    EXPECT_TRUE(ini.Load()) << "the object stays usable";
    char value[513];
    EXPECT_TRUE(ini.GetValue("A", "x", value));
}

// An Attach that fails (here a momentary failure to open, as with EMFILE) binds no name, so
// the adding operations that follow cannot save a tree that was never read over the file.
TEST(IniFileFaults, AFailedAttachBindsNoNameAndTheAddsThatFollowTouchNothing) {
    TempDir dir;
    const std::string path = dir.File("a.ini");
    const std::string text = "[A]\nx=1\n[B]\ny=2\n";
    WriteFile(path, text);
    CIniFile ini;
    SysFailAt(qelcfg::detail::kSysOpen, 1);
    EXPECT_FALSE(ini.Attach(path.c_str()));
    SysFailAt(0, 0);
    EXPECT_FALSE(ini.AddSection("C"));
    EXPECT_FALSE(ini.AddValue("C", "k", "v", true));
    EXPECT_FALSE(ini.Save(static_cast<const char*>(nullptr)));
    EXPECT_EQ(ReadFile(path), text);
    EXPECT_EQ(ListDir(dir.Path()), "a.ini\n");
    char name[16];
    EXPECT_EQ(ini.GetTempleFileName(nullptr, name, sizeof name), nullptr);
}

}  // namespace
