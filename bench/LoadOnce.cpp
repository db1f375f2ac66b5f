// Loads one file with one reader in a process of its own and reports what it found, how
// long the load took and the process's peak resident set:
//   qelcfg_bench_load READER FILE [--check]  ->  READER LOAD_MS PEAK_RSS_KIB [COUNTS]
// With --check it then counts the sections, keys and key+value bytes the reader holds
// (after the peak was taken, since counting may load the file once more). READER "none"
// loads nothing and shows the resident set of the process itself.
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>

#include "Readers.h"

namespace {

long PeakRssKib() {
    struct rusage usage;
    return ::getrusage(RUSAGE_SELF, &usage) == 0 ? usage.ru_maxrss : -1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::string(argv[1]) == "--list") {
        for (const std::string& name : qelbench::ReaderNames()) {
            std::printf("%s\n", name.c_str());
        }
        return 0;
    }
    const bool check = argc == 4 && std::string(argv[3]) == "--check";
    if (argc != 3 && !check) {
        std::fprintf(stderr, "usage: %s READER FILE [--check]\n", argv[0]);
        return 2;
    }
    const std::string name = argv[1];
    if (name == "none") {
        std::printf("none 0 %ld\n", PeakRssKib());
        return 0;
    }
    std::unique_ptr<qelbench::Reader> reader = qelbench::MakeReader(name);
    if (!reader) {
        std::fprintf(stderr, "no reader %s in this build\n", argv[1]);
        return 2;
    }
    auto start = std::chrono::steady_clock::now();
    bool loaded = reader->Load(argv[2]);
    auto stop = std::chrono::steady_clock::now();
    long peak = PeakRssKib();
    if (!loaded) {
        std::fprintf(stderr, "%s refused %s\n", argv[1], argv[2]);
        return 1;
    }
    std::printf("%s %.3f %ld", argv[1],
                std::chrono::duration<double, std::milli>(stop - start).count(), peak);
    if (check) {
        qelbench::CorpusCounts counts = reader->Count(qelbench::CatalogOf(argv[2]));
        std::printf(" %llu %llu %llu", static_cast<unsigned long long>(counts.sections),
                    static_cast<unsigned long long>(counts.keys),
                    static_cast<unsigned long long>(counts.kvBytes));
    }
    std::printf("\n");
    return 0;
}
