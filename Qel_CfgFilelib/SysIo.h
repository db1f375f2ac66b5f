// Internal: the one place where the library calls the C runtime and the file system
// for streams, files and line-buffer memory. Tests use the fault hooks below to make
// a chosen call fail, which interposing the C library cannot do reliably.
// This header is not installed.
#ifndef QEL_CFGFILE_SYSIO_H
#define QEL_CFGFILE_SYSIO_H

#include <cstddef>
#include <cstdio>

namespace qelcfg {
namespace detail {

// Kinds of call that the fault hooks count.
enum SysCall : unsigned {
    kSysOpen = 1u << 0,
    kSysClose = 1u << 1,
    kSysWrite = 1u << 2,
    kSysFlush = 1u << 3,
    kSysSeek = 1u << 4,
    kSysSync = 1u << 5,
    kSysRename = 1u << 6,
    kSysTruncate = 1u << 7,
    kSysRead = 1u << 8,
    kSysAlloc = 1u << 9,
    kSysAllCalls = 0x3FFu,
};

FILE* SysOpen(const char* path, const char* mode);
// Creates `path` exclusively (never through a symbolic link) with permission bits `mode`
// (before the umask when `exact` is false) and opens it with "w+b".
FILE* SysCreate(const char* path, unsigned mode, bool exact);
int SysClose(FILE* fp);
int SysPuts(const char* text, FILE* fp);
std::size_t SysWrite(const void* data, std::size_t size, FILE* fp);
char* SysGets(char* buffer, int count, FILE* fp);
int SysFlush(FILE* fp);
int SysSeek(FILE* fp, long offset, int origin);
long SysTell(FILE* fp);
// Tells whether the stream has reached its end, so that a null result of SysGets can be
// told apart from a read failure.
bool SysEof(FILE* fp);
// Stores the permission bits of the file open as `fp` in `mode`; returns 0, or -1 on failure.
int SysFileMode(FILE* fp, unsigned* mode);
// Removes the directory entry `path`; a symbolic link is removed itself, never its target.
int SysRemove(const char* path);
int SysSync(FILE* fp);
int SysSyncDir(const char* dir);
int SysRename(const char* from, const char* to);
int SysTruncate(FILE* fp, long long length);
void* SysAlloc(std::size_t size);
// Resizes a block from SysAlloc (or allocates one for a null `p`) as realloc does: on
// failure the result is null and the block stays as it was.
void* SysRealloc(void* p, std::size_t size);
void SysFree(void* p);

#if defined(_WIN32)
// What a save may do with a path on Windows: replace a regular file that has one link,
// create a missing one, and write anything else (a directory entry it cannot examine, a
// device, a link, a file of several links) in place.
enum SysPathKind { kSysPathMissing, kSysPathReplaceable, kSysPathInPlace };
SysPathKind SysExamine(const char* path);
// Tells whether `path` names the file open as `fp`.
bool SysSameFile(FILE* fp, const char* path);
#endif

// Fault hooks. After SysFailAt(kinds, n) the n-th call (counted from 1) of one of the
// given kinds fails as the runtime reports a failure (errno EIO, or ENOMEM for memory);
// n = 0 turns the hook off. SysCallCount tells how many calls of those kinds were made
// since the last SysFailAt.
void SysFailAt(unsigned kinds, long n);
long SysCallCount(unsigned kinds);
// Counts a call of `kind` and tells whether the fault hooks make it fail; errno is then `err`.
bool SysFails(SysCall kind, int err);

}  // namespace detail
}  // namespace qelcfg

#endif  // QEL_CFGFILE_SYSIO_H
