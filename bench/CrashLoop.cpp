// Saves and line edits killed (SIGKILL) at random points, 300 times each, with a table of
// what each kill left. The file must always be the old text or the new one, byte for byte
// (in place, a partial file is allowed only with the complete new text in "~new" beside
// it). A kill while the new file is written leaves it under its own ".qc-" name, and the
// file's next save removes it. Exits 1 when any kill left something else. Takes about a
// minute.
// Usage: qelcfg_bench_crashloop [DIR]   (default /tmp)
#include <dirent.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <sys/stat.h>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "IniFile.h"

namespace {

constexpr int kRounds = 300;

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

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

// The names in `dir` other than "." and "..", sorted, one per line.
std::string Listing(const std::string& dir) {
    std::string names;
    std::vector<std::string> all;
    DIR* d = ::opendir(dir.c_str());
    while (const dirent* entry = d != nullptr ? ::readdir(d) : nullptr) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..") {
            all.push_back(name);
        }
    }
    if (d != nullptr) {
        ::closedir(d);
    }
    std::sort(all.begin(), all.end());
    for (const std::string& name : all) {
        names += name + "\n";
    }
    return names;
}

struct Operation {
    const char* name;
    std::string changed;
    std::string leftOver;  // what the directory may hold besides the file
    bool twin;             // a second hard link: written in place
    std::function<bool(CIniFile&)> run;
};

}  // namespace

int main(int argc, char** argv) {
    char pattern[] = "/tmp/qelcfg-crash-XXXXXX";
    std::string base = argc > 1 ? std::string(argv[1]) + "/qelcfg-crash-XXXXXX" : pattern;
    if (::mkdtemp(&base[0]) == nullptr) {
        std::perror("mkdtemp");
        return 2;
    }
    const std::string bulk(200, 'v');
    std::string old;
    for (int i = 0; i < 4000; ++i) {
        old += "k" + std::to_string(i) + "=" + bulk + "\r\n";
    }
    old = "[A]\r\n" + old + "\r\n";
    const std::string added = old.substr(0, old.size() - 2) + "new=1\r\n\r\n";
    const Operation operations[] = {
        {"save", added, "", false,
         [](CIniFile& ini) { return ini.AddValue("A", "new", "1", false); }},
        {"line edit", old.substr(5), "a.ini~tmp\n", false,
         [](CIniFile& ini) { return ini.RemoveTextLine(0); }},
        {"in-place save", added, "a.ini~new\nb.ini\n", true,
         [](CIniFile& ini) { return ini.AddValue("A", "new", "1", false); }},
    };
    std::mt19937 random(20261206u);
    int failures = 0;
    std::printf("%-14s %6s %6s %6s %14s %16s %9s\n", "operation", "kills", "old", "new",
                "partial (~new)", "named copy left", "run (us)");
    for (const Operation& op : operations) {
        const std::string dir = base + "/" + std::to_string(&op - operations);
        ::mkdir(dir.c_str(), 0700);
        const std::string path = dir + "/a.ini";
        CIniFile ini;
        auto prepare = [&ini, &path]() { ini.Attach(path.c_str()); };
        auto work = [&ini, &op]() { return op.run(ini); };
        WriteFile(path, old);
        if (op.twin && ::link(path.c_str(), (dir + "/b.ini").c_str()) != 0) {
            std::perror("link");
            return 2;
        }
        // The shortest of a few whole runs, so that one slow flush does not spread the
        // kills past the end of most runs.
        long whole = -1;
        for (int run = 0; run < 3; ++run) {
            WriteFile(path, old);
            long took = RunKilled(prepare, work, -1);
            whole = whole < 0 ? took : std::min(whole, took);
            failures += ReadFile(path) != op.changed;
        }
        const std::string plain = op.twin ? "a.ini\nb.ini\n" : "a.ini\n";
        int olds = 0, news = 0, copies = 0, partial = 0;
        for (int round = 0; round < kRounds; ++round) {
            WriteFile(path, old);
            ::unlink((path + "~tmp").c_str());
            ::unlink((path + "~new").c_str());
            std::uniform_int_distribution<long> delay(0, whole + whole / 4);
            RunKilled(prepare, work, delay(random));
            const std::string text = ReadFile(path);
            const bool isOld = text == old, isNew = text == op.changed;
            olds += isOld;
            news += isNew;
            partial += !isOld && !isNew;
            failures += !isOld && !isNew && ReadFile(path + "~new") != op.changed;
            std::string listing = Listing(dir);
            // A new file left under its own hidden ".qc-" name, which the next save removes.
            if (listing.find(".qc-") != std::string::npos) {
                ++copies;
                WriteFile(path, old);
                RunKilled(prepare, work, -1);
                listing = Listing(dir);
                failures += listing.find(".qc-") != std::string::npos;
            }
            failures += listing != plain && listing != "a.ini\n" + op.leftOver;
        }
        std::printf("%-14s %6d %6d %6d %14d %16d %9ld\n", op.name, kRounds, olds, news, partial,
                    copies, whole);
    }
    std::printf(failures == 0 ? "every kill left the old or the new text\n"
                              : "%d kills left something else\n",
                failures);
    std::string cleanup = "rm -rf '" + base + "'";
    return (std::system(cleanup.c_str()) == 0 && failures == 0) ? 0 : 1;
}
