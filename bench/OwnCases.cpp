// This library's own cases, beyond the ones every reader gets.
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "BenchSupport.h"
#include "IniFile.h"
#include "TxtFile.h"

namespace qelbench {
namespace {

bool Loaded(benchmark::State& state, CIniFile& file, const Corpus& corpus) {
    if (!corpus.valid || !file.Attach(corpus.path.c_str())) {
        state.SkipWithError("the benchmark file could not be loaded");
        return false;
    }
    return true;
}

// Loading from a stream handed over with Set.
void LoadThroughSet(benchmark::State& state, const CorpusShape* shape) {
    const Corpus& corpus = CorpusFor(*shape);
    for (auto _ : state) {
        CIniFile file;
        std::FILE* fp = std::fopen(corpus.path.c_str(), "rb");
        if (fp == nullptr || !file.Set(fp)) {
            state.SkipWithError("the benchmark file could not be loaded");
            break;
        }
        state.PauseTiming();
        file.Dettach();
        state.ResumeTiming();
    }
    SetRates(state, corpus);
}

// One value line of the given length: the bytes per second stay level as the line grows
// when reading it takes time linear in its length.
void LoadLongLine(benchmark::State& state, std::size_t length) {
    std::string path = LongLineFile(length);
    CIniFile probe;
    CIniSection* section =
        path.empty() || !probe.Attach(path.c_str()) ? nullptr : probe.GetCfg().FindSection("long");
    CIniPair* pair = section != nullptr ? section->FindKey("value") : nullptr;
    if (pair == nullptr || pair->GetWholeValue().size() != length) {
        state.SkipWithError("the long line was not read whole");
        return;
    }
    probe.Dettach();
    for (auto _ : state) {
        CIniFile file;
        benchmark::DoNotOptimize(file.Attach(path.c_str()));
        state.PauseTiming();
        file.Dettach();
        state.ResumeTiming();
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(length));
}

template <class Lookup>
void LookUpEach(benchmark::State& state, const CorpusShape* shape, Lookup lookup) {
    const Corpus& corpus = CorpusFor(*shape);
    CIniFile file;
    if (!Loaded(state, file, corpus)) {
        return;
    }
    const auto keys = LookupKeys(corpus.catalog, 1000);
    for (auto _ : state) {
        long found = 0;
        for (const auto& key : keys) {
            found += lookup(file, key.first.c_str(), key.second.c_str()) ? 1 : 0;
        }
        if (found != static_cast<long>(keys.size())) {
            state.SkipWithError("a key of the file was not found");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(keys.size()));
}

void GetValue(benchmark::State& state, const CorpusShape* shape) {
    char value[513];
    LookUpEach(state, shape, [&value](CIniFile& file, const char* section, const char* key) {
        return file.GetValue(section, key, value);
    });
}

void FindKV(benchmark::State& state, const CorpusShape* shape) {
    char value[513];
    LookUpEach(state, shape, [&value](CIniFile& file, const char* section, const char* key) {
        CIniSection* found = file.GetCfg().FindSection(section);
        return found != nullptr && found->FindKV(key, value);
    });
}

void FindKey(benchmark::State& state, const CorpusShape* shape) {
    LookUpEach(state, shape, [](CIniFile& file, const char* section, const char* key) {
        CIniSection* found = file.GetCfg().FindSection(section);
        return found != nullptr && found->FindKey(key) != nullptr;
    });
}

// A lookup and the typed reads of the first item of each entry; most reads of an item of
// another type fail, which costs as much as a success.
void TypedReads(benchmark::State& state, const CorpusShape* shape) {
    LookUpEach(state, shape, [](CIniFile& file, const char* section, const char* key) {
        CIniPair* pair = file.GetCfg().FindSection(section)->FindKey(key);
        int i = 0;
        unsigned u = 0;
        double d = 0;
        bool b = false;
        unsigned long c = 0;
        char text[64];
        int ok = pair->GetInt(0, i) + pair->GetUnsignedInt(0, u) + pair->GetFloat(0, d) +
                 pair->GetBool(0, b) + pair->GetColor(0, c) + pair->GetString(0, text, 64);
        benchmark::DoNotOptimize(ok);
        return true;
    });
}

// The section lookup straight from the file, for a section in the middle of it.
void FindSectionFromFile(benchmark::State& state, const CorpusShape* shape) {
    const Corpus& corpus = CorpusFor(*shape);
    const auto& sections = corpus.catalog.sections;
    CIniFile file;
    if (sections.empty() || !file.Open(corpus.path.c_str(), "rb")) {
        state.SkipWithError("the benchmark file could not be opened");
        return;
    }
    const std::string& name = sections[sections.size() / 2].first;
    for (auto _ : state) {
        CIniSection* found = file.FindSection(name.c_str());
        if (found == nullptr || found->size() != sections[sections.size() / 2].second.size()) {
            state.SkipWithError("the section was not found whole");
            break;
        }
    }
    state.SetBytesProcessed(state.iterations() * corpus.bytes / 2);
}

// A private copy of the file that a line edit may rewrite.
std::string EditableCopy(const Corpus& corpus) {
    std::string copy = DataDir() + "/edit-" + std::to_string(::getpid()) + ".ini";
    std::FILE* in = std::fopen(corpus.path.c_str(), "rb");
    std::FILE* out = std::fopen(copy.c_str(), "wb");
    char block[65536];
    std::size_t n = 0;
    while (in != nullptr && out != nullptr && (n = std::fread(block, 1, sizeof block, in)) > 0) {
        std::fwrite(block, 1, n, out);
    }
    bool ok = in != nullptr && out != nullptr;
    if (in != nullptr) {
        std::fclose(in);
    }
    if (out != nullptr) {
        ok = std::fclose(out) == 0 && ok;
    }
    return ok ? copy : std::string();
}

// The two line edits in the middle of the file; each timed alone, the other one undoing
// it outside the timing.
void LineEdit(benchmark::State& state, const CorpusShape* shape, bool insert) {
    const Corpus& corpus = CorpusFor(*shape);
    std::string path = EditableCopy(corpus);
    _CFG::CTxtFile text;
    if (path.empty() || !text.Open(path.c_str(), "r+b")) {
        state.SkipWithError("no copy of the benchmark file could be made");
        return;
    }
    const int middle = static_cast<int>(corpus.catalog.counts.keys / 2);
    for (auto _ : state) {
        bool done = insert ? text.InsertTextLine(middle, "inserted_key=1", true)
                           : text.RemoveTextLine(middle);
        state.PauseTiming();
        bool undone = insert ? text.RemoveTextLine(middle + 1)
                             : text.InsertTextLine(middle - 1, "removed_key=1", true);
        // RemoveTextLine leaves the file open for writing; reading it again needs "r+b".
        undone = text.Open(path.c_str(), "r+b") && undone;
        state.ResumeTiming();
        if (!done || !undone) {
            state.SkipWithError("a line edit failed");
            break;
        }
    }
    text.Close();
    std::remove(path.c_str());
    std::remove((path + "~tmp").c_str());
    state.SetBytesProcessed(state.iterations() * corpus.bytes);
}

void InsertTextLine(benchmark::State& state, const CorpusShape* shape) {
    LineEdit(state, shape, true);
}

void RemoveTextLine(benchmark::State& state, const CorpusShape* shape) {
    LineEdit(state, shape, false);
}

template <class Case>
void Register(const std::string& title, Case run, const CorpusShape* shape) {
    benchmark::RegisterBenchmark(title.c_str(), run, shape)
        ->Unit(benchmark::kMicrosecond)
        ->UseRealTime();
}

}  // namespace

void RegisterOwnCases(const std::vector<const CorpusShape*>& shapes,
                      const std::vector<std::size_t>& longLines) {
    for (const CorpusShape* shape : shapes) {
        Register(std::string("Own/LoadThroughSet/") + shape->name, &LoadThroughSet, shape);
    }
    for (std::size_t length : longLines) {
        benchmark::RegisterBenchmark(("Own/LoadLongLine/" + std::to_string(length)).c_str(),
                                     &LoadLongLine, length)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
    }
    for (const CorpusShape* shape : shapes) {
        const std::string name = shape->name;
        if (name != "S" && name != "M") {
            continue;
        }
        Register("Own/GetValue/" + name, &GetValue, shape);
        Register("Own/FindKV/" + name, &FindKV, shape);
        Register("Own/FindKey/" + name, &FindKey, shape);
        Register("Own/TypedReads/" + name, &TypedReads, shape);
        Register("Own/FindSectionFromFile/" + name, &FindSectionFromFile, shape);
        Register("Own/InsertTextLine/" + name, &InsertTextLine, shape);
        Register("Own/RemoveTextLine/" + name, &RemoveTextLine, shape);
    }
}

}  // namespace qelbench
