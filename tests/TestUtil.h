// Helpers shared by the tests: a private temporary directory, whole-file reads and writes,
// and tables of cases kept in tests/data. It also brings in GoogleTest and the headers that
// most tests take, so that each test file names only what it alone needs.
#ifndef QEL_CFGFILE_TESTS_TESTUTIL_H
#define QEL_CFGFILE_TESTS_TESTUTIL_H

#include <gtest/gtest.h>
#include <sys/stat.h>
#if !defined(_WIN32)
#include <dirent.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace qeltest {

// The path that the standard streams take for a UTF-8 path.
inline std::filesystem::path NativePath(const std::string& path) {
    return std::filesystem::u8path(path);
}

// A directory of its own for one test, removed with everything in it afterwards. Paths are
// handed to the library as UTF-8, with "/" between their parts.
class TempDir {
public:
    TempDir() {
        namespace fs = std::filesystem;
        std::random_device random;
        std::error_code error;
        for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
            fs::path dir = fs::temp_directory_path() / ("qelcfg-test-" + std::to_string(random()));
            if (fs::create_directory(dir, error)) {
                path_ = dir.generic_u8string();
            }
        }
    }
    ~TempDir() {
        std::error_code error;
        if (!path_.empty()) {
            std::filesystem::remove_all(NativePath(path_), error);
        }
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& Path() const { return path_; }
    std::string File(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// Writes `bytes` as the whole file `path`; returns the path.
inline std::string WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream(NativePath(path), std::ios::binary | std::ios::trunc)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return path;
}

inline std::string ReadFile(const std::string& path) {
    std::ifstream in(NativePath(path), std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// The names in `dir` (without "." and ".."), sorted, each followed by a line feed, so
// that a test can spell out exactly what a directory holds.
inline std::string ListDir(const std::string& dir) {
    std::vector<std::string> names;
#if defined(_WIN32)
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(NativePath(dir), error)) {
        names.push_back(entry.path().filename().u8string());
    }
#else
    if (DIR* d = ::opendir(dir.c_str())) {
        // readdir64: a 32-bit program (the ARM build under qemu) reading a file system
        // with 64-bit directory offsets would otherwise get EOVERFLOW and no names.
        while (const dirent64* entry = ::readdir64(d)) {
            const std::string name = entry->d_name;
            if (name != "." && name != "..") {
                names.push_back(name);
            }
        }
        ::closedir(d);
    }
#endif
    std::sort(names.begin(), names.end());
    std::string listing;
    for (const std::string& name : names) {
        listing += name + "\n";
    }
    return listing;
}

// Whether a file that the test may read is there.
inline bool FileExists(const std::string& path) {
    return std::ifstream(NativePath(path)).is_open();
}

// Decodes \n, \r, \t, \0, \e, \\ and \xHH, and {N*c} for N times the character c, so that
// one readable line can spell out any bytes of a file.
inline std::string Unescape(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i], e = i + 1 < text.size() ? text[i + 1] : '\0';
        const std::size_t star = c == '{' ? text.find_first_not_of("0123456789", i + 1) : 0;
        if (star > i + 1 && star + 2 < text.size() && text[star] == '*' && text[star + 2] == '}') {
            out.append(std::stoul(text.substr(i + 1, star - i - 1)), text[star + 1]);
            i = star + 2;
        } else if (c == '\\' && e == 'x') {
            out += static_cast<char>(std::stoi(text.substr(i + 2, 2), nullptr, 16));
            i += 3;
        } else if (c == '\\' && e != '\0') {
            const std::string codes = "nrt0e", bytes("\n\r\t\0\x1b", 5);
            out += codes.find(e) != std::string::npos ? bytes[codes.find(e)] : e;
            ++i;
        } else {
            out += c;
        }
    }
    return out;
}

// The rows of the table tests/data/`name`: one case a line, its fields separated by tabs and
// decoded by Unescape; empty lines and lines beginning with "#" are left out.
inline std::vector<std::vector<std::string>> ReadTable(const std::string& name) {
    std::vector<std::vector<std::string>> rows;
    std::istringstream lines(ReadFile(std::string(QELCFG_TEST_DATA) + "/" + name));
    for (std::string line; std::getline(lines, line);) {
        if (!line.empty() && line[0] != '#') {
            rows.emplace_back();
            for (std::size_t at = 0, tab = 0; tab != std::string::npos; at = tab + 1) {
                tab = line.find('\t', at);
                rows.back().push_back(Unescape(line.substr(at, tab - at)));
            }
        }
    }
    return rows;
}

}  // namespace qeltest

#endif  // QEL_CFGFILE_TESTS_TESTUTIL_H
