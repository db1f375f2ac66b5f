// Shared by the fuzz targets: a model of the INI text format written straight from its
// rules, independent of the library's reader and writer, so that the harnesses can hold
// the library to it; streams over bytes in memory; and a check that aborts loudly.
#ifndef QEL_CFGFILE_FUZZ_FUZZSUPPORT_H
#define QEL_CFGFILE_FUZZ_FUZZSUPPORT_H

#include <unistd.h>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "Ini.h"
#include "IniPair.h"

namespace qelfuzz {

// A broken property is a crash, so that libFuzzer keeps the input that shows it.
#define QELFUZZ_CHECK(cond)                                                                  \
    do {                                                                                     \
        if (!(cond)) {                                                                       \
            std::fprintf(stderr, "%s:%d: property broken: %s\n", __FILE__, __LINE__, #cond); \
            std::abort();                                                                    \
        }                                                                                    \
    } while (0)

struct Pair {
    std::string key;
    std::vector<std::string> items;
    std::string whole;
    bool operator==(const Pair& o) const {
        return key == o.key && items == o.items && whole == o.whole;
    }
};

struct Section {
    std::string name;
    std::vector<Pair> pairs;
    bool operator==(const Section& o) const { return name == o.name && pairs == o.pairs; }
};

using Tree = std::vector<Section>;

inline bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

inline std::string Trim(const std::string& text) {
    std::size_t b = 0, e = text.size();
    while (b < e && IsBlank(text[b])) {
        ++b;
    }
    while (e > b && IsBlank(text[e - 1])) {
        --e;
    }
    return text.substr(b, e - b);
}

// The multi-value split: every comma separates, items are trimmed, a comma at the very
// end adds no item, and there is always at least one item.
inline std::vector<std::string> SplitItems(const std::string& value) {
    std::vector<std::string> items;
    std::size_t start = 0;
    for (;;) {
        std::size_t comma = value.find(',', start);
        if (comma == std::string::npos) {
            items.push_back(Trim(value.substr(start)));
            return items;
        }
        items.push_back(Trim(value.substr(start, comma - start)));
        start = comma + 1;
        if (start == value.size()) {
            return items;
        }
    }
}

inline std::string Join(const std::vector<std::string>& items) {
    std::string whole;
    for (std::size_t i = 0; i < items.size(); ++i) {
        whole += (i > 0 ? "," : "") + items[i];
    }
    return whole;
}

// A key line "key=value": false when it holds no "=".
inline bool ParseKeyLine(const std::string& line, Pair& pair) {
    std::size_t eq = line.find('=');
    if (eq == std::string::npos) {
        return false;
    }
    pair.key = Trim(line.substr(0, eq));
    pair.items = SplitItems(line.substr(eq + 1));
    pair.whole = Join(pair.items);
    return true;
}

// The lines of `bytes` as the reader delivers them: a line is everything up to its LF,
// its text ends at its first CR or NUL; a last line without LF counts when it holds any
// byte.
inline std::vector<std::string> ReaderLines(const std::string& bytes) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < bytes.size()) {
        std::size_t lf = bytes.find('\n', start);
        std::size_t end = lf == std::string::npos ? bytes.size() : lf;
        std::string line = bytes.substr(start, end - start);
        lines.push_back(line.substr(0, line.find_first_of(std::string("\r\0", 2))));
        start = end + 1;
    }
    return lines;
}

// The tree that the INI format gives for `lines`.
inline Tree ParseIni(std::vector<std::string> lines) {
    if (!lines.empty() && lines[0].compare(0, 3, "\xEF\xBB\xBF") == 0) {
        lines[0].erase(0, 3);
    }
    Tree tree;
    bool accept = false;
    for (const std::string& line : lines) {
        std::string t = Trim(line);
        if (t.empty()) {
            continue;
        }
        if (t[0] == '#') {
            if (t.size() >= 2 && t[1] == '[' && t.back() == ']') {
                accept = false;
            }
        } else if (t[0] == '[' && t.size() >= 2 && t.back() == ']') {
            tree.push_back(Section{t.substr(1, t.size() - 2), {}});
            accept = t.size() > 2;
        } else if (accept) {
            std::string keyLine = line.substr(0, line.find_last_not_of(" \t") + 1);
            Pair pair;
            if (ParseKeyLine(keyLine, pair)) {
                tree.back().pairs.push_back(pair);
            }
        }
    }
    return tree;
}

