// Writes a benchmark file: qelcfg_bench_gen S|M|L|wide|long:LENGTH OUT [SEED]. Prints the
// counts that a reader must find in it.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "IniCorpus.h"

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s S|M|L|wide|long:LENGTH OUT [SEED]\n", argv[0]);
        return 2;
    }
    const std::string kind = argv[1];
    const std::uint64_t seed =
        argc > 3 ? std::strtoull(argv[3], nullptr, 10) : qelbench::kDefaultSeed;
    qelbench::CorpusCounts counts;
    std::string text;
    if (kind.compare(0, 5, "long:") == 0) {
        text = qelbench::MakeLongLine(std::strtoull(kind.c_str() + 5, nullptr, 10), seed);
        counts = {1, 1, 0};
    } else if (const qelbench::CorpusShape* shape = qelbench::FindShape(kind)) {
        text = qelbench::MakeCorpus(*shape, seed, &counts);
    } else {
        std::fprintf(stderr, "unknown kind of file: %s\n", kind.c_str());
        return 2;
    }
    if (!qelbench::WriteWholeFile(argv[2], text)) {
        std::perror(argv[2]);
        return 1;
    }
    std::printf("%s: %zu bytes, %llu sections, %llu keys, %llu key+value bytes\n", argv[2],
                text.size(), static_cast<unsigned long long>(counts.sections),
                static_cast<unsigned long long>(counts.keys),
                static_cast<unsigned long long>(counts.kvBytes));
    return 0;
}
