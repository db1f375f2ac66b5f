#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#if !defined(_WIN32)
#include <grp.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/wait.h>
#endif

#include <csignal>
#include <functional>
#include <string>
#include <vector>

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

#if !defined(_WIN32)  // owners, groups, fork(), flock(), links, descriptor paths, long names
// The second user of the tests that need two; the tests that give files away run as root.
const uid_t kNobody = 65534;
const gid_t kNoGroup = 65534;

bool IsRoot() {
    return ::geteuid() == 0;
}

// Runs `body` in a child process, as `uid` with the groups `gid` and `groups` when `uid` is
// not root's, under a file size limit when `sizeLimit` >= 0 (SIGXFSZ ignored, so that
// writes past it fail as on a full disk). True when `body` returned true.
bool InChild(const std::function<bool()>& body, uid_t uid = 0, gid_t gid = 0,
             std::vector<gid_t> groups = {}, long sizeLimit = -1) {
    pid_t pid = ::fork();
    if (pid == 0) {
        bool ready = true;
        if (uid != 0) {
            ready = ::setgroups(groups.size(), groups.data()) == 0 && ::setgid(gid) == 0 &&
                    ::setuid(uid) == 0;
        }
        if (sizeLimit >= 0) {
            struct rlimit limit = {static_cast<rlim_t>(sizeLimit), static_cast<rlim_t>(sizeLimit)};
            std::signal(SIGXFSZ, SIG_IGN);
            ready = ready && ::setrlimit(RLIMIT_FSIZE, &limit) == 0;
        }
        ::_exit(ready && body() ? 0 : 1);
    }
    int status = -1;
    return pid > 0 && ::waitpid(pid, &status, 0) == pid && WIFEXITED(status) &&
           WEXITSTATUS(status) == 0;
}

struct stat StatOf(const std::string& path) {
    struct stat st = {};
    EXPECT_EQ(::lstat(path.c_str(), &st), 0) << path;
    return st;
}

CIniFile& NewTree(CIniFile& ini, std::size_t bulk = 0) {
    ini.GetCfg().AddSection("A")->AddKV("x", "1", false);
    if (bulk > 0) {
        ini.GetCfg().FindSection("A")->AddKV("bulk", std::string(bulk, 'b').c_str(), false);
    }
    return ini;
}
const std::string kNewText = "[A]\r\nx=1\r\n\r\n";

// An entry swapped for a link to another file between the steps of a save is replaced as
// an entry, never followed: the file it points to keeps its bytes.
TEST(IniFileSafety, AnEntrySwappedForALinkDuringASaveIsNeverFollowed) {
    struct Case {
        unsigned kinds;
        long at;
        const char* step;
    } cases[] = {
        {qelcfg::detail::kSysWrite, 1, "while the new text is written"},
        {qelcfg::detail::kSysSync, 1, "before the new file is linked in"},
        {qelcfg::detail::kSysRename, 1, "right before the rename"},
    };
    for (const Case& c : cases) {
        TempDir dir;
        const std::string path = dir.File("a.ini"), victim = dir.File("victim");
        WriteFile(path, "[old]\r\n");
        WriteFile(victim, "secret\n");
        CIniFile ini;
        NewTree(ini);
        qelcfg::detail::SysRunAt(c.kinds, c.at, [&path, &victim]() {
            EXPECT_EQ(::unlink(path.c_str()), 0);
            EXPECT_EQ(::symlink(victim.c_str(), path.c_str()), 0);
        });
        bool saved = ini.Save(path.c_str());
        SysFailAt(0, 0);
        EXPECT_EQ(ReadFile(victim), "secret\n") << c.step;
        EXPECT_EQ(ListDir(dir.Path()), "a.ini\nvictim\n") << c.step;
        if (saved) {
            EXPECT_TRUE(S_ISREG(StatOf(path).st_mode)) << c.step;
            EXPECT_EQ(ReadFile(path), kNewText) << c.step;
        }
    }
}

