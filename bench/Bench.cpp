// The benchmark cases. Every reader compiled in (this library always, the peers when the
// build found them) gets the same load, lookup and save cases on the same files, after a
// check that it reads the same content; this library's own cases follow.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "IniCorpus.h"
#include "Readers.h"

namespace qelbench {
namespace {

std::vector<std::string> SplitList(const char* text) {
    std::vector<std::string> out;
    std::stringstream in(text);
    std::string item;
    while (std::getline(in, item, ',')) {
        if (!item.empty()) {
            out.push_back(item);
        }
    }
    return out;
}

std::vector<std::string> FromEnv(const char* name, const char* fallback) {
    const char* value = std::getenv(name);
    return SplitList(value != nullptr ? value : fallback);
}

std::string Describe(const CorpusCounts& c) {
    return std::to_string(c.sections) + " sections, " + std::to_string(c.keys) + " keys, " +
           std::to_string(c.kvBytes) + " key+value bytes";
}

// Loads the file with `reader` and checks that it holds what this library holds.
bool ReadsSameContent(benchmark::State& state, Reader& reader, const Corpus& corpus) {
    if (!corpus.valid) {
        state.SkipWithError("the benchmark file does not hold what the generator wrote");
        return false;
    }
    if (!reader.Load(corpus.path)) {
        state.SkipWithError("the reader refused the file");
        return false;
    }
    CorpusCounts seen = reader.Count(corpus.catalog);
    if (seen != corpus.catalog.counts) {
        std::string why = "read other content: " + Describe(seen) + " instead of " +
                          Describe(corpus.catalog.counts);
        state.SkipWithError(why.c_str());
        return false;
    }
    return true;
}

using BenchCase = void (*)(benchmark::State&, const std::string&, const CorpusShape&);

void Load(benchmark::State& state, const std::string& name, const CorpusShape& shape) {
    const Corpus& corpus = CorpusFor(shape);
    std::unique_ptr<Reader> reader = MakeReader(name);
    if (!ReadsSameContent(state, *reader, corpus)) {
        return;
    }
    for (auto _ : state) {
        state.PauseTiming();
        reader = MakeReader(name);
        state.ResumeTiming();
        benchmark::DoNotOptimize(reader->Load(corpus.path));
        state.PauseTiming();
        reader.reset();
        state.ResumeTiming();
    }
    SetRates(state, corpus);
}

void LookUp(benchmark::State& state, const std::string& name, const CorpusShape& shape) {
    const Corpus& corpus = CorpusFor(shape);
    std::unique_ptr<Reader> reader = MakeReader(name);
    if (!ReadsSameContent(state, *reader, corpus)) {
        return;
    }
    const auto keys = LookupKeys(corpus.catalog, 1000);
    for (auto _ : state) {
        long total = 0;
        for (const auto& key : keys) {
            total += reader->LookUp(key.first.c_str(), key.second.c_str());
        }
        benchmark::DoNotOptimize(total);
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(keys.size()));
}

// Into a memory stream: what writing the text costs, like for like.
void SaveToMemory(benchmark::State& state, const std::string& name, const CorpusShape& shape) {
    const Corpus& corpus = CorpusFor(shape);
    std::unique_ptr<Reader> reader = MakeReader(name);
    if (!ReadsSameContent(state, *reader, corpus)) {
        return;
    }
    for (auto _ : state) {
        char* data = nullptr;
        std::size_t size = 0;
        std::FILE* fp = ::open_memstream(&data, &size);
        bool saved = reader->SaveTo(fp);
        state.PauseTiming();
        std::free(data);
        state.ResumeTiming();
        if (!saved) {
            state.SkipWithError("the save failed");
            break;
        }
    }
    SetRates(state, corpus);
}

// To a file beside the benchmark data. This library replaces the file only once the new
// text is on the disk (fsync of the file and its directory).
void SaveToFile(benchmark::State& state, const std::string& name, const CorpusShape& shape) {
    const Corpus& corpus = CorpusFor(shape);
    std::unique_ptr<Reader> reader = MakeReader(name);
    if (!ReadsSameContent(state, *reader, corpus)) {
        return;
    }
    std::string out = DataDir() + "/save-" + std::to_string(::getpid()) + ".ini";
    for (auto _ : state) {
        if (!reader->SaveFile(out)) {
            state.SkipWithError("the save failed");
            break;
        }
    }
    std::remove(out.c_str());
    SetRates(state, corpus);
}

// Lookups are timed on S and M, saves on S, M and L, loads on every shape.
bool Wanted(const std::string& kind, const CorpusShape& shape) {
    const std::string name = shape.name;
    if (kind == "LookUp") {
        return name == "S" || name == "M";
    }
    if (kind == "SaveMem" || kind == "SaveFile") {
        return name != "wide";
    }
    return true;
}

void RegisterReaderCases(const std::vector<const CorpusShape*>& shapes) {
    for (const std::string& name : ReaderNames()) {
        std::unique_ptr<Reader> probe = MakeReader(name);
        std::vector<std::pair<std::string, BenchCase>> kinds;
        kinds.emplace_back(probe->BuildsTree() ? "Load" : "LoadParseOnly", &Load);
        if (probe->CanLookUp()) {
            kinds.emplace_back("LookUp", &LookUp);
        }
        if (probe->CanSave()) {
            kinds.emplace_back("SaveMem", &SaveToMemory);
            kinds.emplace_back("SaveFile", &SaveToFile);
        }
        for (const auto& kind : kinds) {
            for (const CorpusShape* shape : shapes) {
                if (!Wanted(kind.first, *shape)) {
                    continue;
                }
                std::string title = kind.first + "/" + name + "/" + shape->name;
                benchmark::RegisterBenchmark(title.c_str(), kind.second, name, *shape)
                    ->Unit(benchmark::kMillisecond)
                    ->UseRealTime();
            }
        }
    }
}

}  // namespace

long FileSize(const std::string& path) {
    std::FILE* fp = std::fopen(path.c_str(), "rb");
    if (fp == nullptr || std::fseek(fp, 0, SEEK_END) != 0) {
        return -1;
    }
    long size = std::ftell(fp);
    std::fclose(fp);
    return size;
}

const Corpus& CorpusFor(const CorpusShape& shape) {
    static std::map<std::string, Corpus> cache;
    Corpus& corpus = cache[shape.name];
    if (corpus.path.empty()) {
        corpus.path = CorpusFile(shape);
        corpus.bytes = FileSize(corpus.path);
        corpus.catalog = CatalogOf(corpus.path);
        CorpusCounts written;
        MakeCorpus(shape, kDefaultSeed, &written);
        corpus.valid = !corpus.path.empty() && written == corpus.catalog.counts;
    }
    return corpus;
}

std::vector<std::pair<std::string, std::string>> LookupKeys(const Catalog& catalog, int count) {
    std::vector<std::pair<std::string, std::string>> keys;
    std::uint64_t state = kDefaultSeed;
    for (int i = 0; i < count && !catalog.sections.empty(); ++i) {
        state = state * 6364136223846793005ull + 1442695040888963407ull;
        const auto& section = catalog.sections[(state >> 33) % catalog.sections.size()];
        state = state * 6364136223846793005ull + 1442695040888963407ull;
        keys.emplace_back(section.first, section.second[(state >> 33) % section.second.size()]);
    }
    return keys;
}

void SetRates(benchmark::State& state, const Corpus& corpus) {
    state.SetBytesProcessed(state.iterations() * corpus.bytes);
    state.SetItemsProcessed(state.iterations() *
                            static_cast<std::int64_t>(corpus.catalog.counts.keys));
}

}  // namespace qelbench

int main(int argc, char** argv) {
    std::vector<const qelbench::CorpusShape*> shapes;
    for (const std::string& name : qelbench::FromEnv("QELCFG_BENCH_SHAPES", "S,M,L,wide")) {
        if (const qelbench::CorpusShape* shape = qelbench::FindShape(name)) {
            shapes.push_back(shape);
        }
    }
    std::vector<std::size_t> longLines;
    for (const std::string& size :
         qelbench::FromEnv("QELCFG_BENCH_LONG", "102400,1048576,8388608,67108864")) {
        longLines.push_back(static_cast<std::size_t>(std::strtoull(size.c_str(), nullptr, 10)));
    }
    qelbench::RegisterReaderCases(shapes);
    qelbench::RegisterOwnCases(shapes, longLines);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
