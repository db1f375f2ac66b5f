#include "IniCorpus.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>

namespace qelbench {
namespace {

// splitmix64: tiny, and the same sequence on every platform and compiler, which the
// standard distributions do not promise.
class Random {
public:
    explicit Random(std::uint64_t seed) : m_state(seed) {}
    std::uint64_t Next() {
        std::uint64_t z = (m_state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    // Uniform in [0, n).
    unsigned Below(unsigned n) { return static_cast<unsigned>(Next() % n); }

private:
    std::uint64_t m_state;
};

const char* const kWords[] = {
    "alpha",   "buffer",  "cache",   "delay",   "enable", "font",    "gamma",  "height",
    "index",   "jitter",  "kernel",  "level",   "margin", "name",    "offset", "port",
    "quality", "rate",    "scale",   "timeout", "unit",   "volume",  "width",  "xpos",
    "ypos",    "zoom",    "border",  "color",   "device", "engine",  "filter", "group",
    "host",    "image",   "layout",  "mode",    "node",   "output",  "path",   "queue",
    "retry",   "size",    "theme",   "user",    "vendor", "window",  "backup", "channel",
    "display", "encoder", "format",  "history", "input",  "journal", "locale", "memory",
    "network", "option",  "profile", "record",  "server", "target",  "update", "version"};
constexpr unsigned kWordCount = sizeof kWords / sizeof kWords[0];

void AppendNumber(std::string& out, unsigned long n) {
    char text[24];
    int len = std::snprintf(text, sizeof text, "%lu", n);
    out.append(text, static_cast<std::size_t>(len));
}

void AppendWord(std::string& out, Random& rng) {
    out += kWords[rng.Below(kWordCount)];
}

void AppendKey(std::string& out, Random& rng, int index) {
    AppendWord(out, rng);
    out += '_';
    if (rng.Below(3) == 0) {
        AppendWord(out, rng);
        out += '_';
    }
    AppendNumber(out, static_cast<unsigned long>(index));
}

void AppendWords(std::string& out, Random& rng, unsigned count, char separator) {
    for (unsigned i = 0; i < count; ++i) {
        if (i > 0) {
            out += separator;
        }
        AppendWord(out, rng);
    }
}

void AppendList(std::string& out, Random& rng, unsigned count, unsigned limit) {
    for (unsigned i = 0; i < count; ++i) {
        if (i > 0) {
            out += ',';
        }
        AppendNumber(out, rng.Below(limit));
    }
}

// Integers, decimals, booleans, names, lists, colours, paths and sentences, in
// proportions that give lines of about 36 bytes on average.
void AppendValue(std::string& out, Random& rng) {
    unsigned kind = rng.Below(20);
    if (kind < 4) {
        AppendNumber(out, rng.Below(1000000));
    } else if (kind < 6) {
        char text[32];
        int len = std::snprintf(text, sizeof text, "%u.%03u", rng.Below(10000), rng.Below(1000));
        out.append(text, static_cast<std::size_t>(len));
    } else if (kind < 8) {
        static const char* const kBools[] = {"yes", "no", "true", "false", "Y", "N"};
        out += kBools[rng.Below(6)];
    } else if (kind < 10) {
        AppendWords(out, rng, 1 + rng.Below(3), '_');
    } else if (kind < 12) {
        AppendList(out, rng, 2 + rng.Below(5), 10000);
    } else if (kind < 13) {
        AppendList(out, rng, 3, 256);
    } else if (kind < 16) {
        out += "/usr/share/";
        AppendWords(out, rng, 2 + rng.Below(2), '/');
        out += '_';
        AppendNumber(out, rng.Below(1000));
        out += ".dat";
    } else {
        AppendWords(out, rng, 3 + rng.Below(8), ' ');
    }
}

void AppendSection(std::string& out, Random& rng, const CorpusShape& shape, int s,
                   CorpusCounts* counts) {
    out += '[';
    if (shape.sections > 1) {
        AppendWord(out, rng);
        out += '_';
        AppendNumber(out, static_cast<unsigned long>(s));
    } else {
        out += "wide";
    }
    out += "]\n";
    for (int k = 0; k < shape.keysPerSection; ++k) {
        std::size_t keyStart = out.size();
        AppendKey(out, rng, k);
        std::size_t keyLength = out.size() - keyStart;
        out += rng.Below(4) == 0 ? " = " : "=";
        std::size_t valueStart = out.size();
        AppendValue(out, rng);
        if (counts != nullptr) {
            counts->kvBytes += keyLength + (out.size() - valueStart);
            ++counts->keys;
        }
        out += '\n';
    }
    out += '\n';
    if (counts != nullptr) {
        ++counts->sections;
    }
}

bool FileExists(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string Ensure(const std::string& path, std::string (*make)(const void*), const void* arg) {
    if (FileExists(path)) {
        return path;
    }
    ::mkdir(DataDir().c_str(), 0777);
    std::string partial = path + ".part";
    if (!WriteWholeFile(partial, make(arg)) || std::rename(partial.c_str(), path.c_str()) != 0) {
        return std::string();
    }
    return path;
}

}  // namespace

const std::vector<CorpusShape>& CorpusShapes() {
    static const std::vector<CorpusShape> shapes = {
        {"S", 5, 19}, {"M", 100, 100}, {"L", 1000, 1000}, {"wide", 1, 100000}};
    return shapes;
}

const CorpusShape* FindShape(const std::string& name) {
    for (const CorpusShape& shape : CorpusShapes()) {
        if (name == shape.name) {
            return &shape;
        }
    }
    return nullptr;
}

std::string MakeCorpus(const CorpusShape& shape, std::uint64_t seed, CorpusCounts* counts) {
    Random rng(seed);
    std::string out;
    out.reserve(static_cast<std::size_t>(shape.sections) * shape.keysPerSection * 40 + 64);
    for (int s = 0; s < shape.sections; ++s) {
        AppendSection(out, rng, shape, s, counts);
    }
    return out;
}

std::string MakeLongLine(std::size_t length, std::uint64_t seed) {
    Random rng(seed);
    std::string out = "[long]\nvalue=";
    std::size_t end = out.size() + length;
    out.reserve(end + 1);
    while (out.size() < end) {
        AppendWord(out, rng);
        out += ' ';
    }
    out.resize(end - 1);
    out += "x\n";
    return out;
}

bool WriteWholeFile(const std::string& path, const std::string& text) {
    std::FILE* fp = std::fopen(path.c_str(), "wb");
    if (fp == nullptr) {
        return false;
    }
    bool ok = std::fwrite(text.data(), 1, text.size(), fp) == text.size();
    return std::fclose(fp) == 0 && ok;
}

std::string DataDir() {
    const char* dir = std::getenv("QELCFG_BENCH_DATA");
    return dir != nullptr && *dir != '\0' ? dir : "/tmp/qelcfg-bench-data";
}

std::string CorpusFile(const CorpusShape& shape) {
    return Ensure(
        DataDir() + "/" + shape.name + ".ini",
        [](const void* arg) {
            return MakeCorpus(*static_cast<const CorpusShape*>(arg), kDefaultSeed, nullptr);
        },
        &shape);
}

std::string LongLineFile(std::size_t length) {
    return Ensure(
        DataDir() + "/long-" + std::to_string(length) + ".ini",
        [](const void* arg) {
            return MakeLongLine(*static_cast<const std::size_t*>(arg), kDefaultSeed);
        },
        &length);
}

}  // namespace qelbench
