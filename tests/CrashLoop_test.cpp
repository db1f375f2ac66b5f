// Saves and line edits killed (SIGKILL) at random points: the file is always either the old
// text or the new one, byte for byte. The new file is unnamed while it is written; it gets
// a name only between the two calls that link it in and rename it over the file, so a kill
// can leave a named copy only there; that copy holds the complete new text, and the file's
// next save removes it.
// Takes about a minute: tests/crash-loop.sh runs it, outside ctest.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <dirent.h>
#include <algorithm>
#include <chrono>
#include <functional>
#include <random>
#include <string>

#include "IniFile.h"
#include "TestUtil.h"

namespace {

using qeltest::ListDir;
using qeltest::ReadFile;
using qeltest::TempDir;
using qeltest::WriteFile;

constexpr int kRounds = 300;

// Runs `work` in a child once it has reported that it is ready (`prepare` done), and kills
// it `delay` microseconds later; a negative delay lets it finish. Returns the microseconds
// from the report to the child's end.
long RunKilled(const std::function<void()>& prepare, const std::function<bool()>& work,
               long delay) {
    int ready[2];
    if (::pipe(ready) != 0) {
        return -1;
    }
    pid_t pid = ::fork();
    if (pid == 0) {
        prepare();
        bool ok = ::write(ready[1], "r", 1) == 1 && work();
        ::_exit(ok ? 0 : 1);
    }
    char byte = 0;
    bool started = ::read(ready[0], &byte, 1) == 1;
    auto begin = std::chrono::steady_clock::now();
    if (started && delay >= 0) {
        ::usleep(static_cast<useconds_t>(delay));
        ::kill(pid, SIGKILL);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    ::close(ready[0]);
    ::close(ready[1]);
    return static_cast<long>(std::chrono::duration_cast<std::chrono::microseconds>(
                                 std::chrono::steady_clock::now() - begin)
                                 .count());
}

// Counts the new files that a kill left named in `dir`; each must hold the complete new text.
int LinkedCopies(const std::string& dir, const std::string& changed) {
    int copies = 0;
    DIR* d = ::opendir(dir.c_str());
    while (const dirent* entry = d != nullptr ? ::readdir(d) : nullptr) {
        const std::string name = entry->d_name;
        if (name.compare(0, 3, ".qc") == 0) {
            EXPECT_EQ(ReadFile(dir + "/" + name), changed) << name;
            ++copies;
        }
    }
    if (d != nullptr) {
        ::closedir(d);
    }
    return copies;
}

struct Operation {
    const char* name;
    std::string old;
    std::string changed;
    std::string leftOver;  // what the directory holds besides the file
    bool twin;             // a second hard link: written in place
    std::function<bool(CIniFile&)> run;
};

TEST(CrashLoop, AKilledSaveOrEditLeavesTheOldOrTheNewFileAndNoTemporary) {
    const std::string bulk(200, 'v');
    std::string old;
    for (int i = 0; i < 4000; ++i) {
        old += "k" + std::to_string(i) + "=" + bulk + "\r\n";
    }
    old = "[A]\r\n" + old + "\r\n";
    Operation operations[] = {
        {"save", old, old.substr(0, old.size() - 2) + "new=1\r\n\r\n", "", false,
         [](CIniFile& ini) { return ini.AddValue("A", "new", "1", false); }},
        {"edit", old, old.substr(5), "a.ini~tmp\n", false,
         [](CIniFile& ini) { return ini.RemoveTextLine(0); }},
        // In place, the new text is kept in "~new" until the file is complete and synced.
        {"in-place save", old, old.substr(0, old.size() - 2) + "new=1\r\n\r\n",
         "a.ini~new\nb.ini\n", true,
         [](CIniFile& ini) { return ini.AddValue("A", "new", "1", false); }},
    };
    std::mt19937 random(20261206u);
    for (const Operation& op : operations) {
        TempDir dir;
        const std::string path = dir.File("a.ini");
        CIniFile ini;
        auto prepare = [&ini, &path]() { ini.Attach(path.c_str()); };
        auto work = [&ini, &op]() { return op.run(ini); };
        WriteFile(path, op.old);
        if (op.twin) {
            ASSERT_EQ(::link(path.c_str(), dir.File("b.ini").c_str()), 0);
        }
        // The shortest of a few whole runs, so that one slow flush does not spread the kills
        // past the end of most runs.
        long whole = -1;
        for (int run = 0; run < 3; ++run) {
            WriteFile(path, op.old);
            long took = RunKilled(prepare, work, -1);
            whole = whole < 0 ? took : std::min(whole, took);
            ASSERT_EQ(ReadFile(path), op.changed) << op.name << " runs to its end";
        }
        int olds = 0, news = 0, copies = 0, partial = 0;
        for (int round = 0; round < kRounds; ++round) {
            WriteFile(path, op.old);
            ::unlink((path + "~tmp").c_str());
            ::unlink((path + "~new").c_str());
            std::uniform_int_distribution<long> delay(0, whole + whole / 4);
            RunKilled(prepare, work, delay(random));
            const std::string text = ReadFile(path);
            const bool recoverable = ReadFile(path + "~new") == op.changed;
            EXPECT_TRUE(text == op.old || text == op.changed || recoverable)
                << op.name << ", round " << round;
            partial += text != op.old && text != op.changed;
            olds += text == op.old;
            news += text == op.changed;
            if (int left = LinkedCopies(dir.Path(), op.changed)) {
                // The file's next save takes the name over and leaves nothing.
                copies += left;
                WriteFile(path, op.old);
                RunKilled(prepare, work, -1);
                EXPECT_EQ(LinkedCopies(dir.Path(), op.changed), 0)
                    << op.name << ", round " << round;
                WriteFile(path, op.old);
            }
            const std::string listing = ListDir(dir.Path());
            const std::string base = op.twin ? "a.ini\nb.ini\n" : "a.ini\n";
            EXPECT_TRUE(listing == "a.ini\n" + op.leftOver || listing == base)
                << op.name << ", round " << round << ": " << listing;
        }
        std::printf(
            "%s: %d killed, %d left old, %d left new, %d left a complete named copy, "
            "%d left a partial file and the new text in ~new (a run takes %ld us)\n",
            op.name, kRounds, olds, news, copies, partial, whole);
    }
}

}  // namespace