// Owner first, then the mode, so that the set-ID bits survive; without the right to give
// the file away, the group is still kept where the writer belongs to it.
TEST(IniFileSafety, ASaveKeepsOwnerGroupAndSetIdBits) {
    if (!IsRoot()) {
        GTEST_SKIP() << "giving files away needs root";
    }
    const gid_t shared = 4242;
    struct Case {
        const char* what;
        uid_t owner;
        gid_t group;
        unsigned mode;
        uid_t writer;  // 0: root, in this process
        uid_t expectOwner;
    } cases[] = {
        {"root keeps another user's owner, group and set-ID bits", kNobody, kNoGroup, 06755, 0,
         kNobody},
        {"root keeps a private mode", kNobody, shared, 0600, 0, kNobody},
        {"a group member keeps the group", 0, shared, 0664, kNobody, kNobody},
    };
    for (const Case& c : cases) {
        TempDir dir;
        ASSERT_EQ(::chmod(dir.Path().c_str(), 0777), 0);
        const std::string path = dir.File("a.ini");
        WriteFile(path, "[old]\r\n");
        ASSERT_EQ(::chown(path.c_str(), c.owner, c.group), 0);
        ASSERT_EQ(::chmod(path.c_str(), c.mode), 0);
        auto save = [&path]() {
            CIniFile ini;
            return NewTree(ini).Save(path.c_str());
        };
        EXPECT_TRUE(c.writer == 0 ? save() : InChild(save, c.writer, kNoGroup, {shared})) << c.what;
        const struct stat st = StatOf(path);
        EXPECT_EQ(ReadFile(path), kNewText) << c.what;
        EXPECT_EQ(st.st_uid, c.expectOwner) << c.what;
        EXPECT_EQ(st.st_gid, c.group) << c.what;
        EXPECT_EQ(st.st_mode & 07777u, c.mode) << c.what;
        EXPECT_EQ(ListDir(dir.Path()), "a.ini\n") << c.what;
    }
}

// The new file has a short name of its own, so that the longest name a directory takes
// still saves.
TEST(IniFileSafety, AFileWhoseNameIsNearTheLimitSaves) {
    TempDir dir;
    const std::string path = dir.File(std::string(250, 'n') + ".ini");
    WriteFile(path, "[old]\r\n");
    CIniFile ini;
    EXPECT_TRUE(NewTree(ini).Save(path.c_str()));
    EXPECT_EQ(ReadFile(path), kNewText);
    EXPECT_EQ(ListDir(dir.Path()), std::string(250, 'n') + ".ini\n");
}

// A path that stands for a descriptor is written at the descriptor's position: the file
// behind it (a log appended to by a shell) keeps its inode and its earlier text.
TEST(IniFileSafety, APathThatStandsForADescriptorIsWrittenThroughIt) {
    for (const std::string name : {"/dev/stdout", "/dev/fd/1", "/proc/self/fd/1"}) {
        TempDir dir;
        const std::string log = dir.File("log.txt");
        WriteFile(log, "earlier\n");
        const ino_t inode = StatOf(log).st_ino;
        EXPECT_TRUE(InChild([&log, &name]() {
            int fd = ::open(log.c_str(), O_WRONLY | O_APPEND);
            if (fd < 0 || ::dup2(fd, 1) != 1) {
                return false;
            }
            CIniFile ini;
            return NewTree(ini).Save(name.c_str());
        })) << name;
        EXPECT_EQ(ReadFile(log), "earlier\n" + kNewText) << name;
        EXPECT_EQ(StatOf(log).st_ino, inode) << name;
        EXPECT_EQ(ListDir(dir.Path()), "log.txt\n") << name;
    }
}

// A file written in place (a second hard link, or a directory that takes no new file)
// gets its room first: a size limit or a full disk fails the save before any byte changes.
TEST(IniFileSafety, AnInPlaceSaveThatCannotGrowLeavesTheFileAsItWas) {
    TempDir dir;
    const std::string path = dir.File("a.ini"), twin = dir.File("b.ini");
    const std::string old = "[old]\r\nk=" + std::string(170000, 'o') + "\r\n\r\n";
    WriteFile(path, old);
    ASSERT_EQ(::link(path.c_str(), twin.c_str()), 0);
    EXPECT_FALSE(InChild(
        [&path]() {
            CIniFile ini;
            return NewTree(ini, 200000).Save(path.c_str());
        },
        0, 0, {}, 180000));
    EXPECT_EQ(ReadFile(twin), old);
    EXPECT_EQ(ListDir(dir.Path()), "a.ini\nb.ini\n");
    SysFailAt(qelcfg::detail::kSysTruncate, 1);
    CIniFile ini;
    EXPECT_FALSE(NewTree(ini).Save(path.c_str())) << "the reservation fails (full disk)";
    SysFailAt(0, 0);
    EXPECT_EQ(ReadFile(twin), old);
    EXPECT_EQ(ListDir(dir.Path()), "a.ini\nb.ini\n");
    EXPECT_TRUE(ini.Save(path.c_str()));
    EXPECT_EQ(ReadFile(twin), kNewText);
    EXPECT_EQ(StatOf(twin).st_nlink, 2u);
}

