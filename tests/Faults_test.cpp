// Failures of the runtime, made through the I/O seam or by a failing operator new. Each call on
// the way of an operation fails in turn: the operation reports it (or lets std::bad_alloc pass),
// the file keeps its old bytes (or a recovery file, "~tmp" or "~new", holds the whole new text),
// nothing else is left beside it, no descriptor stays open, and the same objects then succeed
// with the exact bytes, the file's owner and mode kept.
#if defined(_WIN32)
#include <io.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <grp.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/wait.h>
#endif

#include <chrono>
#include <csignal>
#include <functional>
#include <iterator>
#include <new>
#include <regex>

#include "IniEditor.h"
#include "IniFile.h"
#include "SysIoFaults.h"
#include "TestUtil.h"

// The platform seam's fault hook, which the library's internal archive calls on every call
// of the seam: one plan for the whole program, whose fault tests run on one thread.
namespace qelcfg::detail {
namespace {
unsigned g_kinds = 0;
long g_failAt = 0, g_calls = 0;
long g_callsOf[kSysCallKinds] = {};  // the calls of each kind, whatever the plan
std::function<void()> g_action;
}  // namespace

bool SysFaultHook(SysCall kind) {
    for (int bit = 0; bit < kSysCallKinds; ++bit) {
        g_callsOf[bit] += (kind >> bit) & 1u;
    }
    if ((g_kinds & kind) == 0 || ++g_calls != g_failAt) {
        return false;
    }
    const std::function<void()> action = std::move(g_action);
    if (action) {
        action();
    }
    return !action;
}
}  // namespace qelcfg::detail

namespace {

// After SysFailAt(kinds, n) the n-th call (counted from 1) of one of the given kinds fails
// as the runtime reports a failure (errno EIO, or ENOMEM for memory); n = 0 turns failures
// off. With an `action`, that call runs it instead and then goes on as usual, so that a test
// can change the file system at an exact step of an operation (a race, without timing).
// Returns how many calls of the kinds of the plan it ends were made under that plan.
long SysFailAt(unsigned kinds, long n, std::function<void()> action = nullptr) {
    using namespace qelcfg::detail;
    g_kinds = kinds;
    g_failAt = n;
    g_action = std::move(action);
    return std::exchange(g_calls, 0);
}

long g_newCalls = 0;
long g_newsLeft = 0;  // calls of operator new left before one throws; 0: none throws

void* FailingNew(std::size_t size) {
    ++g_newCalls;
    void* p = g_newsLeft > 0 && --g_newsLeft == 0 ? nullptr : std::malloc(size != 0 ? size : 1);
    if (p == nullptr) {
        throw std::bad_alloc();
    }
    return p;
}

}  // namespace

// The program's own operator new and delete, in the library as in the test. Arrays keep the
// runtime's new[] and delete[] (AddressSanitizer's, where it runs), which need not fail here.
void* operator new(std::size_t size) {
    return FailingNew(size);
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}

