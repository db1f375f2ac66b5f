// The fault hooks and the calls of the C runtime that every platform shares, and the
// POSIX half of the file-system calls; SysIoWin32.cpp holds the Windows half.
#include "SysIo.h"

#if !defined(_WIN32)
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <cerrno>
#include <cstdlib>

namespace qelcfg {
namespace detail {
namespace {

struct FaultPlan {
    unsigned kinds = 0;
    long failAt = 0;
    long calls[10] = {};
};

FaultPlan& Plan() {
    static FaultPlan plan;
    return plan;
}

int KindIndex(SysCall kind) {
    int index = 0;
    for (unsigned bit = kind; bit > 1; bit >>= 1) {
        ++index;
    }
    return index;
}

}  // namespace

bool SysFails(SysCall kind, int err) {
    FaultPlan& plan = Plan();
    ++plan.calls[KindIndex(kind)];
    if (plan.failAt <= 0 || (plan.kinds & kind) == 0) {
        return false;
    }
    long seen = 0;
    for (int i = 0; i < 10; ++i) {
        if (plan.kinds & (1u << i)) {
            seen += plan.calls[i];
        }
    }
    if (seen != plan.failAt) {
        return false;
    }
    errno = err;
    return true;
}

namespace {

bool Fails(SysCall kind, int err = EIO) {
    return SysFails(kind, err);
}

}  // namespace

#if !defined(_WIN32)
FILE* SysOpen(const char* path, const char* mode) {
    if (Fails(kSysOpen)) {
        return nullptr;
    }
    return std::fopen(path, mode);
}

FILE* SysCreate(const char* path, unsigned mode, bool exact) {
    if (Fails(kSysOpen)) {
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
#endif  // !_WIN32

int SysClose(FILE* fp) {
    if (Fails(kSysClose)) {
        std::fclose(fp);  // the stream is gone either way, as with a real failure
        errno = EIO;
        return EOF;
    }
#if defined(_WIN32)
    // Windows' runtime fails the close of a stream that an earlier call has failed on,
    // though that call has reported it; only what the close itself flushes counts here.
    std::clearerr(fp);
#endif
    return std::fclose(fp);
}

int SysPuts(const char* text, FILE* fp) {
    if (Fails(kSysWrite)) {
        return EOF;
    }
    return std::fputs(text, fp);
}

std::size_t SysWrite(const void* data, std::size_t size, FILE* fp) {
    if (Fails(kSysWrite)) {
        return 0;
    }
    return std::fwrite(data, 1, size, fp);
}

char* SysGets(char* buffer, int count, FILE* fp) {
    if (Fails(kSysRead)) {
        return nullptr;
    }
#if defined(__GLIBC__)
    // A stream is used by one object at a time, so the lock that fgets takes at every
    // call buys nothing; reading a file is one call per line.
    return ::fgets_unlocked(buffer, count, fp);
#else
    return std::fgets(buffer, count, fp);
#endif
}

int SysFlush(FILE* fp) {
    if (Fails(kSysFlush)) {
        return EOF;
    }
    return std::fflush(fp);
}

int SysSeek(FILE* fp, long offset, int origin) {
    if (Fails(kSysSeek)) {
        return -1;
    }
    return std::fseek(fp, offset, origin);
}

long SysTell(FILE* fp) {
    return std::ftell(fp);
}

bool SysEof(FILE* fp) {
    return std::feof(fp) != 0;
}

#if !defined(_WIN32)
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
    if (Fails(kSysSync)) {
        return -1;
    }
    return ::fsync(::fileno(fp));
}

int SysSyncDir(const char* dir) {
    if (Fails(kSysSync)) {
        return -1;
    }
    int fd = ::open(dir, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        return -1;
    }
    int rc = ::fsync(fd);
    ::close(fd);
    return rc;
}

int SysRename(const char* from, const char* to) {
    if (Fails(kSysRename)) {
        return -1;
    }
    return std::rename(from, to);
}

int SysTruncate(FILE* fp, long long length) {
    if (Fails(kSysTruncate)) {
        return -1;
    }
    return ::ftruncate(::fileno(fp), static_cast<off_t>(length));
}
#endif  // !_WIN32

void* SysAlloc(std::size_t size) {
    if (Fails(kSysAlloc, ENOMEM)) {
        return nullptr;
    }
    return std::malloc(size);
}

void* SysRealloc(void* p, std::size_t size) {
    if (Fails(kSysAlloc, ENOMEM)) {
        return nullptr;
    }
    return std::realloc(p, size);
}

void SysFree(void* p) {
    std::free(p);
}

void SysFailAt(unsigned kinds, long n) {
    FaultPlan& plan = Plan();
    plan = FaultPlan{};
    plan.kinds = kinds;
    plan.failAt = n;
}

long SysCallCount(unsigned kinds) {
    long seen = 0;
    for (int i = 0; i < 10; ++i) {
        if (kinds & (1u << i)) {
            seen += Plan().calls[i];
        }
    }
    return seen;
}

}  // namespace detail
}  // namespace qelcfg
