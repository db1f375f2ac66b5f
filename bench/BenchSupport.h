// What the benchmark cases share: the benchmark files with what this library reads in
// them, lookup keys, and the rates that every case reports.
#ifndef QEL_CFGFILE_BENCH_BENCHSUPPORT_H
#define QEL_CFGFILE_BENCH_BENCHSUPPORT_H

#include <benchmark/benchmark.h>

#include <string>
#include <utility>
#include <vector>

#include "IniCorpus.h"
#include "Readers.h"

namespace qelbench {

// A benchmark file, what this library reads in it, and whether that is what the
// generator wrote.
struct Corpus {
    std::string path;
    long bytes = 0;
    Catalog catalog;
    bool valid = false;
};

// The file of that shape, written on first use and read once.
const Corpus& CorpusFor(const CorpusShape& shape);
long FileSize(const std::string& path);
// `count` seeded (section, key) pairs that all exist in the file.
std::vector<std::pair<std::string, std::string>> LookupKeys(const Catalog& catalog, int count);
// Bytes per second from the file's size and items per second from its key count.
void SetRates(benchmark::State& state, const Corpus& corpus);

// This library's own cases: loading through Set, very long lines, the lookups and typed
// reads, the section lookup from the file, and the two line edits.
void RegisterOwnCases(const std::vector<const CorpusShape*>& shapes,
                      const std::vector<std::size_t>& longLines);

}  // namespace qelbench

#endif  // QEL_CFGFILE_BENCH_BENCHSUPPORT_H
