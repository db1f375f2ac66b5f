// One face for every INI reader compared by the benchmarks: this library and, where their
// packages were found at configure time, inih (its C parser with a no-op handler, the
// parse-only floor, and its C++ INIReader), SimpleIni, GLib's GKeyFile and
// Boost.PropertyTree.
#ifndef QEL_CFGFILE_BENCH_READERS_H
#define QEL_CFGFILE_BENCH_READERS_H

#include <cstdio>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "IniCorpus.h"

namespace qelbench {

// The sections and keys of a loaded file, in file order, as this library read them: the
// reference that the other readers are checked against and the source of lookup keys.
struct Catalog {
    std::vector<std::pair<std::string, std::vector<std::string>>> sections;
    CorpusCounts counts;
};

class Reader {
public:
    virtual ~Reader() = default;
    virtual const char* Name() const = 0;
    // Whether the reader builds a structure that can be queried (the parse-only floor
    // does not).
    virtual bool BuildsTree() const { return true; }
    virtual bool CanLookUp() const { return true; }
    virtual bool CanSave() const { return true; }

    // Drops what was loaded before and reads the file. False when the reader refuses it.
    virtual bool Load(const std::string& path) = 0;
    // What the last load found. Readers that cannot list their content report what they
    // hold of `reference` (every section and key probed, their values measured).
    virtual CorpusCounts Count(const Catalog& reference) = 0;
    // The length of the value of `key` in `section`, or -1 when there is none.
    virtual long LookUp(const char* section, const char* key) = 0;
    // Writes what was loaded as INI text to `fp` and closes it.
    virtual bool SaveTo(std::FILE* fp) = 0;
    // Writes what was loaded as INI text to the file at `path`.
    virtual bool SaveFile(const std::string& path) = 0;
};

// "qelcfg" first, then every peer compiled in.
std::vector<std::string> ReaderNames();
// A new reader of that name, or null when it was not compiled in.
std::unique_ptr<Reader> MakeReader(const std::string& name);

// Loads `path` with this library and lists what it holds.
Catalog CatalogOf(const std::string& path);

}  // namespace qelbench

#endif  // QEL_CFGFILE_BENCH_READERS_H
