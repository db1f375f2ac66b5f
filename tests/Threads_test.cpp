// Objects on different threads share nothing: several threads at once load, save, look
// sections up in the file and edit lines, each on files of its own, and each sees exactly
// its own results. Built with ThreadSanitizer (preset tsan), any state that the library
// shares between objects shows as a report and fails the run.
#include <thread>

#include "IniFile.h"
#include "TestUtil.h"
#include "TxtFile.h"

namespace {

using namespace qeltest;

// One round of every file operation in `dir` for thread `id`: false when one went wrong.
bool OneRound(const std::string& dir, const std::string& id, const std::string& round) {
    const std::string ini = dir + "/a.ini", txt = dir + "/b.txt", section = "S" + id;
    WriteFile(ini, "[" + section + "]\nx = " + round + "\n[Other]\ny=" + id + "\n");
    WriteFile(txt, "a\n" + round + "\nc\n");
    CIniFile loaded, lookup;
    char x[513], y[513];
    _CFG::CTxtFile lines(txt.c_str(), "r+b");
    CIniSection* other = nullptr;
    return loaded.Attach(ini.c_str()) && loaded.GetValue(section.c_str(), "x", x) &&
           loaded.AddValue(section.c_str(), "t", id.c_str(), false) &&
           lookup.Open(ini.c_str(), "rb") && (other = lookup.FindSection("Other")) != nullptr &&
           other->FindKV("y", y) && lines.InsertTextLine(0, id.c_str(), true) &&
           lines.RemoveTextLine(2) && x == round && y == id && other->size() == 1 &&
           ReadFile(ini) == "[" + section + "]\r\nx=" + round + "\r\nt=" + id +
                                "\r\n\r\n[Other]\r\ny=" + id + "\r\n\r\n" &&
           ReadFile(txt) == "a\r\n" + id + "\r\nc\r\n";
}

TEST(Threads, ObjectsOnSeparateThreadsShareNothing) {
    constexpr int kThreads = 4, kRounds = 25;
    std::vector<TempDir> dirs(kThreads);
    std::vector<int> rounds(kThreads);  // rounds that went right, each thread its own
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t, &dirs, &rounds] {
            while (rounds[t] < kRounds &&
                   OneRound(dirs[t].Path(), std::to_string(t), std::to_string(rounds[t]))) {
                ++rounds[t];
            }
        });
    }
    for (int t = 0; t < kThreads; ++t) {
        threads[t].join();
        EXPECT_EQ(rounds[t], kRounds) << "thread " << t;
    }
}

}  // namespace
