// The memory floor of the data model: what a loaded tree needs at the least, computed from
// the sizes of its types and the allocator's block sizes, beside what the tree that a load
// built holds (the room its lists and strings took) and the rise of the process's peak
// resident set while it loaded. Every list and every string that leaves its text in place
// is a heap block of its own; the floor gives each exactly the room it needs.
//   qelcfg_bench_floor FILE  ->  one "name value" line per figure
// Built for the host and for 32-bit ARM (run under qemu-user, where only the floor and the
// held bytes mean anything: the resident set is the emulator's).
#include <malloc.h>
#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "IniFile.h"
#include "TreeAccess.h"  // the whole value's room is not part of the interface

namespace {

// The size of the heap block that a request of `size` bytes takes, header included, as the
// allocator reports it.
class BlockSizes {
public:
    std::size_t Of(std::size_t size) {
        auto found = m_known.find(size);
        if (found != m_known.end()) {
            return found->second;
        }
        void* p = std::malloc(size);
        const std::size_t block = ::malloc_usable_size(p) + sizeof(std::size_t);
        std::free(p);
        return m_known[size] = block;
    }

private:
    std::map<std::size_t, std::size_t> m_known;
};

const std::size_t kInPlace = std::string().capacity();  // what a string holds without the heap

// Bytes of the tree: every list and string at its length (the floor), and at the room it
// holds; and the number of heap blocks of the floor.
struct Tally {
    BlockSizes blocks;
    std::size_t floor = 0;
    std::size_t held = 0;
    std::size_t count = 0;  // heap blocks of the floor

    void String(std::size_t length, std::size_t room) {
        Block(length > kInPlace, length + 1);
        held += room > kInPlace ? blocks.Of(room + 1) : 0;
    }
    template <class T>
    void List(std::size_t length, std::size_t room) {
        Block(length > 0, length * sizeof(T));
        held += room > 0 ? blocks.Of(room * sizeof(T)) : 0;
    }
    void Block(bool needed, std::size_t size) {
        if (needed) {
            floor += blocks.Of(size);
            ++count;
        }
    }
};

long PeakRssKib() {
    struct rusage usage;
    return ::getrusage(RUSAGE_SELF, &usage) == 0 ? usage.ru_maxrss : -1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FILE\n", argv[0]);
        return 2;
    }
    const long before = PeakRssKib();
    CIniFile ini;
    if (!ini.Attach(argv[1])) {
        std::perror(argv[1]);
        return 1;
    }
    const long peak = PeakRssKib();
    CIni& tree = ini.GetCfg();
    Tally tally;
    std::size_t entries = 0;
    tally.List<CIniSection>(tree.size(), tree.GetVecValue()->capacity());
    for (CIniSection& section : tree) {
        tally.String(section.GetKey().size(), section.GetKey().capacity());
        tally.List<CIniPair>(section.size(), section.GetVecValue()->capacity());
        for (CIniPair& pair : section) {
            ++entries;
            tally.String(pair.GetKey().size(), pair.GetKey().capacity());
            const std::string& whole = qelcfg::detail::WholeValueOf(pair);
            tally.String(whole.size(), whole.capacity());
            tally.List<std::string>(pair.size(), pair.GetVecValue()->capacity());
            for (const std::string& item : pair) {
                tally.String(item.size(), item.capacity());
            }
        }
    }
    const double perEntry = entries > 0 ? 1.0 / static_cast<double>(entries) : 0.0;
    std::printf("pointer_bits %zu\n", sizeof(void*) * 8);
    std::printf("sizeof_CIniPair %zu\nsizeof_CIniSection %zu\nsizeof_string %zu\n",
                sizeof(CIniPair), sizeof(CIniSection), sizeof(std::string));
    std::printf("string_in_place %zu\nblock_of_1 %zu\nblock_of_32 %zu\n", kInPlace,
                tally.blocks.Of(1), tally.blocks.Of(32));
    std::printf("sections %u\nentries %zu\n", tree.size(), entries);
    std::printf("floor_bytes %zu\nfloor_per_entry %.1f\n", tally.floor,
                static_cast<double>(tally.floor) * perEntry);
    std::printf("blocks_per_entry %.2f\n", static_cast<double>(tally.count) * perEntry);
    std::printf("held_bytes %zu\nheld_per_entry %.1f\n", tally.held,
                static_cast<double>(tally.held) * perEntry);
    std::printf("rss_before_kib %ld\nrss_peak_kib %ld\n", before, peak);
    return 0;
}
