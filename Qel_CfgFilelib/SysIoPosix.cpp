// The file functions of the platform seam on POSIX systems, and the policy by which a
// file's contents are replaced there.
#if !defined(_WIN32)

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "SysIo.h"
#include "SysIoFaults.h"

namespace qelcfg {
namespace detail {
namespace {

// A failed replace tries this many names for its new file before it gives up.
constexpr int kTemporaryNameAttempts = 16;

int Rename(const char* from, const char* to) {
    if (SysFails(kSysRename)) {
        return -1;
    }
    return std::rename(from, to);
}

int SyncDirectory(const std::string& dir) {
    if (SysFails(kSysSync)) {
        return -1;
    }
    int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        return -1;
    }
    int rc = ::fsync(fd);
    ::close(fd);
    return rc;
}

std::string DirectoryOf(const std::string& path) {
    std::string::size_type slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

// A name beside `path` that another replace running at the same time picks only by rare
// chance, from the process, the thread, the clock and the attempt. The file is created
// exclusively, so a name that is taken costs one more attempt and never a shared file.
std::string TemporaryNameFor(const std::string& path, int attempt) {
    unsigned long thread =
        static_cast<unsigned long>(std::hash<std::thread::id>()(std::this_thread::get_id()));
    unsigned long long tick = static_cast<unsigned long long>(
        std::chrono::steady_clock::now().time_since_epoch().count());
    char suffix[96];
    std::snprintf(suffix, sizeof suffix, ".%ld-%lx-%llx-%d.qelcfg-tmp",
                  static_cast<long>(::getpid()), thread & 0xFFFFFFFFul, tick & 0xFFFFFFFFull,
                  attempt);
    return path + suffix;
}

bool WriteInPlace(const std::string& path, SysContents& contents) {
    FILE* fp = SysOpen(path.c_str(), "w+b");
    return fp != nullptr && SysWriteAndClose(fp, contents, false);
}

// Writes `contents` to a new file beside `path` and renames it over `path`. `old` describes
// the file replaced, or is null when there is none.
bool WriteReplacing(const std::string& path, const struct stat* old, SysContents& contents) {
    const std::string dir = DirectoryOf(path);
    const unsigned mode = old != nullptr ? static_cast<unsigned>(old->st_mode) & 07777u : 0666u;
    std::string temp;
    FILE* fp = nullptr;
    for (int attempt = 0; attempt < kTemporaryNameAttempts && fp == nullptr; ++attempt) {
        temp = TemporaryNameFor(path, attempt);
        fp = SysCreate(temp.c_str(), mode, old != nullptr);
        if (fp == nullptr && errno != EEXIST) {
            break;
        }
    }
    if (fp == nullptr) {
        // A directory that takes no new file may still hold a writable file.
        bool denied = errno == EACCES || errno == EPERM;
        return denied && WriteInPlace(path, contents);
    }
    if (old != nullptr) {
        // Only a privileged process may give the file away; a file left under our own
        // owner is no failure, so the result is not looked at.
        int kept = ::fchown(::fileno(fp), old->st_uid, old->st_gid);
        static_cast<void>(kept);
    }
    bool written = false;
    try {
        written = SysWriteAndClose(fp, contents, true);
    } catch (...) {
        ::unlink(temp.c_str());
        throw;
    }
    if (!written || Rename(temp.c_str(), path.c_str()) != 0) {
        ::unlink(temp.c_str());
        return false;
    }
    // The new file is complete and in place; a directory that cannot be flushed only
    // leaves the rename to the file system's own schedule.
    SyncDirectory(dir);
    return true;
}

}  // namespace

FILE* SysOpen(const char* path, const char* mode) {
    if (SysFails(kSysOpen)) {
        return nullptr;
    }
    return std::fopen(path, mode);
}

FILE* SysCreate(const char* path, unsigned mode, bool exact) {
    if (SysFails(kSysOpen)) {
        return nullptr;
    }
    int fd =
        ::open(path, O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, static_cast<mode_t>(mode));
    if (fd < 0) {
        return nullptr;
    }
    // open() applies the umask; a copy of an existing file must get its bits exactly.
    if (exact && ::fchmod(fd, static_cast<mode_t>(mode)) != 0) {
        int err = errno;
        ::close(fd);
        ::unlink(path);
        errno = err;
        return nullptr;
    }
    FILE* fp = ::fdopen(fd, "w+b");
    if (fp == nullptr) {
        int err = errno;
        ::close(fd);
        ::unlink(path);
        errno = err;
    }
    return fp;
}

int SysFileMode(FILE* fp, unsigned* mode) {
    struct stat info;
    if (::fstat(::fileno(fp), &info) != 0) {
        return -1;
    }
    *mode = static_cast<unsigned>(info.st_mode) & 0777u;
    return 0;
}

int SysRemove(const char* path) {
    return ::unlink(path);
}

int SysSync(FILE* fp) {
    if (SysFails(kSysSync)) {
        return -1;
    }
    return ::fsync(::fileno(fp));
}

int SysTruncate(FILE* fp, long long length) {
    if (SysFails(kSysTruncate)) {
        return -1;
    }
    return ::ftruncate(::fileno(fp), static_cast<off_t>(length));
}

bool SysSameFile(FILE* fp, const char* path) {
    struct stat open;
    struct stat named;
    return ::fstat(::fileno(fp), &open) == 0 && ::stat(path, &named) == 0 &&
           open.st_dev == named.st_dev && open.st_ino == named.st_ino;
}

int SysCutAtPosition(FILE* fp) {
    struct stat st;
    if (::fstat(::fileno(fp), &st) != 0 || !S_ISREG(st.st_mode)) {
        return 0;
    }
    int flags = ::fcntl(::fileno(fp), F_GETFL);
    if (flags == -1 || (flags & O_APPEND) != 0) {
        return 0;
    }
    long end = SysTell(fp);
    return end >= 0 ? SysTruncate(fp, end) : -1;
}

bool SysReplaceFile(const char* path, SysContents& contents) {
    std::string target = path;
    struct stat st;
    if (::lstat(path, &st) == 0 && S_ISLNK(st.st_mode)) {
        std::unique_ptr<char, void (*)(void*)> real(::realpath(path, nullptr), std::free);
        if (!real) {
            return WriteInPlace(target, contents);
        }
        target = real.get();
    }
    if (::stat(target.c_str(), &st) != 0) {
        // Only a file that is not there is new; one that cannot be examined keeps what it
        // is by being written in place.
        return errno == ENOENT ? WriteReplacing(target, nullptr, contents)
                               : WriteInPlace(target, contents);
    }
    if (!S_ISREG(st.st_mode) || st.st_nlink > 1) {
        return WriteInPlace(target, contents);
    }
    return WriteReplacing(target, &st, contents);
}

}  // namespace detail
}  // namespace qelcfg

#endif  // !defined(_WIN32)
