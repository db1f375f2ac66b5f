// Memory figures of the library, reported rather than checked:
//  - allocations made by lookups and typed reads on a loaded tree (every call of
//    operator new in the program and the library is counted);
//  - very large and hostile files: each is loaded in a child process of its own, and
//    the tree it gives is shown beside the rise of the child's peak resident memory,
//    so that memory in proportion to the tree, not to a line's repetition, shows.
// Usage: qelcfg_bench_memory [DIR]   (DIR holds the generated files; default /tmp)
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>

#include "CountingNew.h"
#include "IniFile.h"

namespace {

constexpr long long kMiB = 1024 * 1024;

long AllocationsOfLookups(const std::string& dir) {
    const std::string path = dir + "/qelcfg-alloc.ini";
    FILE* out = std::fopen(path.c_str(), "wb");
    if (out == nullptr) {
        return -1;
    }
    // Names and values longer than any string keeps without the heap.
    std::fputs(
        "[first_section_with_a_long_name]\n"
        "first_key_with_a_long_name = 1234567,  -42 , 3.25 , yes, 4294967295\n"
        "[second_section_with_a_long_name]\n"
        "another_key_of_considerable_size =   000000000000000000017,0.000000000000000125\n",
        out);
    std::fclose(out);
    CIniFile ini;
    if (!ini.Attach(path.c_str())) {
        return -1;
    }
    const char* const section = "second_section_with_a_long_name";
    const char* const key = "another_key_of_considerable_size";
    char value[513];
    char text[64];
    int i = 0;
    unsigned u = 0;
    double d = 0;
    bool b = false;
    unsigned long c = 0;
    qelbench::g_newCalls = 0;
    ini.GetValue(section, key, value);
    ini.GetValue(section, "missing_key_of_a_long_name", value);
    ini.GetCfg().GetKeyValue("first_section_with_a_long_name", "first_key_with_a_long_name", value);
    if (CIniSection* found = ini.GetCfg().FindSection(section)) {
        found->FindKV(key, value);
        if (CIniPair* pair = found->FindKey(key)) {
            pair->GetInt(0, i);
            pair->GetUnsignedInt(0, u);
            pair->GetColor(0, c);
            pair->GetFloat(1, d);
            pair->GetBool(0, b);
            pair->GetString(1, text, sizeof text);
        }
    }
    const long calls = qelbench::g_newCalls;
    std::remove(path.c_str());
    return calls;
}

long long StatusKb(const char* field) {
    FILE* status = std::fopen("/proc/self/status", "r");
    char line[256];
    long long kb = -1;
    const std::size_t length = std::strlen(field);
    while (status != nullptr && std::fgets(line, sizeof line, status) != nullptr) {
        if (std::strncmp(line, field, length) == 0) {
            kb = std::atoll(line + length);
        }
    }
    if (status != nullptr) {
        std::fclose(status);
    }
    return kb;
}

struct LoadResult {
    bool exited = false;
    bool loaded = false;
    long long sections = 0, entries = 0, longestValue = 0, startKb = 0, peakKb = 0;
};

// Attaches `path` in a child process; the child forgets its peak first, so VmHWM is the
// peak of the load.
LoadResult LoadInChild(const std::string& path) {
    int fds[2];
    LoadResult result;
    if (::pipe(fds) != 0) {
        return result;
    }
    pid_t child = ::fork();
    if (child == 0) {
        ::close(fds[0]);
        if (FILE* refs = std::fopen("/proc/self/clear_refs", "w")) {
            std::fputs("5", refs);
            std::fclose(refs);
        }
        result.startKb = StatusKb("VmRSS:");
        {
            CIniFile ini;
            result.loaded = ini.Attach(path.c_str());
            for (const CIniSection& section : ini.GetCfg()) {
                ++result.sections;
                for (const CIniPair& pair : section) {
                    ++result.entries;
                    result.longestValue = std::max(
                        result.longestValue, static_cast<long long>(pair.GetWholeValue().size()));
                }
            }
        }
        result.peakKb = StatusKb("VmHWM:");
        ssize_t written = ::write(fds[1], &result, sizeof result);
        ::_exit(written == static_cast<ssize_t>(sizeof result) ? 0 : 1);
    }
    ::close(fds[1]);
    ssize_t got = child > 0 ? ::read(fds[0], &result, sizeof result) : -1;
    ::close(fds[0]);
    int status = 0;
    result.exited = child > 0 && ::waitpid(child, &status, 0) == child && WIFEXITED(status) &&
                    WEXITSTATUS(status) == 0 && got == static_cast<ssize_t>(sizeof result);
    return result;
}

// Writes `count` pieces, the i-th made by make(i, piece), so the program never holds the
// file whole.
long long WriteGenerated(const std::string& path, long long count,
                         const std::function<void(long long, std::string&)>& make) {
    FILE* out = std::fopen(path.c_str(), "wb");
    long long size = 0;
    std::string piece;
    for (long long i = 0; out != nullptr && i < count; ++i) {
        make(i, piece);
        size += static_cast<long long>(std::fwrite(piece.data(), 1, piece.size(), out));
    }
    if (out != nullptr) {
        std::fclose(out);
    }
    return size;
}

struct Case {
    const char* name;
    long long count;
    std::function<void(long long, std::string&)> make;
    long long sections, entries, longestValue;  // the tree the lines make
};

}  // namespace

