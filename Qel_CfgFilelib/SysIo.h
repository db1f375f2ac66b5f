// Internal: the platform seam, the one place where the library calls the C runtime for
// streams and line-buffer memory and the operating system for files. Nothing above it
// includes a platform header. SysIo.cpp holds what standard C offers on every platform;
// the file functions of each platform live in a unit of their own (SysIoPosix.cpp,
// SysIoWin32.cpp), which compiles to nothing elsewhere. The interface uses standard C types
// only. Paths are the platform's own bytes on POSIX systems and UTF-8 on Windows.
// This header is not installed.
#ifndef QEL_CFGFILE_SYSIO_H
#define QEL_CFGFILE_SYSIO_H

#include <cstddef>
#include <cstdio>

#include "Export.h"  // ESTALE where the C runtime lacks it

namespace qelcfg {
namespace detail {

// Streams and memory, as the C runtime's functions of the same role (SysIo.cpp).
int SysClose(FILE* fp);
int SysPuts(const char* text, FILE* fp);
std::size_t SysWrite(const void* data, std::size_t size, FILE* fp);
// Reads up to `size` bytes; a short count is the end of the file or a failure (SysEof).
std::size_t SysRead(void* data, std::size_t size, FILE* fp);
char* SysGets(char* buffer, int count, FILE* fp);
int SysFlush(FILE* fp);
int SysSeek(FILE* fp, long offset, int origin);
// Makes the `size` bytes at `buffer` the stream's full buffer, as setvbuf does; only before
// the first operation on the stream. The buffer must outlive the stream. Returns 0, or
// nonzero when the stream keeps its own buffer.
int SysSetBuffer(FILE* fp, char* buffer, std::size_t size);
long SysTell(FILE* fp);
// Tells whether the stream has reached its end, so that a null result of SysGets can be
// told apart from a read failure.
bool SysEof(FILE* fp);
void* SysAlloc(std::size_t size);
// Resizes a block from SysAlloc (or allocates one for a null `p`) as realloc does: on
// failure the result is null and the block stays as it was.
void* SysRealloc(void* p, std::size_t size);
void SysFree(void* p);

// Files, one implementation per platform. Permission bits are given as the nine
// read/write/execute bits of owner, group and others (0644), plus the three bits above
// them (set-user-ID, set-group-ID, sticky) where a platform has them.

// Opens `path` as fopen does. Every stream is binary, whatever `mode` says: the library
// writes its line ends itself.
FILE* SysOpen(const char* path, const char* mode);
// Creates `path` exclusively (never through a symbolic link) with permission bits `mode`
// (before the umask when `exact` is false) and opens it with "w+b".
FILE* SysCreate(const char* path, unsigned mode, bool exact);
// Stores the permission bits of the file open as `fp` in `mode`; returns 0, or -1 on failure.
int SysFileMode(FILE* fp, unsigned* mode);
// Removes the directory entry `path`; a symbolic link is removed itself, never its target.
// Returns 0, or -1 with errno set.
int SysRemove(const char* path);
// Forces what was written to `fp` (and flushed) to the disk. Returns 0 or -1.
int SysSync(FILE* fp);
// Cuts the file open as `fp` to `length` bytes. Returns 0 or -1.
int SysTruncate(FILE* fp, long long length);
// Whether a write to `fp` lands where the stream stands: false for a stream opened for
// reading only or for appending (Windows tells only the first).
bool SysWritesInPlace(FILE* fp);
// Cuts a regular file that `fp` writes, unless it appends, after the stream's position;
// devices, pipes and appending streams are left alone. Where the platform does not tell
// whether a stream appends (Windows), a stream at its start is left alone too. Returns 0,
// or -1 when the cut fails.
int SysCutAtPosition(FILE* fp);

// The new contents of a file, written by whoever knows its format. WriteTo is called once,
// with the stream at its start, and writes the whole text through SysWrite or SysPuts; it
// neither flushes nor closes the stream. It returns false when a write failed, and may
// throw: the operations below then clean up and let the exception pass.
class SysContents {
public:
    virtual bool WriteTo(FILE* fp) = 0;

protected:
    ~SysContents() = default;
};

// Writes `contents` to `fp` from its beginning, flushes, cuts a regular file after what was
// written (SysCutAtPosition), forces it to the disk when `durable`, and closes `fp` on every
// path, an exception from `contents` included. True only when every step succeeded.
bool SysWriteAndClose(FILE* fp, SysContents& contents, bool durable);

// While one lives, a write past the process's file-size limit fails (EFBIG) instead of
// ending the process with SIGXFSZ: the signal is held back on the calling thread, and one
// that such a write raised is taken and dropped. Nothing is done where there is no such
// signal (Windows).
class SysFileSizeGuard {
public:
    SysFileSizeGuard();
    ~SysFileSizeGuard();
    SysFileSizeGuard(const SysFileSizeGuard&) = delete;
    SysFileSizeGuard& operator=(const SysFileSizeGuard&) = delete;

private:
    bool m_wasHeld = false;
    bool m_wasPending = false;
};

// Which file, and which state of it: the device and file id, and for a regular file its
// size and its modification and change times (in nanoseconds). A path that names no file
// has `exists` false. Two states are equal when every field is.
struct SysFileState {
    bool exists = false;
    bool regular = false;
    unsigned long long device = 0;
    unsigned long long file = 0;
    long long size = 0;
    long long modified = 0;
    long long changed = 0;
};
bool operator==(const SysFileState& a, const SysFileState& b);
inline bool operator!=(const SysFileState& a, const SysFileState& b) {
    return !(a == b);
}
// The state of the file open as `fp`; false when it cannot be told.
bool SysStateOf(FILE* fp, SysFileState& state);
// Whether `path` (its links followed) names the file of `state`, whatever its state now.
bool SysNamesFile(const char* path, const SysFileState& state);

// How long a writer waits by default for another writer's lock on a file.
constexpr long kSysLockWaitMs = 10000;

// A file bound for writing, from the moment it is read to the moment it is replaced: the
// one place where the library opens, locks, checks and replaces the files it writes.
//
// Open finds the file once: on POSIX the symbolic links of the path are followed one at a
// time, but never one in a sticky, world-writable directory that belongs neither to the
// caller nor to the directory's owner (the rule of Linux's protected_symlinks, applied
// whatever the machine's setting). On Windows only a disk file is bound, unless the path
// names a device in the device namespace ("\\.\NUL"); a name that Windows takes for a device
// (NUL, CON, AUX.ini, ...) is refused with EINVAL. From there on every step works on the
// directory's and the file's own handles. Open takes the writers' lock (flock on POSIX, a
// byte past any data on Windows, so that no reader is kept out), waiting for another writer
// at most `waitMs`; a lock still held after that, which any process that may read the file
// can take, is gone on without, since the replace checks the file anyway. A recovery copy
// that an interrupted in-place write left ("NAME~new", trusted only as a regular file of one
// link owned by the file's owner or the caller) is first written into the file.
//
// Replace writes only while the file is still in the state given (the same file, size and
// times; for a missing file, still missing), and reports ESTALE otherwise. A regular file of
// one link, or a missing one, gets a complete new file beside it (under a short name of its
// own; leftovers of killed writers are removed), which takes the old file's owner, group and
// permission bits on POSIX, and its access rules, owner, attributes and streams on Windows,
// is forced to the disk and then takes the file's place. Devices and pipes are written at
// their position (a pipe that no one reads fails with ENXIO); a file with other hard links
// (or a reparse point, on Windows), or in a directory that takes no new file, is written in
// place after its room is reserved, with the new text kept in "NAME~new" until the file
// holds it. A path that stands for a descriptor ("/dev/stdout", "/dev/fd/N",
// "/proc/self/fd/N") is written through the descriptor. After a replace the object holds the
// new file, locked, in its new state. Every failure leaves the file as it was, or its whole
// new text in "NAME~new", and reports errno.
class SysLockedFile {
public:
    SysLockedFile();
    ~SysLockedFile();
    SysLockedFile(const SysLockedFile&) = delete;
    SysLockedFile& operator=(const SysLockedFile&) = delete;