// The bytes the writer gives for `tree`.
inline std::string WriteIni(const Tree& tree) {
    std::string out;
    for (const Section& section : tree) {
        out += "[" + section.name + "]\r\n";
        for (const Pair& pair : section.pairs) {
            out += pair.key + "=" + pair.whole + "\r\n";
        }
        out += "\r\n";
    }
    return out;
}

inline Pair PairOf(const CIniPair& pair) {
    return Pair{pair.GetKey(), std::vector<std::string>(pair.begin(), pair.end()),
                pair.GetWholeValue()};
}

inline Section SectionOf(const CIniSection& section) {
    Section out{section.GetKey(), {}};
    for (const CIniPair& pair : section) {
        out.pairs.push_back(PairOf(pair));
    }
    return out;
}

inline Tree TreeOf(const CIni& ini) {
    Tree tree;
    for (const CIniSection& section : ini) {
        tree.push_back(SectionOf(section));
    }
    return tree;
}

// A stream reading `bytes`, which must outlive it. fmemopen refuses an empty buffer, and
// an empty file reads the same.
inline FILE* ReadStream(const std::string& bytes) {
    if (bytes.empty()) {
        return std::fopen("/dev/null", "rb");
    }
    return fmemopen(const_cast<char*>(bytes.data()), bytes.size(), "rb");
}

// A stream collecting what is written to it; Take closes it and returns the bytes.
class WriteStream {
public:
    WriteStream() : m_fp(open_memstream(&m_data, &m_size)) {}
    ~WriteStream() { std::free(m_data); }
    WriteStream(const WriteStream&) = delete;
    WriteStream& operator=(const WriteStream&) = delete;

    FILE* Get() const { return m_fp; }
    // The bytes written, once whoever held the stream has closed it.
    std::string Bytes() const { return std::string(m_data, m_size); }

private:
    char* m_data = nullptr;
    std::size_t m_size = 0;
    FILE* m_fp;
};

// A file in a directory of this process (with room for a "~tmp" copy beside it), kept
// in memory where the system allows it.
inline const std::string& WorkFile() {
    static const std::string path = [] {
        static char pattern[64];
        const char* base = ::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
        std::snprintf(pattern, sizeof pattern, "%s/qelcfg-fuzz-XXXXXX", base);
        const char* dir = ::mkdtemp(pattern);
        QELFUZZ_CHECK(dir != nullptr);
        std::atexit([] {
            std::string file = std::string(pattern) + "/f";
            std::remove(file.c_str());
            std::remove((file + "~tmp").c_str());
            ::rmdir(pattern);
        });
        return std::string(dir) + "/f";
    }();
    return path;
}

inline void WriteBytes(const std::string& path, const std::string& bytes) {
    FILE* fp = std::fopen(path.c_str(), "wb");
    QELFUZZ_CHECK(fp != nullptr);
    QELFUZZ_CHECK(std::fwrite(bytes.data(), 1, bytes.size(), fp) == bytes.size());
    QELFUZZ_CHECK(std::fclose(fp) == 0);
}

inline std::string ReadBytes(const std::string& path) {
    std::string bytes;
    FILE* fp = std::fopen(path.c_str(), "rb");
    QELFUZZ_CHECK(fp != nullptr);
    char chunk[4096];
    for (std::size_t n; (n = std::fread(chunk, 1, sizeof chunk, fp)) > 0;) {
        bytes.append(chunk, n);
    }
    std::fclose(fp);
    return bytes;
}

}  // namespace qelfuzz

#endif  // QEL_CFGFILE_FUZZ_FUZZSUPPORT_H