namespace {

using namespace qelcfg::detail;
using namespace qeltest;

constexpr unsigned kOperatorNew = 0;  // the n-th operator new throws, rather than a seam call
// A failing replace that keeps the old file's security falls back to a move (Windows).
constexpr unsigned kWrites = kSysAllCalls & ~(kSysRead | kSysAlloc | kSysReplace);
#if defined(_WIN32)  // an existing file is replaced by ReplaceFileW, not moved over
constexpr unsigned kReplaces = kWrites & ~kSysRename;
#else
constexpr unsigned kReplaces = kWrites;
#endif
constexpr unsigned kEditCalls = kReplaces | kSysAlloc;
const std::string kOld = "[A]\r\nx=1\r\n\r\n", kNew = "[A]\r\nx=1\r\ny=2\r\n\r\n";
const std::string kBulk(70000, 'b');  // more than a block of every copy
const std::string kLines =
    "a\r" + std::string(1500, 'L') + "\n\n" + std::string(700, 'M') + "\n\1b";
const std::string kRead = "[A]\nx=1\n[B]\n" + std::string(700, 'k') + "=v\ny=2\n";

enum Setup { kEditor, kEdit, kReader, kAttached, kNewFile, kSymlink, kHardLink };

// The objects of one run, on the file `path` ("a.ini"; a link to it is "a.ini-b").
struct World {
    explicit World(const std::string& p) : path(p) {}
    std::string path;
    CIniFile ini;
    _CFG::CTxtFile file, copy;
    CIniEditor ed;
    struct stat st = {};
};

// Makes the files and the objects of `setup`; returns what the file holds.
std::string Prepare(World& w, Setup setup) {
    const char* p = w.path.c_str();
    const std::string old = setup == kEdit ? kLines : setup == kReader ? kRead : kOld;
    const std::string second = w.path + "-b";  // a second name of the file
    if (setup != kNewFile) {
        WriteFile(w.path, old);
        WriteFile(w.path + "~tmp", "left over");
#if !defined(_WIN32)
        EXPECT_EQ(::chmod(p, 06707), 0);
        if (::geteuid() == 0) {
            EXPECT_EQ(::chown(p, 65534, 65534), 0);
        }
        if (setup == kSymlink || setup == kHardLink) {
            EXPECT_EQ(
                setup == kSymlink ? ::symlink("a.ini", second.c_str()) : ::link(p, second.c_str()),
                0);
        }
        ::stat(p, &w.st);
#else
        if (setup == kHardLink) {
            EXPECT_TRUE(
                ::CreateHardLinkW(NativePath(second).c_str(), NativePath(w.path).c_str(), nullptr));
        }
#endif
    }
    if (setup == kAttached) {
        EXPECT_TRUE(w.ini.Attach(p));
        EXPECT_FALSE(w.ini.SetChangeFlag(true));
    } else if (setup == kEditor) {
        EXPECT_TRUE(w.ed.Read(p));
        EXPECT_TRUE(w.ed.SetValue("A", "x", "3"));
    } else if (setup == kEdit) {
        EXPECT_TRUE(w.file.Open(p, "r+b"));
    } else if (setup == kReader) {
        EXPECT_TRUE(w.ini.Open(p, "rb"));
        EXPECT_TRUE(w.file.Open(p, "rb"));
        EXPECT_NE(w.file.ReadTextLine(0), nullptr);
    }
    w.copy = w.file;  // a copy shares the stream
    if (setup > kAttached) {
        EXPECT_TRUE(w.ini.GetCfg().AddSection("A")->AddKV("x", "1", false));
    }
    if (setup >= kAttached) {
        EXPECT_TRUE(w.ini.GetCfg().FindSection("A")->AddKV(
            "y", setup == kHardLink ? kBulk.c_str() : "2", false));
    }
    return setup == kNewFile ? "" : old;
}

// A read that reports success gives the whole file: `got` is `whole`, or -1 for a failure.
bool Sure(int got, int whole) {
    if (got != whole) {
        EXPECT_EQ(got, -1) << "a success with part of the file, or a failure other than -1";
    }
    return got == whole;
}

bool Sure(const CIniSection* b) {
    return Sure(b != nullptr ? static_cast<int>(b->size()) : -1, 2);
}

struct Row {
    const char* what;
    Setup setup;
    bool (*op)(World& w);
    std::string now;    // what the file holds after the operation
    unsigned mustFail;  // the kinds of call whose first failure the operation reports
};

bool SavePath(World& w) {
    return w.ini.Save(w.path.c_str());
}

const Row kRows[] = {
    {"Save(path)", kAttached, SavePath, kNew, kReplaces & ~kSysClose},
    {"Save()", kAttached, [](World& w) { return w.ini.Save(); }, kNew, kReplaces & ~kSysClose},
    {"AddValue", kAttached, [](World& w) { return w.ini.AddValue("A", "z", "3", true); },
     "[A]\r\nx=1\r\ny=2\r\nz=3\r\n\r\n", kReplaces & ~kSysClose},
    {"Save(path), a new file", kNewFile, SavePath, kNew, kWrites},
    {"Editor Save", kEditor, [](World& w) { return w.ed.Save(); }, "[A]\r\nx=3\r\n\r\n", kReplaces},
    {"RemoveTextLine", kEdit, [](World& w) { return w.file.RemoveTextLine(0); },
     "\r\n" + std::string(700, 'M') + "\r\n\1b\r\n", kEditCalls},
    {"InsertTextLine", kEdit, [](World& w) { return w.file.InsertTextLine(0, "x", true); },
     "a\r\nx\r\n\r\n" + std::string(700, 'M') + "\r\n\1b\r\n", kEditCalls},
    // A line the object handed out, which its reading would overwrite, is copied first.
    {"InsertTextLine of a line read", kEdit,
     [](World& w) {
         const char* line = w.file.ReadTextLine(2);
         return line != nullptr && w.file.InsertTextLine(0, line, true);
     },
     "a\r\n" + std::string(700, 'M') + "\r\n\r\n" + std::string(700, 'M') + "\r\n\1b\r\n",
     kEditCalls},
    {"Attach", kReader,
     [](World& w) { return w.ini.Attach(w.path.c_str()) && Sure(w.ini.FindSection("B")); }, kRead,
     kSysOpen | kSysSeek | kSysRead | kSysAlloc},
    {"FindSection in the file", kReader, [](World& w) { return Sure(w.ini.FindSection("B")); },
     kRead, kSysSeek | kSysRead | kSysAlloc},
    {"Copy", kReader, [](World& w) { return (w.copy = w.file).SeekToBegin(); }, kRead, kSysAlloc},
    {"SeekToLine", kReader,
     [](World& w) { return Sure(w.file.SeekToBegin() ? w.file.SeekToLine("zz", nullptr) : -1, 5); },
     kRead, kSysSeek | kSysRead | kSysAlloc},
    {"Editor Read", kReader,
     [](World& w) { return Sure(w.ed.Read(w.path.c_str()) ? w.ed.GetText() == kRead : -1, 1); },
     kRead, kSysOpen | kSysRead},
#if !defined(_WIN32)  // a link by symlink()
    {"Save(path) through a symbolic link", kSymlink,
     [](World& w) { return w.ini.Save((w.path + "-b").c_str()); }, kNew, kWrites},
#endif
    // A file with a second hard link is written in place, so that both names keep showing
    // one file; its new text waits in "~new" until the file holds it.
    {"Save(path) to a hard-linked file", kHardLink, SavePath,
     "[A]\r\nx=1\r\ny=" + kBulk + "\r\n\r\n", kWrites & ~(kSysClose | kSysRename)},
};

long OpenDescriptors() {
#if defined(_WIN32)
    long count = 0;
    for (int fd = 0; fd < 2048; ++fd) {
        count += ::_get_osfhandle(fd) != -1 ? 1 : 0;
    }
    return count;
#else
    return std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {});
#endif
}

