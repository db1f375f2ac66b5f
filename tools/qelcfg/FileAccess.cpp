#include "FileAccess.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <sys/sysmacros.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <thread>
#include <utility>
#include <vector>

#include "Tool.h"

namespace qeltool {

namespace {

// A path that keeps being replaced between opening and locking is given up on at last,
// rather than spun on forever.
constexpr int kLockAttempts = 10000;

// O_NONBLOCK keeps a FIFO given as FILE from blocking the open; it is refused below.
int OpenExisting(const std::string& path, const std::string& shownName, struct stat& st) {
    int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return -1;
    }
    int err = 0;
    if (::fstat(fd, &st) != 0) {
        err = errno;
    } else if (S_ISDIR(st.st_mode)) {
        err = EISDIR;
    } else if (!S_ISREG(st.st_mode)) {
        ::close(fd);
        throw ToolError(kExitFailure, "cannot open " + Quoted(shownName) + ": not a regular file");
    } else if (::fcntl(fd, F_SETFL, 0) != 0) {
        err = errno;
    }
    if (err != 0) {
        ::close(fd);
        errno = err;
        return -1;
    }
    return fd;
}

// Set once from the command line, before any file is opened.
double g_lockWait = 10.0;

// "process 1234 (name)" for a process other than this one that holds a lock (flock) on the
// file `fd`, from the kernel's table of locks; empty when none is found there.
std::string LockHolder(int fd) {
    struct stat st;
    if (::fstat(fd, &st) != 0) {
        return "";
    }
    std::ifstream locks("/proc/locks");
    std::string line;
    while (std::getline(locks, line)) {
        char kind[16] = {};
        long pid = 0;
        unsigned devMajor = 0;
        unsigned devMinor = 0;
        unsigned long long inode = 0;
        // "1: FLOCK  ADVISORY  WRITE 1234 08:01:5678 0 EOF"; waiters carry "->".
        if (line.find("->") != std::string::npos ||
            std::sscanf(line.c_str(), "%*d: %15s %*s %*s %ld %x:%x:%llu", kind, &pid, &devMajor,
                        &devMinor, &inode) != 5 ||
            std::string(kind) != "FLOCK" || pid == static_cast<long>(::getpid()) ||
            inode != static_cast<unsigned long long>(st.st_ino) ||
            devMajor != static_cast<unsigned>(major(st.st_dev)) ||
            devMinor != static_cast<unsigned>(minor(st.st_dev))) {
            continue;
        }
        std::string name;
        std::ifstream comm("/proc/" + std::to_string(pid) + "/comm");
        std::getline(comm, name);
        return "process " + std::to_string(pid) + (name.empty() ? "" : " (" + name + ")");
    }
    return "";
}

// Waits at most --wait seconds for the lock, polling with growing pauses (up to 0.1 s), so
// that a reader or writer that never lets go ends the command with a message rather than
// hanging it.
void Lock(int fd, int operation, const std::string& path) {
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline =
        Clock::now() +
        std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(g_lockWait));
    std::chrono::milliseconds pause(1);
    for (;;) {
        if (::flock(fd, operation | LOCK_NB) == 0) {
            return;
        }
        if (errno == EINTR) {
            continue;
        }
        if (errno != EWOULDBLOCK) {
            int err = errno;
            ::close(fd);
            FailSystem("cannot lock", path, err);
        }
        Clock::time_point now = Clock::now();
        if (now >= deadline) {
            std::string holder = LockHolder(fd);
            ::close(fd);
            char waited[32];
            std::snprintf(waited, sizeof waited, "%g", g_lockWait);
            throw ToolError(kExitFailure, "cannot lock " + Quoted(path) + ": " +
                                              (holder.empty() ? "another process holds it"
                                                              : "held by " + holder) +
                                              " (gave up after " + waited + " s, see --wait)");
        }
        std::this_thread::sleep_for(std::min<Clock::duration>(pause, deadline - now));
        pause = std::min(pause * 2, std::chrono::milliseconds(100));
    }
}

