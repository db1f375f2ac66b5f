// Very large and hostile files: each loads without a crash, gives the tree its lines make,
// and costs memory in proportion to that tree, never to a line's repetition. Each load
// runs in a child process, so that its peak resident memory is its own.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>

#include "IniFile.h"
#include "TestUtil.h"

namespace {

using qeltest::TempDir;

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kPlainAllocator = false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kPlainAllocator = false;
#else
constexpr bool kPlainAllocator = true;
#endif
#else
constexpr bool kPlainAllocator = true;
#endif

constexpr long long kMiB = 1024 * 1024;

struct LoadResult {
    bool exited = false;
    bool loaded = false;
    long long sections = 0;
    long long entries = 0;
    long long longestValue = 0;
    long long startKb = 0;
    long long peakKb = 0;
};

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

// Forgets the peak so far, so that VmHWM from here on is the peak of what follows.
void ResetPeak() {
    FILE* refs = std::fopen("/proc/self/clear_refs", "w");
    if (refs != nullptr) {
        std::fputs("5", refs);
        std::fclose(refs);
    }
}

void CountTree(CIniFile& ini, LoadResult& result) {
    for (const CIniSection& section : ini.GetCfg()) {
        ++result.sections;
        for (const CIniPair& pair : section) {
            ++result.entries;
            long long length = static_cast<long long>(pair.GetWholeValue().size());
            result.longestValue = std::max(result.longestValue, length);
        }
    }
}

// Attaches `path` in a child process and reports what the tree holds and how far the
// child's resident memory rose above where it stood before the load.
LoadResult LoadInChild(const std::string& path) {
    int pipeFds[2];
    if (::pipe(pipeFds) != 0) {
        return LoadResult{};
    }
    pid_t child = ::fork();
    if (child == 0) {
        ::close(pipeFds[0]);
        LoadResult result;
        ResetPeak();
        result.startKb = StatusKb("VmRSS:");
        {
            CIniFile ini;
            result.loaded = ini.Attach(path.c_str());
            CountTree(ini, result);
        }
        result.peakKb = StatusKb("VmHWM:");
        ssize_t written = ::write(pipeFds[1], &result, sizeof result);
        ::_exit(written == static_cast<ssize_t>(sizeof result) ? 0 : 1);
    }
    ::close(pipeFds[1]);
    LoadResult result;
    ssize_t got = child > 0 ? ::read(pipeFds[0], &result, sizeof result) : -1;
    ::close(pipeFds[0]);
    int status = 0;
    if (child > 0 && ::waitpid(child, &status, 0) == child && WIFEXITED(status) &&
        WEXITSTATUS(status) == 0 && got == static_cast<ssize_t>(sizeof result)) {
        result.exited = true;
    }
    return result;
}

// Writes the file in pieces, so that the test itself never holds it whole.
long long WriteGenerated(const std::string& path,
                         const std::function<bool(std::string& piece)>& next) {
    FILE* out = std::fopen(path.c_str(), "wb");
    long long size = 0;
    std::string piece;
    while (out != nullptr && next(piece)) {
        size += static_cast<long long>(std::fwrite(piece.data(), 1, piece.size(), out));
        piece.clear();
    }
    if (out != nullptr) {
        std::fclose(out);
    }
    return size;
}

// `count` pieces, the i-th made by make(i, piece).
std::function<bool(std::string&)> Pieces(long long count,
                                         std::function<void(long long, std::string&)> make) {
    auto i = std::make_shared<long long>(0);
    return [count, make, i](std::string& piece) {
        if (*i >= count) {
            return false;
        }
        make((*i)++, piece);
        return true;
    };
}

std::function<bool(std::string&)> Repeated(const std::string& block, long long times) {
    return Pieces(times, [block](long long, std::string& piece) { piece = block; });
}

struct Case {
    const char* name;
    std::function<bool(std::string&)> content;
    long long sections, entries, longestValue;
    // The rise of resident memory allowed: per byte of the file, plus a fixed allowance.
    long long perFileByte, fixedMiB;
};

TEST(LargeInput, HugeAndHostileFilesLoadInMemoryBoundedByTheirTree) {
    const std::string line64MiB(64 * kMiB, 'v');
    Case cases[] = {
        {"a million lines, a section every ten",
         Pieces(1000000,
                [](long long i, std::string& piece) {
                    char text[64];
                    int n = i % 10 == 0
                                ? std::snprintf(text, sizeof text, "[s%lld]\n", i)
                                : std::snprintf(text, sizeof text, "key%lld = %lld, x\n", i, i);
                    piece.assign(text, static_cast<std::size_t>(n));
                }),
         100000, 900000, 8, 24, 32},
        {"a section of 100,000 keys",
         Pieces(100001,
                [](long long i, std::string& piece) {
                    piece = i == 0 ? "[big]\n"
                                   : "k" + std::to_string(i) + "=" + std::to_string(i) + "\n";
                }),
         1, 100000, 6, 48, 32},
        {"100,000 sections",
         Pieces(100000,
                [](long long i, std::string& piece) {
                    piece = "[section " + std::to_string(i) + "]\r\nk=v\r\n\r\n";
                }),
         100000, 100000, 1, 24, 32},
        {"a key line of 64 MiB",
         Pieces(3,
                [&line64MiB](long long i, std::string& piece) {
                    piece = i == 0 ? "[A]\nk=" : i == 1 ? line64MiB : "\n";
                }),
         1, 1, 64 * kMiB, 8, 32},
        {"16 MiB without a line end", Repeated(std::string(kMiB, 'a'), 16), 0, 0, 0, 3, 32},
        {"16 MiB of NUL and 0xFF bytes",
         Repeated(std::string(4096, '\0') + std::string(4096, '\xFF'), 2048), 0, 0, 0, 3, 32},
        {"16 MiB of CR", Repeated(std::string(kMiB, '\r'), 16), 0, 0, 0, 0, 16},
    };
    TempDir dir;
    for (Case& c : cases) {
        const std::string path = dir.File("large.ini");
        const long long size = WriteGenerated(path, c.content);
        LoadResult r = LoadInChild(path);
        std::remove(path.c_str());
        ASSERT_TRUE(r.exited) << c.name;
        EXPECT_TRUE(r.loaded) << c.name;
        EXPECT_EQ(r.sections, c.sections) << c.name;
        EXPECT_EQ(r.entries, c.entries) << c.name;
        EXPECT_EQ(r.longestValue, c.longestValue) << c.name;
        const long long rise = (r.peakKb - r.startKb) * 1024;
        std::printf("[ memory   ] %-40s file %6.1f MiB, peak rise %7.1f MiB (%.1f x file)\n",
                    c.name, static_cast<double>(size) / kMiB, static_cast<double>(rise) / kMiB,
                    static_cast<double>(rise) / static_cast<double>(size));
        // Under a sanitizer the allocator's own bookkeeping dominates the figure.
        if (kPlainAllocator) {
            EXPECT_LE(rise, c.perFileByte * size + c.fixedMiB * kMiB) << c.name;
        }
    }
}

}  // namespace