// What must hold after a run of `row` that returned `ok`, and after its retry.
void Check(const Row& row, World& w, const std::string& old, const std::string& before, bool ok) {
    const std::string dir = w.path.substr(0, w.path.size() - 6), text = ReadFile(w.path);
    if (FileExists(w.path + "-b")) {
        EXPECT_EQ(ReadFile(w.path + "-b"), text);
    }
    if (!ok) {
        const std::regex recovery("[^\n]*~[^\n]*\n");  // what a failure may leave
        EXPECT_EQ(std::regex_replace(ListDir(dir), recovery, ""),
                  std::regex_replace(before, recovery, ""));
        if (text != old) {  // the file may hold the new text in part, its recovery file whole
            EXPECT_EQ(ReadFile(w.path + (row.setup == kEdit ? "~tmp" : "~new")), row.now);
            return;
        }
        EXPECT_TRUE(row.op(w)) << "the retry";
    }
    EXPECT_EQ(ReadFile(w.path), row.now);
    EXPECT_EQ(ListDir(dir), before.empty() ? "a.ini\n" : before);
#if !defined(_WIN32)
    struct stat st = {};
    if (w.st.st_mode != 0) {  // the owner and mode of a file that was there
        EXPECT_EQ(::stat(w.path.c_str(), &st), 0);
        EXPECT_EQ(st.st_uid, w.st.st_uid);
        EXPECT_EQ(st.st_gid, w.st.st_gid);
        EXPECT_EQ(st.st_mode, w.st.st_mode);
    }
    // An edit's copy gets the file's permission bits, whatever the umask.
    if (row.setup == kEdit && ::stat((w.path + "~tmp").c_str(), &st) == 0) {
        EXPECT_EQ(st.st_mode & 0777u, w.st.st_mode & 0777u);
    }
#endif
}