std::string DirectoryPart(const std::string& path) {
    std::string::size_type slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string NamePart(const std::string& path) {
    std::string::size_type slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The text of the symbolic link `path`, or a failure.
std::string ReadLink(const std::string& path, const std::string& shownName) {
    std::vector<char> buffer(PATH_MAX + 1);
    ssize_t n = ::readlink(path.c_str(), buffer.data(), buffer.size());
    if (n < 0 || static_cast<std::size_t>(n) >= buffer.size()) {
        FailSystem("cannot open", shownName, n < 0 ? errno : ENAMETOOLONG);
    }
    return std::string(buffer.data(), static_cast<std::size_t>(n));
}

// Follows links one at a time, since the last one may name a file that does not exist
// yet, which realpath refuses.
std::string FollowLinks(const std::string& path) {
    constexpr int kMaxLinks = 40;
    std::string current = path;
    for (int hop = 0; hop < kMaxLinks; ++hop) {
        struct stat st;
        if (::lstat(current.c_str(), &st) != 0) {
            if (errno != ENOENT) {
                FailSystem("cannot open", path, errno);
            }
            return current;
        }
        if (!S_ISLNK(st.st_mode)) {
            return current;
        }
        std::string link = ReadLink(current, path);
        current = !link.empty() && link[0] == '/' ? link : DirectoryPart(current) + "/" + link;
    }
    FailSystem("cannot open", path, ELOOP);
}

bool StillNames(const std::string& path, const struct stat& locked) {
    struct stat now;
    return ::stat(path.c_str(), &now) == 0 && now.st_dev == locked.st_dev &&
           now.st_ino == locked.st_ino;
}

}  // namespace

void LockedFile::Release() noexcept {
    if (m_fd >= 0) {
        ::close(m_fd);
    }
}

void LockedFile::ReadAll(const std::string& shownName,
                         const std::function<void(const char*, std::size_t)>& take) const {
    std::vector<char> buffer(1 << 16);
    for (off_t offset = 0;;) {
        ssize_t n = ::pread(m_fd, buffer.data(), buffer.size(), offset);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            FailSystem("cannot read", shownName, errno);
        }
        if (n == 0) {
            return;
        }
        take(buffer.data(), static_cast<std::size_t>(n));
        offset += n;
    }
}

std::FILE* LockedFile::OpenStream(const std::string& shownName) const {
    int copy = ::fcntl(m_fd, F_DUPFD_CLOEXEC, 0);
    std::FILE* fp = copy >= 0 ? ::fdopen(copy, "rb") : nullptr;
    if (fp == nullptr) {
        int err = errno;
        if (copy >= 0) {
            ::close(copy);
        }
        FailSystem("cannot read", shownName, err);
    }
    if (std::fseek(fp, 0, SEEK_SET) != 0) {
        int err = errno;
        std::fclose(fp);
        FailSystem("cannot read", shownName, err);
    }
    return fp;
}

EditTarget ResolveEditTarget(const std::string& path) {
    std::string file = FollowLinks(path);
    EditTarget target;
    target.base = NamePart(file);
    if (target.base.empty() || target.base == "." || target.base == "..") {
        FailSystem("cannot open", path, EISDIR);
    }
    char* dir = ::realpath(DirectoryPart(file).c_str(), nullptr);
    if (dir == nullptr) {
        FailSystem("cannot open", path, errno);
    }
    target.dir = dir;
    std::free(dir);
    return target;
}

void SetLockWait(double seconds) {
    g_lockWait = seconds;
}

LockedFile LockForReading(const std::string& path) {
    struct stat st;
    int fd = OpenExisting(path, path, st);
    if (fd < 0) {
        FailSystem("cannot open", path, errno);
    }
    Lock(fd, LOCK_SH, path);
    return LockedFile(fd, st);
}

LockedFile LockForWriting(const std::string& path, const std::string& shownName,
                          bool mayBeMissing) {
    for (int attempt = 0; attempt < kLockAttempts; ++attempt) {
        struct stat st;
        int fd = OpenExisting(path, shownName, st);
        if (fd < 0) {
            if (errno == ENOENT && mayBeMissing) {
                return LockedFile();
            }
            FailSystem("cannot open", shownName, errno);
        }
        Lock(fd, LOCK_EX, shownName);
        if (StillNames(path, st)) {
            return LockedFile(fd, st);
        }
        ::close(fd);
    }
    throw ToolError(kExitFailure, "cannot lock " + Quoted(shownName) + ": it keeps being replaced");
}

bool CreateEmpty(const std::string& path, const std::string& shownName) {
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0) {
        if (errno == EEXIST) {
            return false;
        }
        FailSystem("cannot create", shownName, errno);
    }
    ::close(fd);
    return true;
}

void RemoveCreated(const std::string& path) {
    ::unlink(path.c_str());
}

}  // namespace qeltool
