// Opening the files qelcfg works on, under flock (LockFileEx on Windows): shared for
// reading, exclusive for rewriting. An edit replaces a file by renaming a new one over it,
// so an exclusive lock is only good once the path is known to still name the file it was
// taken on. FileAccess.cpp holds the POSIX half, FileAccessWin32.cpp the Windows half.
#ifndef QELCFG_TOOL_FILEACCESS_H
#define QELCFG_TOOL_FILEACCESS_H

#include <sys/stat.h>

#include <cstddef>
#include <cstdio>
#include <functional>
#include <string>
#include <utility>

namespace qeltool {

// An open, locked regular file, or no file at all. The lock lasts as long as the object.
class LockedFile {
public:
    LockedFile() = default;
    LockedFile(int fd, const struct stat& st) : m_fd(fd), m_stat(st) {}
    ~LockedFile() { Release(); }
    LockedFile(LockedFile&& other) noexcept
        : m_fd(std::exchange(other.m_fd, -1)), m_stat(other.m_stat) {}
    LockedFile& operator=(LockedFile&& other) noexcept {
        if (this != &other) {
            Release();
            m_fd = std::exchange(other.m_fd, -1);
            m_stat = other.m_stat;
        }
        return *this;
    }
    LockedFile(const LockedFile&) = delete;
    LockedFile& operator=(const LockedFile&) = delete;

    bool Exists() const { return m_fd >= 0; }
    int Fd() const { return m_fd; }
    const struct stat& Stat() const { return m_stat; }
    // Hands the file's bytes to `take` piece by piece, from its start. A read error is a
    // ToolError naming `shownName`.
    void ReadAll(const std::string& shownName,
                 const std::function<void(const char*, std::size_t)>& take) const;
    // A stream of its own on the file, at its start. Closing it keeps the lock, which
    // belongs to this object's descriptor.
    std::FILE* OpenStream(const std::string& shownName) const;

private:
    // Closes the descriptor, which ends the lock; the platform's close does it.
    void Release() noexcept;

    int m_fd = -1;
    struct stat m_stat = {};
};

// Windows replaces no file that is held open: there the lock goes just before the file is
// replaced, and another qelcfg may take it in between, so two edits of one file at the
// same moment may lose one of them. Elsewhere the lock stays until the object goes.
inline void LetGoBeforeReplacing(LockedFile& locked) {
#if defined(_WIN32)
    locked = LockedFile();
#else
    static_cast<void>(locked);
#endif
}

// Where an edit of a file happens: the directory the file lies in, taken absolute, and
// the file's name in it, after following every symbolic link (Windows: none is followed).
// The file may be missing.
struct EditTarget {
    std::string dir;
    std::string base;
};
EditTarget ResolveEditTarget(const std::string& path);

// How long a lock is waited for (--wait) before the command fails with a message that
// names the process holding it (on Linux). 10 seconds unless set.
void SetLockWait(double seconds);

// Opens `path` for reading under a shared lock.
LockedFile LockForReading(const std::string& path);
// Opens `path` under an exclusive lock that no other qelcfg holds, once the path still
// names the locked file. A missing file gives an object without a file when
// `mayBeMissing`, and a failure otherwise. Failures name `shownName`.
LockedFile LockForWriting(const std::string& path, const std::string& shownName, bool mayBeMissing);

// Creates `path` empty, exclusively, as a new file gets created (0666 less the umask).
// True when this call created it, false when it already existed; other failures name
// `shownName`.
bool CreateEmpty(const std::string& path, const std::string& shownName);
// Removes the file that CreateEmpty made, after an edit of it failed.
void RemoveCreated(const std::string& path);

}  // namespace qeltool

#endif  // QELCFG_TOOL_FILEACCESS_H