TEST(Faults, EveryFailingCallIsReportedAndCostsNothing) {
    long threw = 0;
    for (const Row& row : kRows) {
        const long descriptors = OpenDescriptors();
        // Every call in turn, every operator new in turn, then the first call of each kind
        // whose failure the operation must not let pass.
        for (int plan = -2; plan < kSysCallKinds; ++plan) {
            const unsigned kinds = plan == -2   ? kSysAllCalls
                                   : plan == -1 ? kOperatorNew
                                                : 1u << plan;
            if (plan >= 0 && (row.mustFail & kinds) == 0) {
                continue;
            }
            long calls = 0;
            for (long n = 1; plan < 0 ? calls >= n - 1 : n == 1; ++n) {
                SCOPED_TRACE(testing::Message()
                             << row.what << ", call " << n << " of kinds " << kinds);
                TempDir temp;
                World w(temp.File("a.ini"));
                const std::string old = Prepare(w, row.setup), before = ListDir(temp.Path());
                bool ok = false;
                SysFailAt(kinds, n);
                g_newCalls = 0;
                g_newsLeft = kinds == kOperatorNew ? n : 0;
                try {
                    ok = row.op(w);
                } catch (const std::bad_alloc&) {
                    ++threw;
                }
                const long seamCalls = SysFailAt(0, 0);
                calls = kinds == kOperatorNew ? g_newCalls : seamCalls;
                g_newsLeft = 0;
                if (plan >= 0) {
                    EXPECT_FALSE(ok) << "a failure the operation must report";
                } else if (!ok) {
                    EXPECT_GE(calls, n) << "a failure, yet the failing call was not reached";
                }
                Check(row, w, old, before, ok);
            }
        }
        EXPECT_EQ(OpenDescriptors(), descriptors) << row.what;
    }
    EXPECT_GT(threw, 20) << "operator new fails where the library allocates";
}

// An Attach that fails keeps no name: the adds after it fail and touch nothing. A line
// whose buffer cannot grow leaves the current line empty, not holding the line before.
TEST(Faults, AFailedReadLeavesNothingBehind) {
    TempDir dir;
    World w(WriteFile(dir.File("a.ini"), kOld));
    SysFailAt(kSysOpen, 1);
    EXPECT_FALSE(w.ini.Attach(w.path.c_str()));
    SysFailAt(0, 0);
    EXPECT_FALSE(w.ini.AddSection("C"));
    EXPECT_FALSE(w.ini.AddValue("A", "k", "v", true));
    EXPECT_FALSE(w.ini.Save());
    EXPECT_EQ(ReadFile(w.path) + ListDir(dir.Path()), kOld + "a.ini\n");
    // Growing while the line is read, and growing or reading while the rest after a CR is
    // passed over.
    const std::string cut = std::string(450, 'a') + "\r" + kBulk;
    for (const auto& [second, kind, n] :
         {std::tuple{kBulk, kSysAlloc, 1}, {cut, kSysAlloc, 1}, {cut, kSysRead, 2}}) {
        SCOPED_TRACE(testing::Message() << second.size() << " bytes, kind " << kind);
        _CFG::CTxtFile file(WriteFile(dir.File("long"), "1\n" + second).c_str(), "rb");
        const char* line = file.ReadTextLine(0);
        SysFailAt(kind, n);
        EXPECT_EQ(file.GetTextLine(nullptr), nullptr);
        SysFailAt(0, 0);
        EXPECT_STREQ(line, "");
    }
}