int main(int argc, char** argv) {
    const std::string dir = argc > 1 ? argv[1] : "/tmp";
    std::printf("allocations during 3 lookups, 2 key lookups and 6 typed reads: %ld\n\n",
                AllocationsOfLookups(dir));

    const std::string line64MiB(64 * kMiB, 'v');
    const std::string noLineEnd(kMiB, 'a');
    const std::string binary = std::string(4096, '\0') + std::string(4096, '\xFF');
    const std::string carriageReturns(kMiB, '\r');
    const Case cases[] = {
        {"a million lines, a section every ten", 1000000,
         [](long long i, std::string& piece) {
             piece = i % 10 == 0 ? "[s" + std::to_string(i) + "]\n"
                                 : "key" + std::to_string(i) + " = " + std::to_string(i) + ", x\n";
         },
         100000, 900000, 8},
        {"a section of 100,000 keys", 100001,
         [](long long i, std::string& piece) {
             piece = i == 0 ? "[big]\n" : "k" + std::to_string(i) + "=" + std::to_string(i) + "\n";
         },
         1, 100000, 6},
        {"100,000 sections", 100000,
         [](long long i, std::string& piece) {
             piece = "[section " + std::to_string(i) + "]\r\nk=v\r\n\r\n";
         },
         100000, 100000, 1},
        {"a key line of 64 MiB", 3,
         [&](long long i, std::string& piece) {
             piece = i == 0 ? "[A]\nk=" : i == 1 ? line64MiB : "\n";
         },
         1, 1, 64 * kMiB},
        {"16 MiB without a line end", 16, [&](long long, std::string& p) { p = noLineEnd; }, 0, 0,
         0},
        {"16 MiB of NUL and 0xFF bytes", 2048, [&](long long, std::string& p) { p = binary; }, 0, 0,
         0},
        {"16 MiB of CR", 16, [&](long long, std::string& p) { p = carriageReturns; }, 0, 0, 0},
    };
    std::printf("%-38s %9s %9s %9s %11s %12s %8s\n", "file", "MiB", "sections", "entries",
                "longest", "peak rise", "x file");
    int wrong = 0;
    const std::string path = dir + "/qelcfg-large.ini";
    for (const Case& c : cases) {
        const long long size = WriteGenerated(path, c.count, c.make);
        const LoadResult r = LoadInChild(path);
        std::remove(path.c_str());
        const bool right = r.exited && r.loaded && r.sections == c.sections &&
                           r.entries == c.entries && r.longestValue == c.longestValue;
        wrong += !right;
        const double rise = static_cast<double>((r.peakKb - r.startKb) * 1024);
        std::printf("%-38s %9.1f %9lld %9lld %11lld %8.1f MiB %8.2f%s\n", c.name,
                    static_cast<double>(size) / kMiB, r.sections, r.entries, r.longestValue,
                    rise / kMiB, rise / static_cast<double>(size),
                    right ? "" : "  (not the tree the lines make)");
    }
    return wrong == 0 ? 0 : 1;
}