    // Binds `path` as above. A missing file is bound as missing when `mayBeMissing`, and is
    // an error (ENOENT) otherwise. Returns false with errno set.
    bool Open(const char* path, long waitMs, bool mayBeMissing);
    // The state of the file as it was read, or as the last replace left it.
    SysFileState State() const;
    // Reads the next bytes of the file, up to `size`: their count, 0 at its end, -1 on a
    // failure.
    long long Read(void* data, std::size_t size);
    // Replaces the file by `contents` when it is still in the state `expect` (see above).
    bool Replace(SysContents& contents, const SysFileState& expect);
    // A stream of its own on the file held, at its end: read-write when `write`, else
    // read-only. Null for a file that is not held open for reading (a device, a descriptor,
    // a write-only file) or cannot be opened so.
    FILE* OpenStream(bool write);
    // Lets go of the file and its lock.
    void Close();

private:
    struct Impl;
    Impl* m_impl;
};

// Replaces, as SysLockedFile does, the regular file that `current` has open, found at
// `path`, while it is in the state `before`. On success `current` is closed and replaced by a
// read-write stream on the file that then holds `contents`, standing at its end. On failure
// the file is as it was (ESTALE when it is no longer in the state `before`) and `current`
// stands open on it; where it had to be closed for the replace (Windows), it is opened
// again, of the same access, at the file's end, and is null only when that failed too.
bool SysReplaceOpenFile(FILE*& current, const char* path, SysContents& contents,
                        const SysFileState& before);

// Replaces what the file `path` holds by `contents`, as SysLockedFile does, waiting the
// default time for the lock. With `expect`, only while the file is in that state (ESTALE
// otherwise). `written`, when given, receives the state of the file written. True when the
// new contents are complete in the file; an exception from `contents` passes after the new
// file is removed.
bool SysReplaceFile(const char* path, SysContents& contents, const SysFileState* expect,
                    SysFileState* written);

}  // namespace detail
}  // namespace qelcfg

#endif  // QEL_CFGFILE_SYSIO_H
