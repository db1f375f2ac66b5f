// Writers of one file at once, each adding keys of its own, 60 each: two processes whose
// loaded trees add their keys (Attach, then AddValue), then one such process beside qelcfg's
// sets. For each writer: the updates it reported done, those it reported failed, and those
// lost without a report (reported done but not in the file). Exits 1 when any was lost.
// Usage: qelcfg_bench_writers QELCFG [DIR]   (QELCFG: the tool's path; DIR default /tmp)
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "IniFile.h"

namespace {

constexpr int kUpdates = 60;

// The keys that a writer reported done, one a line.
using Writer = std::function<std::string(const std::string& file, const std::string& name)>;

std::string LibraryWriter(const std::string& file, const std::string& name) {
    std::string done;
    for (int i = 0; i < kUpdates; ++i) {
        const std::string key = name + std::to_string(i);
        CIniFile ini;
        if (ini.Attach(file.c_str()) && ini.AddValue("S", key.c_str(), "1", true)) {
            done += key + "\n";
        }
    }
    return done;
}

Writer ToolWriter(const std::string& tool) {
    return [tool](const std::string& file, const std::string& name) {
        std::string done;
        for (int i = 0; i < kUpdates; ++i) {
            const std::string key = name + std::to_string(i);
            if (std::system((tool + " set '" + file + "' S " + key + " 1").c_str()) == 0) {
                done += key + "\n";
            }
        }
        return done;
    };
}

// Runs the writers at once on a new file, then prints a line for each.
int Race(const std::string& dir, const std::string& title, const std::vector<Writer>& writers) {
    const std::string file = dir + "/race.ini";
    std::ofstream(file, std::ios::trunc) << "[S]\n";
    std::vector<pid_t> children;
    for (std::size_t w = 0; w < writers.size(); ++w) {
        const pid_t pid = ::fork();
        if (pid == 0) {
            const std::string name = "w" + std::to_string(w) + "_";
            std::ofstream(dir + "/" + name) << writers[w](file, name);
            ::_exit(0);
        }
        children.push_back(pid);
    }
    for (pid_t pid : children) {
        ::waitpid(pid, nullptr, 0);
    }
    CIniFile ini;
    ini.Attach(file.c_str());
    int lost = 0;
    for (std::size_t w = 0; w < writers.size(); ++w) {
        std::ifstream done(dir + "/w" + std::to_string(w) + "_");
        int reported = 0, missing = 0;
        for (std::string key; std::getline(done, key); ++reported) {
            char value[513];
            missing += ini.GetValue("S", key.c_str(), value) ? 0 : 1;
        }
        std::printf("%-34s writer %zu: %2d done, %2d reported failed, %2d lost without a report\n",
                    title.c_str(), w, reported, kUpdates - reported, missing);
        lost += missing;
    }
    return lost;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: qelcfg_bench_writers QELCFG [DIR]\n");
        return 2;
    }
    std::string dir = (argc > 2 ? std::string(argv[2]) : "/tmp") + "/qelcfg-writers-XXXXXX";
    if (::mkdtemp(&dir[0]) == nullptr) {
        std::perror("mkdtemp");
        return 2;
    }
    const int lost =
        Race(dir, "two library writers", {LibraryWriter, LibraryWriter}) +
        Race(dir, "a library writer beside qelcfg set", {LibraryWriter, ToolWriter(argv[1])});
    std::system(("rm -rf '" + dir + "'").c_str());
    return lost == 0 ? 0 : 1;
}
