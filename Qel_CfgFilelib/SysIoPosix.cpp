// The file functions of the platform seam on POSIX systems, and the policy by which the
// library reads, locks, checks and replaces the files it writes there (SysLockedFile).
//
// A file is found once: the symbolic links of the caller's path are followed one at a time
// to a directory, opened once, and a name in it. From there on every step works on that
// directory's descriptor or on the file's own, so that an entry swapped for a link meanwhile
// is never followed.
#if !defined(_WIN32)

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <new>
#include <string>
#include <thread>
#include <utility>

#include "SysIo.h"
#include "SysIoFaults.h"

namespace qelcfg {
namespace detail {
namespace {

// A writer tries this many names for a new file, and this many times to open a file that
// keeps being replaced, before it gives up.
constexpr int kAttempts = 64;
// Links followed from the caller's path before the path counts as a loop.
constexpr int kMaxLinks = 40;
constexpr std::size_t kCopyBlock = 64 * 1024;
// The name an in-place write keeps its new text under, beside the file, until the file
// holds it.
constexpr char kRecoverySuffix[] = "~new";
// Files are opened without following a last link (links are followed by hand) and without
// waiting for a pipe's other end.
constexpr int kOpenFlags = O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;

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

bool SameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

long long Nanoseconds(const struct timespec& t) {
    return static_cast<long long>(t.tv_sec) * 1000000000LL + t.tv_nsec;
}

// Only a regular file's size and times tell its contents apart: a device or a pipe changes
// them by being used.
SysFileState StateOf(const struct stat& st) {
    SysFileState state;
    state.exists = true;
    state.regular = S_ISREG(st.st_mode);
    state.device = static_cast<unsigned long long>(st.st_dev);
    state.file = static_cast<unsigned long long>(st.st_ino);
    if (state.regular) {
        state.size = static_cast<long long>(st.st_size);
        state.modified = Nanoseconds(st.st_mtim);
        state.changed = Nanoseconds(st.st_ctim);
    }
    return state;
}

std::string DirectoryOf(const std::string& path) {
    std::string::size_type slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    std::string::size_type end = path.find_last_not_of('/', slash);
    return end == std::string::npos ? "/" : path.substr(0, end + 1);
}

// The descriptor that a path of the descriptor file systems stands for ("/dev/stdout",
// "/dev/fd/3", "/proc/self/fd/3"), or -1. Opening such a path by name would open, and a
// replace would replace, whatever file the descriptor has open rather than write to it.
int DescriptorOfPath(const std::string& path) {
    const char* const streams[] = {"/dev/stdin", "/dev/stdout", "/dev/stderr"};
    for (int fd = 0; fd < 3; ++fd) {
        if (path == streams[fd]) {
            return fd;
        }
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

// Where a file is: the directory that holds it and its name there, or the descriptor that
// its path stands for.
struct Place {
    Fd dir;
    std::string name;
    bool exists = false;
    struct stat st = {};  // of the entry, when it exists
    int descriptor = -1;
};

// A link in a sticky directory that anyone may write to is followed only when it belongs to
// the caller or to the directory's owner: another user's link there could lead the caller's
// write into any file the caller may write.
bool MayFollow(int dir, const struct stat& link) {
    struct stat d;
    const mode_t shared = S_ISVTX | S_IWOTH;
    return ::fstat(dir, &d) == 0 && ((d.st_mode & shared) != shared || link.st_uid == ::geteuid() ||
                                     link.st_uid == d.st_uid);
}

// Finds the file that `path` names, following its symbolic links one at a time (the last
// one may name a file that does not exist yet).
bool Find(const char* path, Place& place) {
    std::string current = path;
    for (int hop = 0; hop <= kMaxLinks; ++hop) {
        place.descriptor = DescriptorOfPath(current);
        if (place.descriptor >= 0) {
            return true;
        }
        const std::string dirPath = DirectoryOf(current);
        const std::string::size_type slash = current.rfind('/');
        place.name = slash == std::string::npos ? current : current.substr(slash + 1);
        if (place.name.empty() || place.name == "." || place.name == "..") {
            errno = EISDIR;
            return false;
        }
        place.dir = Fd(::open(dirPath.c_str(), kDirectoryOpen));
        if (!place.dir.Valid()) {
            return false;
        }
        place.exists =
            ::fstatat(place.dir.Get(), place.name.c_str(), &place.st, AT_SYMLINK_NOFOLLOW) == 0;
        if (!place.exists || !S_ISLNK(place.st.st_mode)) {
            return place.exists || errno == ENOENT;
        }
        // The links of /proc name files that have no entry of their own to replace.
        if (dirPath.compare(0, 6, "/proc/") == 0 || !MayFollow(place.dir.Get(), place.st)) {
            errno = dirPath.compare(0, 6, "/proc/") == 0 ? EXDEV : EACCES;
            return false;
        }
        char link[PATH_MAX + 1];
        ssize_t n = ::readlinkat(place.dir.Get(), place.name.c_str(), link, PATH_MAX);
        if (n < 0) {
            return false;
        }
        link[n] = '\0';
        current = link[0] == '/' ? std::string(link) : dirPath + "/" + link;
    }
    errno = ELOOP;
    return false;
}

// Takes the writers' lock on `fd`, waiting at most `waitMs` for another holder. False when
// it is still held then, or when the file system has no locks: the caller goes on without.
bool Lock(int fd, long waitMs) {
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(waitMs);
    std::chrono::milliseconds pause(1);
    for (;;) {
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
            return true;
        }
        const Clock::time_point now = Clock::now();
        if ((errno != EWOULDBLOCK && errno != EINTR) || now >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::min<Clock::duration>(pause, deadline - now));
        pause = std::min(pause * 2, std::chrono::milliseconds(100));
    }
}

// The start of the names of a file's new files: ".qc-" and a hash of its name, by which a
// later writer finds what a killed one left. Short, so that a file whose name is near the
// longest a directory takes can still be replaced.
std::string TemporaryPrefix(const std::string& name) {
    unsigned hash = 2166136261u;  // FNV-1a
    for (unsigned char c : name) {
        hash = (hash ^ c) * 16777619u;
    }
    char text[16];
    std::snprintf(text, sizeof text, ".qc-%08x-", hash);
    return text;
}

std::string TemporaryName(const std::string& prefix, int attempt) {
    unsigned long long mix =
        static_cast<unsigned long long>(
            std::chrono::steady_clock::now().time_since_epoch().count()) ^
        (static_cast<unsigned long long>(::getpid()) << 32) ^
        static_cast<unsigned long long>(std::hash<std::thread::id>()(std::this_thread::get_id())) ^
        static_cast<unsigned long long>(attempt) * 0x9E3779B97F4A7C15ull;
    mix = (mix ^ (mix >> 30)) * 0xBF58476D1CE4E5B9ull;
    mix = (mix ^ (mix >> 27)) * 0x94D049BB133111EBull;
    char text[24];
    std::snprintf(text, sizeof text, "%08llx.tmp", (mix ^ (mix >> 31)) & 0xFFFFFFFFull);
    return prefix + text;
}

// Removes what killed writers of the file left beside it: entries under its prefix that
// are regular files of the caller or of the file's owner and that no live writer holds
// (each writer holds the lock of its own new file until it is in place or removed).
void RemoveLeftovers(const Place& place) {
    Fd list(::openat(place.dir.Get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    DIR* dir = list.Valid() ? ::fdopendir(list.Get()) : nullptr;
    if (dir == nullptr) {
        return;
    }
    list.Release();  // the stream owns the descriptor now
    const std::string prefix = TemporaryPrefix(place.name);
    while (const dirent* entry = ::readdir(dir)) {
        if (std::strncmp(entry->d_name, prefix.c_str(), prefix.size()) != 0) {
            continue;
        }
        Fd fd(::openat(place.dir.Get(), entry->d_name, O_RDONLY | kOpenFlags));
        struct stat st;
        struct stat named;
        if (fd.Valid() && ::fstat(fd.Get(), &st) == 0 && S_ISREG(st.st_mode) &&
            (st.st_uid == ::geteuid() || (place.exists && st.st_uid == place.st.st_uid)) &&
            ::flock(fd.Get(), LOCK_EX | LOCK_NB) == 0 &&
            ::fstatat(place.dir.Get(), entry->d_name, &named, AT_SYMLINK_NOFOLLOW) == 0 &&
            SameFile(st, named)) {
            ::unlinkat(place.dir.Get(), entry->d_name, 0);
        }
    }
    ::closedir(dir);
}

// A new file beside the place's, under a name of its own that no one else held, locked by
// this writer so that no other writer takes it for a leftover. `name` receives its name.
Fd CreateTemporary(const Place& place, mode_t mode, std::string& name) {
    if (SysFails(kSysOpen)) {
        return Fd();
    }
    RemoveLeftovers(place);
    const std::string prefix = TemporaryPrefix(place.name);
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        name = TemporaryName(prefix, attempt);
        // The hook stands for a name that someone else took first.
        Fd fd(SysFails(kSysOpen, EEXIST)
                  ? -1
                  : ::openat(place.dir.Get(), name.c_str(),
                             O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode));
        if (!fd.Valid() && errno != EEXIST) {
            break;
        }
        struct stat own;
        struct stat named;
        // A writer removing leftovers may have taken the name between its creation and the lock.
        if (fd.Valid() && (::flock(fd.Get(), LOCK_EX | LOCK_NB) == 0 || errno != EWOULDBLOCK) &&
            ::fstat(fd.Get(), &own) == 0 &&
            ::fstatat(place.dir.Get(), name.c_str(), &named, AT_SYMLINK_NOFOLLOW) == 0 &&
            SameFile(own, named)) {
            return fd;
        }
    }
    name.clear();
    return Fd();
}

// Renames `from` to `to` in `dir` unless `to` exists (EEXIST then), in one step.
bool MoveNoReplace(int dir, const std::string& from, const std::string& to) {
#if defined(RENAME_NOREPLACE)
    if (::renameat2(dir, from.c_str(), dir, to.c_str(), RENAME_NOREPLACE) == 0) {
        return true;
    }
    if (errno != EINVAL && errno != ENOSYS) {
        return false;
    }
#endif
    return ::linkat(dir, from.c_str(), dir, to.c_str(), 0) == 0 &&
           ::unlinkat(dir, from.c_str(), 0) == 0;
}

int SyncDirectory(const Place& place) {
    if (SysFails(kSysSync)) {
        return -1;
    }
    Fd dir(::openat(place.dir.Get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    return dir.Valid() ? ::fsync(dir.Get()) : -1;
}

// Writes `contents` through a stream of its own on `fd` (which stays open): the whole file
// from its start, or at the position of a device, a pipe or a caller's descriptor.
bool WriteThrough(int fd, SysContents& contents, bool whole) {
    int copy = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
    FILE* fp = copy >= 0 ? ::fdopen(copy, whole ? "w+b" : "wb") : nullptr;
    if (fp == nullptr) {
        if (copy >= 0) {
            ::close(copy);
        }
        return false;
    }
    if (whole) {
        return SysWriteAndClose(fp, contents, false);
    }
    bool ok = false;
    try {
        ok = contents.WriteTo(fp) && SysFlush(fp) == 0;
    } catch (...) {
        SysClose(fp);
        throw;
    }
    return SysClose(fp) == 0 && ok;
}

// Opens the place's file for writing, once it is still the file found.
Fd OpenForWriting(const Place& place, int access) {
    if (SysFails(kSysOpen)) {
        return Fd();
    }
    Fd fd(::openat(place.dir.Get(), place.name.c_str(), access | kOpenFlags));
    struct stat st;
    if (fd.Valid() && (::fstat(fd.Get(), &st) != 0 || !SameFile(st, place.st))) {
        errno = ESTALE;
        return Fd();
    }
    int flags = fd.Valid() ? ::fcntl(fd.Get(), F_GETFL) : -1;
    if (flags == -1 || ::fcntl(fd.Get(), F_SETFL, flags & ~O_NONBLOCK) != 0) {
        return Fd();
    }
    return fd;
}

// Writes `size` bytes of `source` over the file `target` in place: its room is reserved
// first, so that a full disk or a size limit fails before any byte changes (`touched` tells
// whether one may have); then it is cut there, forced to the disk, and given its mode
// again, set-ID bits included, which a write by another user clears.
bool WriteInPlace(const Place& place, int target, int source, off_t size, bool& touched) {
    touched = false;
    int rc = SysFails(kSysTruncate) ? ENOSPC : size > 0 ? ::posix_fallocate(target, 0, size) : 0;
    if (rc != 0 && rc != EOPNOTSUPP && rc != EINVAL) {
        errno = rc;
        return false;
    }
    touched = true;
    std::string block(kCopyBlock, '\0');
    for (off_t at = 0; at < size;) {
        ssize_t n = ::pread(source, &block[0], block.size(), at);
        for (ssize_t done = 0; n > 0 && done < n;) {
            ssize_t w = SysFails(kSysWrite)
                            ? -1
                            : ::pwrite(target, block.data() + done,
                                       static_cast<std::size_t>(n - done), at + done);
            if (w <= 0 && errno != EINTR) {
                return false;
            }
            done += std::max<ssize_t>(w, 0);
        }
        if (n <= 0) {
            errno = n == 0 ? EIO : errno;
            return false;
        }
        at += n;
    }
    if (SysFails(kSysTruncate) || ::ftruncate(target, size) != 0) {
        return false;
    }
    int kept = ::fchmod(target, place.st.st_mode & 07777);
    static_cast<void>(kept);  // only the owner may, and only the owner's bits matter here
    return !SysFails(kSysSync) && ::fsync(target) == 0;
}

// Gives the new file `fd` the owner and group of `old` where the process may, else its
// group where the process belongs to it.
void CopyOwner(int fd, const struct stat& old) {
    if (::fchown(fd, old.st_uid, old.st_gid) != 0) {
        int kept = ::fchown(fd, static_cast<uid_t>(-1), old.st_gid);
        static_cast<void>(kept);
    }
}

}  // namespace

struct SysLockedFile::Impl {
    Place place;
    Fd file;  // the file read, locked where the lock could be had
    SysFileState state;

    bool Unchanged(const std::string& entry, const SysFileState& expect, bool moved = false) const;
    bool Recover();
    bool ReplaceInPlace(SysContents& contents);
    bool ReplaceWhole(SysContents& contents, const SysFileState& expect);
    bool PutInPlace(const std::string& temp, const SysFileState& expect);
};

// Whether `entry` in the directory names the file held, still in the state `expect`. A file
// this writer has just `moved` has a new change time of its own making.
bool SysLockedFile::Impl::Unchanged(const std::string& entry, const SysFileState& expect,
                                    bool moved) const {
    struct stat named;
    struct stat held;
    if (!file.Valid() ||
        ::fstatat(place.dir.Get(), entry.c_str(), &named, AT_SYMLINK_NOFOLLOW) != 0 ||
        ::fstat(file.Get(), &held) != 0 || !SameFile(named, held)) {
        return false;
    }
    SysFileState now = StateOf(held);
    now.changed = moved ? expect.changed : now.changed;
    return now == expect;
}

// Writes into the file the text that an in-place write killed half way left in its recovery
// copy, and removes the copy. A copy that is not trusted is neither read nor removed.
bool SysLockedFile::Impl::Recover() {
    const std::string copyName = place.name + kRecoverySuffix;
    Fd copy(::openat(place.dir.Get(), copyName.c_str(), O_RDONLY | kOpenFlags));
    struct stat st;
    if (!copy.Valid() || ::fstat(copy.Get(), &st) != 0 || !S_ISREG(st.st_mode) ||
        st.st_nlink != 1 || (st.st_uid != ::geteuid() && st.st_uid != place.st.st_uid)) {
        return true;
    }
    Fd target = OpenForWriting(place, O_WRONLY);
    bool touched = false;
    if (!target.Valid() || !WriteInPlace(place, target.Get(), copy.Get(), st.st_size, touched)) {
        return false;
    }
    ::unlinkat(place.dir.Get(), copyName.c_str(), 0);
    return true;
}

// A file that must stay what it is (one with other hard links, or in a directory that takes
// no new file) is written in place. Its new text goes first to a copy that takes the name
// "NAME~new" only once complete and on the disk (unnamed where that name cannot be had), so
// that whatever stops the write from then on leaves the whole text for the next writer.
bool SysLockedFile::Impl::ReplaceInPlace(SysContents& contents) {
    Fd target = OpenForWriting(place, O_RDWR);
    if (!target.Valid() && errno == EACCES) {
        target = OpenForWriting(place, O_WRONLY);
    }
    if (!target.Valid()) {
        return false;
    }
    std::string temp;
    Fd copy = CreateTemporary(place, 0600, temp);
    if (!copy.Valid()) {
        FILE* unnamed = std::tmpfile();
        copy = Fd(unnamed != nullptr ? ::fcntl(::fileno(unnamed), F_DUPFD_CLOEXEC, 0) : -1);
        if (unnamed != nullptr) {
            std::fclose(unnamed);
        }
    }
    const std::string recovery = place.name + kRecoverySuffix;
    bool written = false;
    try {
        written = copy.Valid() && WriteThrough(copy.Get(), contents, true);
    } catch (...) {
        if (!temp.empty()) {
            ::unlinkat(place.dir.Get(), temp.c_str(), 0);
        }
        throw;
    }
    // The copy takes the recovery name once it is on the disk, owned like the file, so that
    // a writer of another user finishes an interrupted write. A name that another entry
    // holds is left to it, and the write goes on with an unnamed copy.
    bool named = false;
    if (written && !temp.empty()) {
        CopyOwner(copy.Get(), place.st);
        written = !SysFails(kSysSync) && ::fsync(copy.Get()) == 0;
        named = written && MoveNoReplace(place.dir.Get(), temp, recovery);
    }
    if (named) {
        SyncDirectory(place);
    } else if (!temp.empty()) {
        ::unlinkat(place.dir.Get(), temp.c_str(), 0);
    }
    struct stat st;
    bool touched = false;
    const bool ok = written && ::fstat(copy.Get(), &st) == 0 &&
                    WriteInPlace(place, target.Get(), copy.Get(), st.st_size, touched);
    if (named && (ok || !touched)) {
        const int err = errno;
        ::unlinkat(place.dir.Get(), recovery.c_str(), 0);
        errno = err;
    }
    return ok;
}

// Puts the new file `temp` in the file's place, while the file is still in the state
// `expect`. Where the system swaps two names in one step, the file swapped out is checked
// and swapped back when another writer replaced it meanwhile; elsewhere the check comes just
// before the rename, and a writer that replaces the file between the two is not seen.
bool SysLockedFile::Impl::PutInPlace(const std::string& temp, const SysFileState& expect) {
    const int dir = place.dir.Get();
    if (place.exists && !Unchanged(place.name, expect)) {
        errno = ESTALE;
        return false;
    }
    if (SysFails(kSysRename)) {
        return false;
    }
    // A missing file must still be missing: another writer's new file is never replaced.
    if (!place.exists) {
        if (MoveNoReplace(dir, temp, place.name)) {
            return true;
        }
        errno = errno == EEXIST ? ESTALE : errno;
        return false;
    }
#if defined(RENAME_EXCHANGE)
    if (::renameat2(dir, temp.c_str(), dir, place.name.c_str(), RENAME_EXCHANGE) == 0) {
        if (Unchanged(temp, expect, true)) {
            ::unlinkat(dir, temp.c_str(), 0);
            return true;
        }
        ::renameat2(dir, temp.c_str(), dir, place.name.c_str(), RENAME_EXCHANGE);
        errno = ESTALE;
        return false;
    }
    if (errno != EINVAL && errno != ENOSYS) {
        return false;
    }
#endif
    return ::renameat(dir, temp.c_str(), dir, place.name.c_str()) == 0;
}

// A regular file of one link, or a missing one: the new text goes to a new file beside it,
// which takes its place once complete.
bool SysLockedFile::Impl::ReplaceWhole(SysContents& contents, const SysFileState& expect) {
    std::string temp;
    Fd fd = CreateTemporary(place, place.exists ? 0600 : 0666, temp);
    if (!fd.Valid()) {
        // A directory that takes no new file may still hold a writable file.
        if (errno != EACCES && errno != EPERM && errno != EROFS) {
            return false;
        }
        if (!place.exists || !Unchanged(place.name, expect)) {
            errno = place.exists ? ESTALE : errno;
            return false;
        }
        return ReplaceInPlace(contents);
    }
    auto drop = [this, &temp]() {
        int err = errno;
        ::unlinkat(place.dir.Get(), temp.c_str(), 0);
        errno = err;
    };
    bool ok = false;
    try {
        ok = WriteThrough(fd.Get(), contents, true);
    } catch (...) {
        drop();
        throw;
    }
    // Owner and mode come after the contents: a write by a process without the privilege
    // to keep them clears the set-ID bits.
    if (ok && place.exists) {
        CopyOwner(fd.Get(), place.st);
        ok = ::fchmod(fd.Get(), place.st.st_mode & 07777) == 0;
    }
    if (!ok || SysFails(kSysSync) || ::fsync(fd.Get()) != 0 || !PutInPlace(temp, expect)) {
        drop();
        return false;
    }
    // The new file is complete and in place; a directory that cannot be flushed only leaves
    // the rename to the file system's own schedule.
    SyncDirectory(place);
    file = std::move(fd);
    place.exists = ::fstat(file.Get(), &place.st) == 0;
    return true;
}

SysLockedFile::SysLockedFile() : m_impl(nullptr) {}

SysLockedFile::~SysLockedFile() {
    Close();
}

void SysLockedFile::Close() {
    delete std::exchange(m_impl, nullptr);
}

bool SysLockedFile::Open(const char* path, long waitMs, bool mayBeMissing) {
    Close();
    try {
        m_impl = new Impl;
    } catch (const std::bad_alloc&) {
        errno = ENOMEM;
        return false;
    }
    if (SysFails(kSysOpen)) {
        return false;
    }
    Impl& f = *m_impl;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        if (!Find(path, f.place)) {
            return false;
        }
        if (f.place.descriptor >= 0) {
            f.file = Fd(::fcntl(f.place.descriptor, F_DUPFD_CLOEXEC, 0));
            if (!f.file.Valid() || ::fstat(f.file.Get(), &f.place.st) != 0) {
                return false;
            }
            f.state = StateOf(f.place.st);
            return true;
        }
        if (!f.place.exists) {
            errno = ENOENT;
            return mayBeMissing;
        }
        if (S_ISDIR(f.place.st.st_mode)) {
            errno = EISDIR;
            return false;
        }
        f.state = StateOf(f.place.st);
        // No end of a pipe is held open: a write to it must find a reader of its own.
        if (S_ISFIFO(f.place.st.st_mode) || S_ISSOCK(f.place.st.st_mode)) {
            return true;
        }
        f.file = Fd(::openat(f.place.dir.Get(), f.place.name.c_str(), O_RDONLY | kOpenFlags));
        // A writer that may write the file but not read it holds it write-only.
        if (!f.file.Valid() && errno == EACCES) {
            f.file = Fd(::openat(f.place.dir.Get(), f.place.name.c_str(), O_WRONLY | kOpenFlags));
        }
        struct stat st;
        if (!f.file.Valid() || ::fstat(f.file.Get(), &st) != 0) {
            return false;
        }
        if (S_ISREG(st.st_mode) && SameFile(st, f.place.st)) {
            Lock(f.file.Get(), waitMs);
        }
        // A writer may have replaced the file since it was found, or while this one waited.
        struct stat named;
        if (::fstatat(f.place.dir.Get(), f.place.name.c_str(), &named, AT_SYMLINK_NOFOLLOW) != 0 ||
            !SameFile(named, st) || !SameFile(st, f.place.st)) {
            continue;
        }
        if ((S_ISREG(st.st_mode) && !f.Recover()) || ::fstat(f.file.Get(), &f.place.st) != 0 ||
            ::fcntl(f.file.Get(), F_SETFL, 0) != 0) {
            return false;
        }
        f.state = StateOf(f.place.st);
        return true;
    }
    errno = ESTALE;
    return false;
}

SysFileState SysLockedFile::State() const {
    return m_impl != nullptr ? m_impl->state : SysFileState();
}

long long SysLockedFile::Read(void* data, std::size_t size) {
    if (m_impl == nullptr || !m_impl->file.Valid()) {
        return 0;
    }
    for (;;) {
        if (SysFails(kSysRead)) {
            return -1;
        }
        ssize_t n = ::read(m_impl->file.Get(), data, size);
        if (n >= 0 || errno != EINTR) {
            return n;
        }
    }
}

bool SysLockedFile::Replace(SysContents& contents, const SysFileState& expect) {
    if (m_impl == nullptr) {
        errno = EBADF;
        return false;
    }
    Impl& f = *m_impl;
    if (expect != f.state) {
        errno = ESTALE;
        return false;
    }
    SysFileSizeGuard guard;
    bool ok = false;
    if (f.place.descriptor >= 0) {
        ok = WriteThrough(f.place.descriptor, contents, false);
    } else if (f.place.exists && !S_ISREG(f.place.st.st_mode)) {
        Fd fd = OpenForWriting(f.place, O_WRONLY);
        ok = fd.Valid() && WriteThrough(fd.Get(), contents, false);
    } else if (f.place.exists && f.place.st.st_nlink > 1) {
        if (!f.Unchanged(f.place.name, expect)) {
            errno = ESTALE;
            return false;
        }
        ok = f.ReplaceInPlace(contents);
    } else {
        ok = f.ReplaceWhole(contents, expect);
    }
    struct stat st;
    if (ok && f.file.Valid() && ::fstat(f.file.Get(), &st) == 0) {
        f.state = StateOf(st);
    }
    return ok;
}

FILE* SysLockedFile::OpenStream(bool write) {
    if (m_impl == nullptr || m_impl->place.descriptor >= 0 || !m_impl->file.Valid()) {
        errno = EINVAL;
        return nullptr;
    }
    Fd fd = OpenForWriting(m_impl->place, write ? O_RDWR : O_RDONLY);
    FILE* fp = fd.Valid() ? ::fdopen(fd.Get(), write ? "r+b" : "rb") : nullptr;
    if (fp == nullptr) {
        return nullptr;
    }
    fd.Release();
    if (SysSeek(fp, 0, SEEK_END) != 0) {
        SysClose(fp);
        return nullptr;
    }
    return fp;
}

// The old stream goes on reading the file it has open until the new one is in place, and
// the object then holds a read-write stream whatever the old one's access was.
bool SysReplaceOpenFile(FILE*& current, const char* path, SysContents& contents,
                        const SysFileState& before) {
    SysLockedFile file;
    if (!before.regular) {
        errno = EINVAL;
        return false;
    }
    FILE* fp = file.Open(path, kSysLockWaitMs, false) && file.Replace(contents, before)
                   ? file.OpenStream(true)
                   : nullptr;
    if (fp == nullptr) {
        return false;
    }
    SysClose(std::exchange(current, fp));
    return true;
}

SysFileSizeGuard::SysFileSizeGuard() {
    sigset_t signal;
    sigset_t old;
    sigemptyset(&signal);
    sigaddset(&signal, SIGXFSZ);
    m_wasHeld = ::pthread_sigmask(SIG_BLOCK, &signal, &old) != 0 || sigismember(&old, SIGXFSZ) == 1;
    m_wasPending = ::sigpending(&old) != 0 || sigismember(&old, SIGXFSZ) == 1;
}

SysFileSizeGuard::~SysFileSizeGuard() {
    const int err = errno;
    sigset_t signal;
    sigset_t pending;
    sigemptyset(&signal);
    sigaddset(&signal, SIGXFSZ);
    if (!m_wasPending && ::sigpending(&pending) == 0 && sigismember(&pending, SIGXFSZ) == 1) {
        const struct timespec now = {0, 0};
        ::sigtimedwait(&signal, nullptr, &now);
    }
    if (!m_wasHeld) {
        ::pthread_sigmask(SIG_UNBLOCK, &signal, nullptr);
    }
    errno = err;
}

bool SysStateOf(FILE* fp, SysFileState& state) {
    struct stat st;
    if (::fstat(::fileno(fp), &st) != 0) {
        return false;
    }
    state = StateOf(st);
    return true;
}

bool SysNamesFile(const char* path, const SysFileState& state) {
    struct stat st;
    return ::stat(path, &st) == 0 && StateOf(st).device == state.device &&
           static_cast<unsigned long long>(st.st_ino) == state.file;
}

FILE* SysOpen(const char* path, const char* mode) {
    if (SysFails(kSysOpen)) {
        return nullptr;
    }
    FILE* fp = std::fopen(path, mode);
    struct stat st;
    // A directory opens for reading here but has no text: it is refused as it is elsewhere.
    if (fp != nullptr && ::fstat(::fileno(fp), &st) == 0 && S_ISDIR(st.st_mode)) {
        std::fclose(fp);
        errno = EISDIR;
        return nullptr;
    }
    return fp;
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
    FILE* fp =
        !exact || ::fchmod(fd, static_cast<mode_t>(mode)) == 0 ? ::fdopen(fd, "w+b") : nullptr;
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

}  // namespace detail
}  // namespace qelcfg

#endif  // !defined(_WIN32)
