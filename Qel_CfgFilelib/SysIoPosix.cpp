// The file functions of the platform seam on POSIX systems, and the policy by which a
// file's contents are replaced there.
//
// A replace finds the file once, at its start: the symbolic links of the caller's path are
// followed one at a time to a directory, opened once, and a name in it. From there on every
// step works on that directory's descriptor or on the file's own descriptor, so that an
// entry swapped for a link while the replace runs is never followed.
#if !defined(_WIN32)

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <utility>

#include "SysIo.h"
#include "SysIoFaults.h"

namespace qelcfg {
namespace detail {
namespace {

// A replace tries this many names for its new file before it gives up.
constexpr int kTemporaryNameAttempts = 16;
// Links followed from the caller's path before the path counts as a loop.
constexpr int kMaxLinks = 40;
constexpr std::size_t kCopyBlock = 64 * 1024;
// How long a writer waits for the lock that another process holds on the file.
constexpr std::chrono::seconds kLockWait(10);

// Directories are opened only to name entries in them, which needs search permission alone
// where the platform can open a directory for that.
#if defined(O_PATH)
constexpr int kDirectoryOpen = O_PATH | O_DIRECTORY | O_CLOEXEC;
#else
constexpr int kDirectoryOpen = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
#endif

class Fd {
public:
    Fd() = default;
    explicit Fd(int fd) : m_fd(fd) {}
    ~Fd() { Reset(); }
    Fd(Fd&& other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}
    Fd& operator=(Fd&& other) noexcept {
        if (this != &other) {
            Reset();
            m_fd = std::exchange(other.m_fd, -1);
        }
        return *this;
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;

    int Get() const { return m_fd; }
    bool Valid() const { return m_fd >= 0; }
    int Release() { return std::exchange(m_fd, -1); }
    void Reset() {
        if (m_fd >= 0) {
            int err = errno;
            ::close(m_fd);
            errno = err;
        }
        m_fd = -1;
    }

private:
    int m_fd = -1;
};

// Where a replace works: the directory that holds the file, and the file's name in it.
struct Target {
    Fd dir;
    std::string dirPath;
    std::string name;
    bool exists = false;
    struct stat st = {};
};

bool SameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

std::string DirectoryOf(const std::string& path) {
    std::string::size_type slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    std::string::size_type end = path.find_last_not_of('/', slash);
    return end == std::string::npos ? "/" : path.substr(0, end + 1);
}

std::string NameOf(const std::string& path) {
    std::string::size_type slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The descriptor that a path of the descriptor file systems stands for ("/dev/stdout",
// "/dev/fd/3", "/proc/self/fd/3"), or -1. Opening such a path by name would open, and a
// replace would replace, whatever file the descriptor has open rather than write to it.
int DescriptorOfPath(const std::string& path) {
    if (path == "/dev/stdin") {
        return 0;
    }
    if (path == "/dev/stdout") {
        return 1;
    }
    if (path == "/dev/stderr") {
        return 2;
    }
    const std::string own = "/proc/" + std::to_string(::getpid()) + "/fd/";
    for (const std::string& prefix :
         {std::string("/dev/fd/"), std::string("/proc/self/fd/"), own}) {
        if (path.compare(0, prefix.size(), prefix) == 0 && path.size() > prefix.size()) {
            char* end = nullptr;
            long fd = std::strtol(path.c_str() + prefix.size(), &end, 10);
            if (*end == '\0' && fd >= 0 && fd <= INT_MAX) {
                return static_cast<int>(fd);
            }
        }
    }
    return -1;
}

bool IsProcPath(const std::string& path) {
    return path.compare(0, 6, "/proc/") == 0;
}

// Finds the file that `path` names, following its symbolic links one at a time (the last
// one may name a file that does not exist yet). `descriptor` receives the descriptor that
// the path stands for when it leads into the descriptor file systems.
bool FindTarget(const char* path, Target& target, int& descriptor) {
    std::string current = path;
    descriptor = -1;
    for (int hop = 0; hop <= kMaxLinks; ++hop) {
        descriptor = DescriptorOfPath(current);
        if (descriptor >= 0) {
            return true;
        }
        target.dirPath = DirectoryOf(current);
        target.name = NameOf(current);
        if (target.name.empty() || target.name == "." || target.name == "..") {
            errno = EISDIR;
            return false;
        }
        target.dir = Fd(::open(target.dirPath.c_str(), kDirectoryOpen));
        if (!target.dir.Valid()) {
            return false;
        }
        if (::fstatat(target.dir.Get(), target.name.c_str(), &target.st, AT_SYMLINK_NOFOLLOW) !=
            0) {
            target.exists = false;
            return errno == ENOENT;
        }
        if (!S_ISLNK(target.st.st_mode)) {
            target.exists = true;
            return true;
        }
        char link[PATH_MAX + 1];
        ssize_t n = ::readlinkat(target.dir.Get(), target.name.c_str(), link, PATH_MAX);
        if (n < 0) {
            return false;
        }
        link[n] = '\0';
        current = link[0] == '/' ? std::string(link) : target.dirPath + "/" + link;
        // The links of /proc name files that have no entry of their own to replace.
        if (IsProcPath(target.dirPath)) {
            errno = EXDEV;
            return false;
        }
    }
    errno = ELOOP;
    return false;
}

int SyncDirectory(const Target& target) {
    if (SysFails(kSysSync)) {
        return -1;
    }
    Fd dir(::openat(target.dir.Get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    return dir.Valid() ? ::fsync(dir.Get()) : -1;
}

// A short name for a new file: its length does not depend on the target's, so that a
// target whose name is near the longest a directory takes can still be replaced.
std::string TemporaryName(int attempt) {
    unsigned long long mix =
        static_cast<unsigned long long>(
            std::chrono::steady_clock::now().time_since_epoch().count()) ^
        (static_cast<unsigned long long>(std::hash<std::thread::id>()(std::this_thread::get_id()))
         << 7) ^
        (static_cast<unsigned long long>(::getpid()) << 32) ^
        static_cast<unsigned long long>(attempt);
    char name[32];
    std::snprintf(name, sizeof name, ".qc%012llx.tmp", mix & 0xFFFFFFFFFFFFull);
    return name;
}

// Gives the new file `fd` the owner and group of `old`. Its permission bits are set after
// this, since a change of owner clears the set-user-ID and set-group-ID bits. Only a privileged
// process may give a file away; otherwise the group is still kept where the process belongs to it.
void CopyOwner(int fd, const struct stat& old) {
    if (::fchown(fd, old.st_uid, old.st_gid) != 0) {
        int kept = ::fchown(fd, static_cast<uid_t>(-1), old.st_gid);
        static_cast<void>(kept);
    }
}

// A new file in the target's directory, open for reading and writing. Where the platform
// has unnamed files it is created without a name (`name` stays empty), so that nothing is
// left behind whatever stops the process before it is linked in.
Fd CreateTemporary(const Target& target, unsigned mode, std::string& name) {
    name.clear();
    if (SysFails(kSysOpen)) {
        return Fd();
    }
#if defined(O_TMPFILE)
    if (::access("/proc/self/fd", X_OK) == 0) {
        Fd fd(::openat(target.dir.Get(), ".", O_TMPFILE | O_RDWR | O_CLOEXEC,
                       static_cast<mode_t>(mode)));
        if (fd.Valid() || (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)) {
            return fd;
        }
    }
#endif
    for (int attempt = 0; attempt < kTemporaryNameAttempts; ++attempt) {
        name = TemporaryName(attempt);
        Fd fd(::openat(target.dir.Get(), name.c_str(),
                       O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                       static_cast<mode_t>(mode)));
        if (fd.Valid() || errno != EEXIST) {
            if (!fd.Valid()) {
                name.clear();
            }
            return fd;
        }
    }
    name.clear();
    return Fd();
}

// The name under which the unnamed new file of a locked target is linked in: fixed for the
// target's name, and short. Writers of one file hold its lock while they link and rename,
// so an entry found under this name is what a killed writer left between the two calls,
// and is removed; a leftover therefore lasts only until the file's next save.
std::string LinkName(const std::string& target) {
    unsigned long long hash = 14695981039346656037ull;  // FNV-1a
    for (unsigned char c : target) {
        hash = (hash ^ c) * 1099511628211ull;
    }
    char name[32];
    std::snprintf(name, sizeof name, ".qc%016llx.tmp", hash);
    return name;
}

// Gives the unnamed file `fd` the name `name` in the target's directory: the target's fixed
// link name when the caller holds its lock (`locked`), else a name of its own.
bool LinkTemporary(const Target& target, int fd, bool locked, std::string& name) {
    if (SysFails(kSysRename)) {
        return false;
    }
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    auto link = [&target, &self](const std::string& as) {
        return ::linkat(AT_FDCWD, self.c_str(), target.dir.Get(), as.c_str(), AT_SYMLINK_FOLLOW) ==
               0;
    };
    if (locked) {
        name = LinkName(target.name);
        if (link(name) ||
            (errno == EEXIST && ::unlinkat(target.dir.Get(), name.c_str(), 0) == 0 && link(name))) {
            return true;
        }
        if (errno != EEXIST) {
            name.clear();
            return false;
        }
    }
    for (int attempt = 0; attempt < kTemporaryNameAttempts; ++attempt) {
        name = TemporaryName(attempt);
        if (link(name)) {
            return true;
        }
        if (errno != EEXIST) {
            break;
        }
    }
    name.clear();
    return false;
}

// Writes `contents` through a stream of its own on `fd` (which stays open) and forces it to
// the disk when `durable`.
bool WriteThrough(int fd, SysContents& contents, bool durable) {
    int copy = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
    FILE* fp = copy >= 0 ? ::fdopen(copy, "w+b") : nullptr;
    if (fp == nullptr) {
        if (copy >= 0) {
            ::close(copy);
        }
        return false;
    }
    return SysWriteAndClose(fp, contents, durable);
}

// Makes room for `size` bytes in the file `fd` without changing any of its bytes.
int Reserve(int fd, long long size) {
    if (SysFails(kSysTruncate, ENOSPC)) {
        return -1;
    }
    struct stat st;
    if (::fstat(fd, &st) != 0) {
        return -1;
    }
    if (size <= static_cast<long long>(st.st_size)) {
        return 0;
    }
    int rc = ::posix_fallocate(fd, 0, static_cast<off_t>(size));
    if (rc == 0) {
        return 0;
    }
    if (rc != EOPNOTSUPP && rc != EINVAL) {
        errno = rc;
        return -1;
    }
    // A file system without reservations gets the new room written out, after the old end,
    // and loses it again when that fails.
    std::string zeros(kCopyBlock, '\0');
    for (off_t at = st.st_size; at < static_cast<off_t>(size);) {
        std::size_t n = static_cast<std::size_t>(
            std::min<long long>(static_cast<long long>(zeros.size()), size - at));
        ssize_t w = ::pwrite(fd, zeros.data(), n, at);
        if (w <= 0) {
            int err = w < 0 ? errno : ENOSPC;
            int cut = ::ftruncate(fd, st.st_size);
            static_cast<void>(cut);
            errno = err;
            return -1;
        }
        at += w;
    }
    return 0;
}

// Whether this process holds a lock (flock) on the file `fd`, on any of its descriptors.
bool HeldByThisProcess(int fd) {
    struct stat st;
    if (::fstat(fd, &st) != 0) {
        return false;
    }
    std::ifstream locks("/proc/locks");
    std::string line;
    while (std::getline(locks, line)) {
        char kind[16] = {};
        char mode[16] = {};
        long pid = 0;
        unsigned devMajor = 0;
        unsigned devMinor = 0;
        unsigned long long inode = 0;
        // "1: FLOCK  ADVISORY  WRITE 1234 08:01:5678 0 EOF"; blocked waiters carry "->".
        if (line.find("->") == std::string::npos &&
            std::sscanf(line.c_str(), "%*d: %15s %15s %*s %ld %x:%x:%llu", kind, mode, &pid,
                        &devMajor, &devMinor, &inode) == 6 &&
            std::strcmp(kind, "FLOCK") == 0 &&
            inode == static_cast<unsigned long long>(st.st_ino) &&
            devMajor == static_cast<unsigned>(major(st.st_dev)) &&
            devMinor == static_cast<unsigned>(minor(st.st_dev))) {
            if (pid == static_cast<long>(::getpid())) {
                return true;
            }
        }
    }
    return false;
}

// Writes `contents` to what the descriptor `fd` has open, at its position, as a stream
// write would: a descriptor path stands for the descriptor, not for a file to replace.
bool WriteAtPosition(int fd, SysContents& contents) {
    int copy = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
    FILE* fp = copy >= 0 ? ::fdopen(copy, "wb") : nullptr;
    if (fp == nullptr) {
        if (copy >= 0) {
            ::close(copy);
        }
        return false;
    }
    bool ok = false;
    try {
        ok = contents.WriteTo(fp) && SysFlush(fp) == 0;
    } catch (...) {
        SysClose(fp);
        throw;
    }
    bool closed = SysClose(fp) == 0;
    return ok && closed;
}

// Takes the advisory lock that every writer of the file takes (qelcfg included), so that two
// writers do not interleave. A lock that this process holds already, on another descriptor
// of the same file, is its caller's own and is not waited for. A lock that another process
// keeps longer than kLockWait fails the write (EWOULDBLOCK) rather than hanging it.
bool LockForWriting(int fd) {
    const auto deadline = std::chrono::steady_clock::now() + kLockWait;
    std::chrono::milliseconds pause(1);
    for (;;) {
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
            return true;
        }
        if (errno == EINTR) {
            continue;
        }
        // A file system without locks is written unlocked.
        if (errno != EWOULDBLOCK || HeldByThisProcess(fd)) {
            return true;
        }
        const auto now = std::chrono::steady_clock::now();
        if (now >= deadline) {
            errno = EWOULDBLOCK;
            return false;
        }
        std::this_thread::sleep_for(
            std::min<std::chrono::steady_clock::duration>(pause, deadline - now));
        pause = std::min(pause * 2, std::chrono::milliseconds(100));
    }
}

// Opens the target to lock it, and locks it once its name still names the file found; a
// writer that replaced the file meanwhile makes this take the lock on the new one.
Fd OpenLocked(Target& target, bool mayMove) {
    for (int attempt = 0; attempt < kTemporaryNameAttempts; ++attempt) {
        Fd fd(::openat(target.dir.Get(), target.name.c_str(),
                       O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
        struct stat now;
        if (!fd.Valid() || ::fstat(fd.Get(), &now) != 0 || !SameFile(now, target.st)) {
            if (fd.Valid()) {
                errno = ESTALE;
            }
            return Fd();
        }
        if (!LockForWriting(fd.Get())) {
            return Fd();
        }
        struct stat named;
        if (::fstatat(target.dir.Get(), target.name.c_str(), &named, AT_SYMLINK_NOFOLLOW) != 0 ||
            SameFile(named, now)) {
            return fd;
        }
        if (!mayMove || !S_ISREG(named.st_mode) || named.st_nlink != 1) {
            errno = ESTALE;
            return Fd();
        }
        target.st = named;
    }
    errno = ESTALE;
    return Fd();
}

// The result of a replace for a caller that keeps working on the file: a read-write
// descriptor on the file that holds the new contents.
struct Result {
    Fd file;
};

// Writes a file that is to stay what it is (a device, a pipe, a file with other hard links,
// a file in a directory that takes no new file) in place. A regular file gets the new text
// first in a recovery file beside it, kept until the file itself is written and forced to
// the disk, and its room is reserved before any of its bytes changes, so that a full disk
// or a size limit fails before the file is touched.
bool WriteInPlace(Target& target, SysContents& contents, Result* result) {
    if (!target.exists) {
        return false;
    }
    if (SysFails(kSysOpen)) {
        return false;
    }
    Fd fd(::openat(target.dir.Get(), target.name.c_str(),
                   O_RDWR | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK));
    if (!fd.Valid() && errno == EACCES && result == nullptr) {
        fd = Fd(::openat(target.dir.Get(), target.name.c_str(),
                         O_WRONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK));
    }
    struct stat now;
    if (!fd.Valid() || ::fstat(fd.Get(), &now) != 0 || !SameFile(now, target.st)) {
        if (fd.Valid()) {
            errno = ESTALE;
        }
        return false;
    }
    int flags = ::fcntl(fd.Get(), F_GETFL);
    if (flags == -1 || ::fcntl(fd.Get(), F_SETFL, flags & ~O_NONBLOCK) != 0) {
        return false;
    }
    if (!S_ISREG(now.st_mode)) {
        if (result != nullptr) {
            errno = EINVAL;
            return false;
        }
        return WriteAtPosition(fd.Get(), contents);
    }
    if (!LockForWriting(fd.Get())) {
        return false;
    }

    // Allocated before the recovery file is open, which a failed allocation would leave open.
    std::string block(kCopyBlock, '\0');
    // The recovery file takes the target's name with a suffix where that fits, so that it is
    // found beside it; a directory that takes no new file gets an unnamed copy elsewhere.
    std::string recovery = target.name + "~new";
    FILE* text = nullptr;
    Fd kept(::openat(target.dir.Get(), recovery.c_str(),
                     O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!kept.Valid() && errno == EEXIST &&
        ::unlinkat(target.dir.Get(), recovery.c_str(), 0) == 0) {
        kept = Fd(::openat(target.dir.Get(), recovery.c_str(),
                           O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    }
    if (kept.Valid()) {
        CopyOwner(kept.Get(), now);
        int copy = ::fcntl(kept.Get(), F_DUPFD_CLOEXEC, 0);
        text = copy >= 0 ? ::fdopen(copy, "w+b") : nullptr;
        if (text == nullptr && copy >= 0) {
            ::close(copy);
        }
    } else {
        recovery.clear();
        text = std::tmpfile();
    }
    auto dropRecovery = [&target, &recovery]() {
        if (!recovery.empty()) {
            ::unlinkat(target.dir.Get(), recovery.c_str(), 0);
        }
    };
    bool ok = false;
    try {
        ok = text != nullptr && SysSeek(text, 0, SEEK_SET) == 0 && contents.WriteTo(text) &&
             SysFlush(text) == 0 && (recovery.empty() || SysSync(text) == 0);
    } catch (...) {
        if (text != nullptr) {
            std::fclose(text);
        }
        dropRecovery();
        throw;
    }
    long size = ok ? SysTell(text) : -1;
    if (size < 0 || Reserve(fd.Get(), static_cast<long long>(size)) != 0) {
        int err = errno;
        if (text != nullptr) {
            std::fclose(text);
        }
        dropRecovery();
        errno = err;
        return false;
    }
    // From here on the file changes: a failure keeps the recovery file, which holds the
    // complete new text.
    int source = ::fileno(text);
    off_t at = 0;
    while (ok && at < size) {
        ssize_t n = ::pread(source, &block[0], block.size(), at);
        if (n <= 0 || SysFails(kSysWrite)) {
            ok = false;
            break;
        }
        for (ssize_t done = 0; done < n && ok;) {
            ssize_t w = ::pwrite(fd.Get(), block.data() + done, static_cast<std::size_t>(n - done),
                                 at + done);
            if (w < 0 && errno == EINTR) {
                continue;
            }
            ok = w > 0;
            done += w > 0 ? w : 0;
        }
        at += n;
    }
    std::fclose(text);
    ok = ok && !SysFails(kSysTruncate) && ::ftruncate(fd.Get(), static_cast<off_t>(size)) == 0 &&
         !SysFails(kSysSync) && ::fsync(fd.Get()) == 0;
    if (!ok) {
        return false;
    }
    dropRecovery();
    if (result != nullptr) {
        result->file = std::move(fd);
    }
    return true;
}

// Writes `contents` to a new file beside the target and renames it over the target.
bool WriteReplacing(Target& target, SysContents& contents, Result* result) {
    // A caller that read the file it edits must not get another file replaced.
    const bool mayMove = result == nullptr;
    Fd old;
    if (target.exists) {
        old = OpenLocked(target, mayMove);
        if (!old.Valid()) {
            return false;
        }
    }
    const unsigned mode = target.exists ? static_cast<unsigned>(target.st.st_mode) & 07777u : 0666u;
    std::string name;
    Fd fd = CreateTemporary(target, target.exists ? 0600u : mode, name);
    if (!fd.Valid()) {
        // A directory that takes no new file may still hold a writable file.
        bool denied = errno == EACCES || errno == EPERM || errno == EROFS;
        return denied && WriteInPlace(target, contents, result);
    }
    auto removeName = [&target, &name]() {
        if (!name.empty()) {
            int err = errno;
            ::unlinkat(target.dir.Get(), name.c_str(), 0);
            errno = err;
        }
    };
    if (target.exists) {
        CopyOwner(fd.Get(), target.st);
        if (::fchmod(fd.Get(), static_cast<mode_t>(mode)) != 0) {
            removeName();
            return false;
        }
    }
    bool written = false;
    try {
        written = WriteThrough(fd.Get(), contents, true);
    } catch (...) {
        removeName();
        throw;
    }
    if (!written || (name.empty() && !LinkTemporary(target, fd.Get(), old.Valid(), name))) {
        removeName();
        return false;
    }
    if (SysFails(kSysRename) ||
        ::renameat(target.dir.Get(), name.c_str(), target.dir.Get(), target.name.c_str()) != 0) {
        removeName();
        return false;
    }
    // The new file is complete and in place; a directory that cannot be flushed only
    // leaves the rename to the file system's own schedule.
    SyncDirectory(target);
    if (result != nullptr) {
        result->file = std::move(fd);
    }
    return true;
}

bool Replace(const char* path, SysContents& contents, const struct stat* expect, Result* result) {
    Target target;
    int descriptor = -1;
    if (!FindTarget(path, target, descriptor)) {
        return false;
    }
    if (descriptor >= 0) {
        if (result != nullptr) {
            errno = EINVAL;
            return false;
        }
        return WriteAtPosition(descriptor, contents);
    }
    if (expect != nullptr && (!target.exists || !SameFile(target.st, *expect))) {
        errno = ESTALE;
        return false;
    }
    if (target.exists && (!S_ISREG(target.st.st_mode) || target.st.st_nlink > 1)) {
        return WriteInPlace(target, contents, result);
    }
    return WriteReplacing(target, contents, result);
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

bool SysWritesInPlace(FILE* fp) {
    int flags = ::fcntl(::fileno(fp), F_GETFL);
    return flags != -1 && (flags & O_ACCMODE) != O_RDONLY && (flags & O_APPEND) == 0;
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
    return Replace(path, contents, nullptr, nullptr);
}

FILE* SysReplaceOpenFile(FILE* current, const char* path, SysContents& contents) {
    struct stat st;
    if (::fstat(::fileno(current), &st) != 0) {
        return nullptr;
    }
    Result result;
    if (!Replace(path, contents, &st, &result)) {
        return nullptr;
    }
    FILE* fp = ::fdopen(result.file.Get(), "r+b");
    if (fp == nullptr) {
        return nullptr;
    }
    result.file.Release();
    if (SysSeek(fp, 0, SEEK_END) != 0) {
        SysClose(fp);
        return nullptr;
    }
    return fp;
}

}  // namespace detail
}  // namespace qelcfg

#endif  // !defined(_WIN32)
