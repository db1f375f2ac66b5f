// Helpers shared by the tests: a private temporary directory, whole-file reads and the
// check of a bounded copy into a caller's buffer.
#ifndef QEL_CFGFILE_TESTS_TESTUTIL_H
#define QEL_CFGFILE_TESTS_TESTUTIL_H

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <dirent.h>
#include <unistd.h>

namespace qeltest {

// A directory of its own for one test, removed with everything in it afterwards.
class TempDir {
public:
    TempDir() {
        char pattern[] = "/tmp/qelcfg-test-XXXXXX";
        const char* made = ::mkdtemp(pattern);
        path_ = made ? made : "";
    }
    ~TempDir() {
        if (!path_.empty()) {
            std::string cmd = "rm -rf '" + path_ + "'";
            if (std::system(cmd.c_str()) != 0) {
                std::perror("rm");
            }
        }
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& Path() const { return path_; }
    std::string File(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

inline void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

inline bool FileExists(const std::string& path) {
    return ::access(path.c_str(), F_OK) == 0;
}

// The names in `dir` (without "." and ".."), sorted, each followed by a line feed, so
// that a test can spell out exactly what a directory holds.
inline std::string ListDir(const std::string& dir) {
    std::vector<std::string> names;
    if (DIR* d = ::opendir(dir.c_str())) {
        // readdir64: a 32-bit program (the ARM build under qemu) reading a file system
        // with 64-bit directory offsets would otherwise get EOVERFLOW and no names.
        while (const dirent64* entry = ::readdir64(d)) {
            std::string name = entry->d_name;
            if (name != "." && name != "..") {
                names.push_back(name);
            }
        }
        ::closedir(d);
    }
    std::sort(names.begin(), names.end());
    std::string listing;
    for (const std::string& name : names) {
        listing += name + "\n";
    }
    return listing;
}

// Calls copy(buffer, size) with buffers of 0, 1, one byte short of, exactly and one byte
// more than `text` needs with its NUL, each followed by a canary byte, and checks that a
// copy that fits gives true and the text, one that does not gives false and "" (a buffer
// of no bytes untouched), and that nothing is written past `size`.
template <class Copy>
void ExpectBoundedCopy(const std::string& text, Copy copy) {
    const std::size_t n = text.size();
    for (std::size_t size : {std::size_t{0}, std::size_t{1}, n, n + 1, n + 2}) {
        std::vector<char> buffer(size + 1, 'x');
        buffer[size] = '\x5A';
        const bool ok = copy(buffer.data(), size);
        EXPECT_EQ(ok, size > n) << "size " << size << " for " << n << " characters";
        if (ok) {
            EXPECT_EQ(std::string(buffer.data()), text) << "size " << size;
        } else if (size > 0) {
            EXPECT_EQ(buffer[0], '\0') << "size " << size;
        }
        EXPECT_EQ(buffer[size], '\x5A') << "written past size " << size;
    }
}

}  // namespace qeltest

#endif  // QEL_CFGFILE_TESTS_TESTUTIL_H