#if defined(_WIN32)
// An existing file is replaced with ReplaceFileW, which keeps its access rules, owner,
// attributes and alternate data streams (Wine keeps none of them, so the call made is what is
// checked); a new file is moved into place. Where ReplaceFileW is refused, MoveFileExW does the
// replace; where it stops midway, the old file takes its name back; a file that a writer
// taking no lock put in place just before is put back (ESTALE). Nothing is left beside it.
TEST(Faults, ReplaceFileKeepsTheOldFileAndFallsBackOnlyWhereItMust) {
    enum Step { kNone, kRefused, kMidway, kOther };
    struct Row {
        const char* what;
        bool exists;
        Step step;
        bool saved;
        std::string text;
        long replaces;  // calls of ReplaceFileW
        long moves;     // calls of MoveFileExW
    };
    const Row rows[] = {
        {"an existing file", true, kNone, true, kNew, 1, 0},
        {"a new file", false, kNone, true, kNew, 0, 1},
        {"ReplaceFileW refused", true, kRefused, true, kNew, 1, 1},
        {"ReplaceFileW stopped midway", true, kMidway, false, kOld, 1, 0},
        {"another writer's file just before", true, kOther, false, "other", 1, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        TempDir dir;
        World w(dir.File("a.ini"));
        Prepare(w, kNewFile);
        if (row.exists) {
            WriteFile(w.path, kOld);
        }
        WriteFile(dir.File("other"), "other");
        // Between the check and the replace: the old file goes to the name that ReplaceFileW
        // moves it to, or another writer replaces it (by ReplaceFileW too: Windows moves no file
        // over one that a handle holds open).
        const std::function<void()> step = [&] {
            const std::string list = ListDir(dir.Path()), temp = list.substr(0, list.find('\n'));
            const std::wstring from = NativePath(row.step == kMidway ? w.path : dir.File("other"));
            const std::wstring to = NativePath(dir.File(temp.substr(0, temp.size() - 3) + "old"));
            EXPECT_TRUE(row.step == kMidway
                            ? ::MoveFileExW(from.c_str(), to.c_str(), 0)
                            : ::ReplaceFileW(NativePath(w.path).c_str(), from.c_str(), nullptr, 0,
                                             nullptr, nullptr));
        };
        std::fill(std::begin(g_callsOf), std::end(g_callsOf), 0);
        SysFailAt(kSysReplace, row.step == kNone ? 0 : 1, row.step >= kMidway ? step : nullptr);
        errno = 0;
        EXPECT_EQ(SavePath(w), row.saved);
        if (row.step == kOther) {
            EXPECT_EQ(errno, ESTALE);
        }
        SysFailAt(0, 0);
        EXPECT_EQ(ReadFile(w.path), row.text);
        EXPECT_EQ(ListDir(dir.Path()), row.step == kOther ? "a.ini\n" : "a.ini\nother\n");
        EXPECT_EQ(g_callsOf[10], row.replaces);
        EXPECT_EQ(g_callsOf[6], row.moves);
    }
}
#else  // links, locks and fork()
bool SaveNew(const std::string& path) {
    World w(path);
    Prepare(w, kNewFile);
    return SavePath(w);
}

// The file swapped for a link to another between the steps of a save is replaced as an
// entry, never followed: the file the link leads to keeps its bytes.
TEST(Faults, AFileSwappedForALinkDuringASaveIsNeverFollowed) {
    for (unsigned step : {kSysWrite, kSysSync, kSysRename}) {
        TempDir dir;
        const std::string path = WriteFile(dir.File("a.ini"), kOld),
                          victim = WriteFile(dir.File("victim"), "secret\n");
        bool swapped = false;
        SysFailAt(step, 1, [&] {
            swapped = ::unlink(path.c_str()) == 0 && ::symlink("victim", path.c_str()) == 0;
        });
        errno = 0;
        const bool saved = SaveNew(path);
        SysFailAt(0, 0);
        EXPECT_TRUE(swapped) << step;
        EXPECT_FALSE(saved) << "the file is no longer the one read: " << step;
        EXPECT_EQ(errno, ESTALE) << step;
        EXPECT_EQ(ReadFile(victim) + ListDir(dir.Path()), "secret\na.ini\nvictim\n") << step;
    }
}

// Turns this process into user nobody, group nogroup, with no other group.
bool BecomeNobody() {
    return ::setgroups(0, nullptr) == 0 && ::setgid(65534) == 0 && ::setuid(65534) == 0;
}

// Runs `body` in a child process, as user nobody when `nobody` (and this process is root),
// and returns its exit status: 0 when `body` returned true.
int InChild(const std::function<bool()>& body, bool nobody = false) {
    const pid_t child = ::fork();
    if (child == 0) {
        ::_exit((!nobody || BecomeNobody()) && body() ? 0 : 1);
    }
    int status = -1;
    return ::waitpid(child, &status, 0) == child && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Writers of one file take turns: a save waits for another writer's lock and replaces the
// file that writer put in place, mode and all. A reader's lock, which any process that may
// read the file can take, holds an edit up only for its lock wait. What a killed writer
// leaves is taken care of by the next: a new file never put in place is removed, and the
// text of an in-place write killed half way is written into the file before anything else.
TEST(Faults, WritersTakeTurnsAndFinishWhatAKilledOneLeft) {
    TempDir dir;
    const std::string path = WriteFile(dir.File("a.ini"), kOld),
                      edited = WriteFile(dir.File("edited"), "[edit]\r\n");
    ASSERT_EQ(::chmod(edited.c_str(), 0604) + ::chmod(dir.Path().c_str(), 0755), 0);
    for (int lock : {LOCK_EX, LOCK_SH}) {
        int ready[2];
        char byte = 0;
        ASSERT_EQ(::pipe(ready), 0);
        const pid_t holder = ::fork();
        if (holder == 0) {
            // A reader's lock, taken by another user where the test may switch to one.
            if ((lock == LOCK_SH && ::geteuid() == 0 && !BecomeNobody()) ||
                ::flock(::open(path.c_str(), O_RDONLY), lock) != 0 ||
                ::write(ready[1], "x", 1) != 1) {
                ::_exit(1);
            }
            ::usleep(lock == LOCK_EX ? 300 * 1000 : 60 * 1000 * 1000);
            ::_exit(::rename(edited.c_str(), path.c_str()) == 0 ? 0 : 1);
        }
        ::close(ready[1]);
        ASSERT_EQ(::read(ready[0], &byte, 1), 1) << "the holder took the lock";
        CIniEditor ed;
        ed.SetLockWait(std::chrono::milliseconds(lock == LOCK_EX ? 10000 : 100));
        EXPECT_TRUE(ed.Read(path.c_str())) << lock;
        EXPECT_TRUE(ed.AddSection("S")) << lock;
        EXPECT_TRUE(ed.Save()) << lock;
        if (lock == LOCK_SH) {
            ::kill(holder, SIGKILL);
        }
        int status = -1;
        EXPECT_EQ(::waitpid(holder, &status, 0), holder);
        EXPECT_EQ(status, lock == LOCK_EX ? 0 : SIGKILL);
        ::close(ready[0]);
    }
    struct stat st = {};
    EXPECT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777u, 0604u);
    EXPECT_EQ(ReadFile(path), "[edit]\r\n\r\n[S]\r\n\r\n[S]\r\n") << "after the other writer's";

    // A replace killed before its new file takes the file's place leaves that file, which
    // the next save removes.
    EXPECT_EQ(InChild([&] {
                  SysFailAt(kSysRename, 1, [] { ::_exit(9); });
                  return SaveNew(path);
              }),
              9);
    const std::string left = ListDir(dir.Path());
    EXPECT_EQ(ReadFile(dir.File(left.substr(0, left.find('\n')))), kNew) << left;
    SysFailAt(kSysOpen, 3);  // and whose first name for its own is taken by someone else
    EXPECT_TRUE(SaveNew(path));
    // What a wait for a lock leaves in errno does not make the new file look taken.
    SysFailAt(kSysOpen, 3, [] { errno = EWOULDBLOCK; });
    EXPECT_TRUE(SaveNew(path));
    SysFailAt(0, 0);
    EXPECT_EQ(ListDir(dir.Path()), "a.ini\n");

    // An in-place write of a hard-linked file killed before the file is on the disk, whose
    // bytes another program then overwrites: the next writer finishes it first, and a save
    // of the torn text read before fails.
    ASSERT_EQ(::link(path.c_str(), dir.File("b.ini").c_str()), 0);
    const std::string whole = "[A]\r\ny=" + kBulk + "\r\n\r\n";
    EXPECT_EQ(InChild([&] {
                  CIniFile ini;
                  ini.GetCfg().AddSection("A")->AddKV("y", kBulk.c_str(), false);
                  SysFailAt(kSysSync, 3, [] { ::_exit(9); });
                  return ini.Save(path.c_str());
              }),
              9);
    EXPECT_EQ(ReadFile(path + "~new"), whole);
    WriteFile(path, "torn");
    CIniFile ini;
    ASSERT_TRUE(ini.Attach(path.c_str()));
    errno = 0;
    EXPECT_FALSE(ini.AddSection("C"));
    EXPECT_EQ(errno, ESTALE);
    EXPECT_EQ(ReadFile(dir.File("b.ini")), whole);
    EXPECT_EQ(ListDir(dir.Path()), "a.ini\nb.ini\n");
}

// A save past the file-size limit, or to a pipe that no one reads, fails and leaves the file
// as it was, with nothing beside it, and the process goes on.
TEST(Faults, ASaveThatCannotBeWholeFailsAndLeavesNothing) {
    TempDir dir;
    const std::string path = WriteFile(dir.File("a.ini"), kOld), fifo = dir.File("fifo");
    for (const char* link : {"", "b.ini"}) {
        if (*link != '\0') {
            ASSERT_EQ(::link(path.c_str(), dir.File(link).c_str()), 0);
        }
        EXPECT_EQ(InChild([&] {
                      const struct rlimit limit = {100, 100};
                      ::signal(SIGXFSZ, SIG_DFL);  // whatever the test's runner ignores
                      CIniFile ini;
                      ini.GetCfg().AddSection("A")->AddKV("y", kBulk.c_str(), false);
                      // The signal is left as it was: the second time held, and pending
                      // from before the save.
                      const bool was = *link != '\0';
                      sigset_t set, pending;
                      sigemptyset(&set);
                      sigaddset(&set, SIGXFSZ);
                      ::pthread_sigmask(was ? SIG_BLOCK : SIG_UNBLOCK, &set, nullptr);
                      if (was) {
                          ::raise(SIGXFSZ);
                      }
                      const bool refused = ::setrlimit(RLIMIT_FSIZE, &limit) == 0 &&
                                           !ini.Save(path.c_str()) && errno == EFBIG;
                      ::pthread_sigmask(SIG_BLOCK, nullptr, &set);
                      ::sigpending(&pending);
                      return refused && sigismember(&set, SIGXFSZ) == int{was} &&
                             sigismember(&pending, SIGXFSZ) == int{was};
                  }),
                  0)
            << link;
        EXPECT_EQ(ReadFile(path) + ListDir(dir.Path()),
                  kOld + "a.ini\n" + link + (*link ? "\n" : ""));
    }
    // A full disk at the reservation fails before the hard-linked file's first byte changes.
    SysFailAt(kSysTruncate, 2);  // the new text's own cut, then the reservation
    EXPECT_FALSE(SaveNew(path));
    SysFailAt(0, 0);
    EXPECT_EQ(ReadFile(path) + ListDir(dir.Path()), kOld + "a.ini\nb.ini\n");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    CIniFile ini;
    errno = 0;
    EXPECT_FALSE(ini.Save(fifo.c_str()));
    EXPECT_EQ(errno, ENXIO);
}

// In a sticky directory that anyone may write to, another user can make links and entries
// beside a file, and may own a file there: a save follows no link of that user's, reads no
// recovery copy of that user's, and a save by the file's owner keeps its set-ID bits.
TEST(Faults, AnotherUserNeitherRedirectsNorStripsASave) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "needs root, to make files and links of user nobody";
    }
    TempDir dir;
    const std::string shared = dir.File("d"), secret = WriteFile(dir.File("secret"), "secret\n");
    ASSERT_EQ(::mkdir(shared.c_str(), 0777) + ::chmod(shared.c_str(), 01777), 0);
    for (const char* target : {"../secret", "../made"}) {
        const std::string link = shared + "/app.ini";
        ASSERT_EQ(::symlink(target, link.c_str()) + ::lchown(link.c_str(), 65534, 65534), 0);
        errno = 0;
        EXPECT_FALSE(SaveNew(link)) << target;
        EXPECT_EQ(errno, EACCES) << target;
        ASSERT_EQ(::unlink(link.c_str()), 0);
    }
    EXPECT_EQ(ReadFile(secret) + ListDir(dir.Path()), "secret\nd\nsecret\n");
    // Another user's entry at the recovery name of a hard-linked file written in place.
    const std::string own = shared + "/own.ini", link = shared + "/own-link.ini";
    WriteFile(own, kOld);
    WriteFile(own + "~new", "[evil]\r\n");
    ASSERT_EQ(::chown((own + "~new").c_str(), 65534, 65534) + ::link(own.c_str(), link.c_str()), 0);
    CIniEditor ed;
    EXPECT_TRUE(ed.Read(own.c_str()));
    EXPECT_TRUE(ed.AddKey("A", "y", "2"));
    EXPECT_TRUE(ed.Save());
    ed.Close();
    EXPECT_EQ(ReadFile(link) + ReadFile(own + "~new"), kNew + "[evil]\r\n");
    ASSERT_EQ(::unlink((own + "~new").c_str()) + ::unlink(link.c_str()), 0);
    ASSERT_EQ(::chown(own.c_str(), 65534, 65534) + ::chmod(own.c_str(), 04755), 0);
    // A file in a directory that takes no new file, and a hard-linked one that its writer
    // may write but not read, are written in place.
    const std::string closed = dir.File("closed"), open = closed + "/open.ini";
    ASSERT_EQ(::mkdir(closed.c_str(), 0755), 0);
    WriteFile(open, kOld);
    WriteFile(shared + "/blind.ini", kOld);
    ASSERT_EQ(::chmod(open.c_str(), 0666) + ::chmod((shared + "/blind.ini").c_str(), 0200) +
                  ::chown((shared + "/blind.ini").c_str(), 65534, 65534) +
                  ::link((shared + "/blind.ini").c_str(), (shared + "/blind-link").c_str()),
              0);
    for (const std::string& path : {open, shared + "/blind.ini"}) {
        EXPECT_EQ(InChild([&] { return SaveNew(path); }, true), 0) << path;
        EXPECT_EQ(ReadFile(path), kNew) << path;
    }
    EXPECT_EQ(ListDir(closed), "open.ini\n");
    for (bool linked : {false, true}) {
        const auto save = [&] {
            return (!linked || ::link(own.c_str(), link.c_str()) == 0) && SaveNew(own);
        };
        EXPECT_EQ(InChild(save, true), 0) << linked;
        struct stat st = {};
        EXPECT_EQ(::stat(own.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777u, 04755u) << linked;
    }
}
#endif

}  // namespace