// A save takes the lock that qelcfg's edits take: while another process holds it (and
// replaces the file meanwhile, as an edit does), the save waits, then writes last.
TEST(IniFileSafety, ASaveWaitsForTheLockThatAnEditHolds) {
    TempDir dir;
    const std::string path = dir.File("a.ini"), edited = dir.File("edited");
    WriteFile(path, "[old]\r\n");
    WriteFile(edited, "[edit]\r\n");
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    pid_t editor = ::fork();
    if (editor == 0) {
        int fd = ::open(path.c_str(), O_RDONLY);
        bool ok = fd >= 0 && ::flock(fd, LOCK_EX) == 0 && ::write(ready[1], "x", 1) == 1;
        ::usleep(300 * 1000);
        ok = ok && ::rename(edited.c_str(), path.c_str()) == 0;
        ::_exit(ok ? 0 : 1);
    }
    char byte = 0;
    ASSERT_EQ(::read(ready[0], &byte, 1), 1);
    CIniFile ini;
    EXPECT_TRUE(NewTree(ini).Save(path.c_str()));
    int status = -1;
    EXPECT_EQ(::waitpid(editor, &status, 0), editor);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(ReadFile(path), kNewText) << "the save came after the edit";
    EXPECT_EQ(ListDir(dir.Path()), "a.ini\n");
    ::close(ready[0]);
    ::close(ready[1]);
}

// A writable file in a directory that takes no new file is written in place; its new text
// is kept outside the directory meanwhile, and nothing is left behind.
TEST(IniFileSafety, AFileInADirectoryThatTakesNoNewFileIsWrittenInPlace) {
    if (!IsRoot()) {
        GTEST_SKIP() << "needs root to run the save as a second user";
    }
    TempDir dir;
    const std::string path = dir.File("a.ini");
    WriteFile(path, "[old]\r\nk=" + std::string(5000, 'o') + "\r\n");
    ASSERT_EQ(::chown(path.c_str(), kNobody, kNoGroup), 0);
    ASSERT_EQ(::chmod(dir.Path().c_str(), 0755), 0);
    const ino_t inode = StatOf(path).st_ino;
    EXPECT_TRUE(InChild(
        [&path]() {
            CIniFile ini;
            return NewTree(ini).Save(path.c_str());
        },
        kNobody, kNoGroup));
    EXPECT_EQ(ReadFile(path), kNewText);
    EXPECT_EQ(StatOf(path).st_ino, inode);
    EXPECT_EQ(ListDir(dir.Path()), "a.ini\n");
}

// A writer killed between linking its new file in and renaming it over the file leaves
// that complete copy under the file's fixed link name; the file's next save takes the name
// over, so copies never pile up.
TEST(IniFileSafety, ACopyLeftByAKilledSaveGoesWithTheNextSave) {
    TempDir dir;
    const std::string path = dir.File("a.ini");
    WriteFile(path, "[old]\r\n");
    EXPECT_FALSE(InChild([&path]() {
        // The first rename-kind call links the copy in, the second renames it.
        qelcfg::detail::SysRunAt(qelcfg::detail::kSysRename, 2, []() { ::_exit(9); });
        CIniFile ini;
        return NewTree(ini).Save(path.c_str());
    }));
    EXPECT_EQ(ReadFile(path), "[old]\r\n");
    const std::string left = ListDir(dir.Path());
    ASSERT_EQ(left.compare(0, 3, ".qc"), 0) << left;
    EXPECT_EQ(ReadFile(dir.File(left.substr(0, left.find('\n')))), kNewText);
    CIniFile ini;
    EXPECT_TRUE(NewTree(ini).Save(path.c_str()));
    EXPECT_EQ(ListDir(dir.Path()), "a.ini\n");
    EXPECT_EQ(ReadFile(path), kNewText);
}

#endif

}  // namespace
