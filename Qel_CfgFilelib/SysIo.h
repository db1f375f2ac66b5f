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
// Tells whether `path` names the file open as `fp` (through symbolic links too).
bool SysSameFile(FILE* fp, const char* path);
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

// Replaces what the file `path` holds by `contents`. The symbolic links of `path` are
// followed once, at the start, to the directory and the name of the file; every later step
// works on that directory and on the file's own handle, so that an entry swapped for a link
// meanwhile is never followed. Where the file is a regular file with one link, or does not
// exist yet, the text goes to a new file beside it (unnamed until complete where the
// platform allows, else under a short name of its own), which gets the old file's owner
// where the process may give files away, else its group where allowed, then its permission
// bits (the set-user-ID and set-group-ID bits included), is forced to the disk and is
// renamed over the old file only once complete: a failure leaves the old file whole and no
// new file behind. Devices, pipes, files with other hard links and files in a directory
// that takes no new file are written in place, so that they stay what they are: a regular
// file gets room for the new text reserved first, so that a full disk or a size limit fails
// before any byte changes, and the new text is kept in a recovery file beside it (its name
// with "~new" appended) until the file is written and forced to the disk; a failure after
// the first byte changed leaves that recovery file. A path that stands for a descriptor
// ("/dev/stdout", "/dev/fd/N", "/proc/self/fd/N") is written at the descriptor's position,
// never replaced. The writers of a file take an advisory lock on it (flock on POSIX), the
// one that qelcfg takes, and wait for it unless this process holds it.
// On Windows, which replaces no file that a stream holds open, and no read-only file, such
// a file gives false and keeps its contents; no lock is taken there.
// True when the new contents are complete in the file; an exception from `contents` passes
// after the new file is removed.
bool SysReplaceFile(const char* path, SysContents& contents);

// Replaces, as SysReplaceFile does, the file that `current` has open, found at `path`, and
// returns a read-write stream on the file that then holds `contents`, standing at its end.
// Null, with the file as it was, when `path` no longer leads to the file that `current` has
// open (same device and file), or stands for a descriptor, a device or a pipe, or when the
// replace fails. `current` stays open and is not used for writing. Windows replaces no file
// that a stream holds open: there the file is written in place, through the new stream.
FILE* SysReplaceOpenFile(FILE* current, const char* path, SysContents& contents);

}  // namespace detail
}  // namespace qelcfg

#endif  // QEL_CFGFILE_SYSIO_H
