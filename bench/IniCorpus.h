// Seeded INI files for the benchmarks, in the subset that every INI library compared here
// reads alike: "[name]" headers, "key=value" lines (sometimes with blanks around the "="),
// one blank line after each section; no comments, quotes, backslashes, ":" or ";", no
// continuation lines, no duplicate sections or keys, no key before the first header, no
// blanks around commas, and every line under 190 characters. Names are lower case, so a
// library that folds case sees the same names.
#ifndef QEL_CFGFILE_BENCH_INICORPUS_H
#define QEL_CFGFILE_BENCH_INICORPUS_H

#include <cstdint>
#include <string>
#include <vector>

namespace qelbench {

// What a reader must find in a file: sections, key entries, and the bytes of all keys and
// values as a reader hands them out (trimmed, without "=" or line ends).
struct CorpusCounts {
    std::uint64_t sections = 0;
    std::uint64_t keys = 0;
    std::uint64_t kvBytes = 0;
    bool operator==(const CorpusCounts& o) const {
        return sections == o.sections && keys == o.keys && kvBytes == o.kvBytes;
    }
    bool operator!=(const CorpusCounts& o) const { return !(*this == o); }
};

struct CorpusShape {
    const char* name;  // "S", "M", "L", "wide"
    int sections;
    int keysPerSection;
};

// S ~100 lines, M ~10,000 lines in 100 sections, L ~1,000,000 lines in 1,000 sections
// (~33 MB), wide: one section of 100,000 keys.
const std::vector<CorpusShape>& CorpusShapes();
// The shape of that name, or null.
const CorpusShape* FindShape(const std::string& name);

// The text of a file of that shape; the same seed always gives the same bytes.
std::string MakeCorpus(const CorpusShape& shape, std::uint64_t seed, CorpusCounts* counts);

// One section "[long]" holding a single key whose value is one line of `length` bytes
// of words and blanks (no commas): the file of very long lines.
std::string MakeLongLine(std::size_t length, std::uint64_t seed);

// Writes `text` to `path`; false on failure.
bool WriteWholeFile(const std::string& path, const std::string& text);

// The default seed of the published figures.
constexpr std::uint64_t kDefaultSeed = 20240607;

// Where the benchmark files live: $QELCFG_BENCH_DATA, else /tmp/qelcfg-bench-data.
std::string DataDir();
// The path of the corpus file of that shape under DataDir(), written first when it is
// missing. Empty on failure.
std::string CorpusFile(const CorpusShape& shape);
std::string LongLineFile(std::size_t length);

}  // namespace qelbench

#endif  // QEL_CFGFILE_BENCH_INICORPUS_H
