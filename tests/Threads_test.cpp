// Objects on different threads share nothing: several threads at once load, save, look
// sections up in the file and edit lines, each on files of its own, and each sees exactly
// its own results. Built with ThreadSanitizer (preset tsan), any state that the library
// shares between objects shows as a report and fails the run.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "IniFile.h"
#include "TestUtil.h"
#include "TxtFile.h"

namespace {

using qeltest::ReadFile;
using qeltest::TempDir;
using qeltest::WriteFile;

constexpr int kThreads = 4;
constexpr int kRounds = 25;

// One round of every file operation in `dir` for thread `id`; returns what went wrong,
// or an empty text.
std::string OneRound(const std::string& dir, const std::string& id, const std::string& round) {
    const std::string ini = dir + "/a.ini";
    const std::string section = "S" + id;
    WriteFile(ini, "[" + section + "]\nx = " + round + "\n[Other]\ny=" + id + "\n");
    CIniFile loaded;
    char value[513];
    if (!loaded.Attach(ini.c_str()) || !loaded.GetValue(section.c_str(), "x", value) ||
        value != round) {
        return "load";
    }
    if (!loaded.AddValue(section.c_str(), "t", id.c_str(), false) ||
        ReadFile(ini) != "[" + section + "]\r\nx=" + round + "\r\nt=" + id +
                             "\r\n\r\n[Other]\r\ny=" + id + "\r\n\r\n") {
        return "save";
    }
    CIniFile lookup;
    CIniSection* other = lookup.Open(ini.c_str(), "rb") ? lookup.FindSection("Other") : nullptr;
    if (other == nullptr || !other->FindKV("y", value) || value != id || other->size() != 1) {
        return "lookup in the file";
    }
    const std::string txt = dir + "/b.txt";
    WriteFile(txt, "a\n" + round + "\nc\n");
    _CFG::CTxtFile lines(txt.c_str(), "r+b");
    if (!lines.InsertTextLine(0, id.c_str(), true) || !lines.RemoveTextLine(2) ||
        ReadFile(txt) != "a\r\n" + id + "\r\nc\r\n") {
        return "line edit";
    }
    return "";
}

TEST(Threads, ObjectsOnSeparateThreadsShareNothing) {
    std::vector<TempDir> dirs(kThreads);
    std::vector<std::string> failures(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t, &dirs, &failures] {
            for (int round = 0; round < kRounds && failures[t].empty(); ++round) {
                failures[t] = OneRound(dirs[t].Path(), std::to_string(t), std::to_string(round));
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    for (int t = 0; t < kThreads; ++t) {
        EXPECT_EQ(failures[t], "") << "thread " << t;
        EXPECT_EQ(ReadFile(dirs[t].File("b.txt")), "a\r\n" + std::to_string(t) + "\r\nc\r\n");
    }
}

}  // namespace
