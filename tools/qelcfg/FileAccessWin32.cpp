// FileAccess.h on Windows. Paths are UTF-8, widened for the wide-character calls as the
// library widens its own, and files are locked with LockFileEx. Windows has no symbolic
// links to follow here and no table that names a lock's holder.
#include "FileAccess.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <thread>
#include <utility>
#include <vector>

#include "Tool.h"

namespace qeltool {

namespace {

// A path that keeps being replaced between opening and locking is given up on at last,
// rather than spun on forever.
constexpr int kLockAttempts = 10000;

// Set once from the command line, before any file is opened.
double g_lockWait = 10.0;

int ErrnoOf(DWORD error) {
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_DRIVE:
        case ERROR_BAD_NETPATH:
            return ENOENT;
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
            return EACCES;
        case ERROR_FILE_EXISTS:
        case ERROR_ALREADY_EXISTS:
            return EEXIST;
        case ERROR_INVALID_NAME:
        case ERROR_NO_UNICODE_TRANSLATION:
            return EINVAL;
        case ERROR_FILENAME_EXCED_RANGE:
            return ENAMETOOLONG;
        case ERROR_NOT_ENOUGH_MEMORY:
        case ERROR_OUTOFMEMORY:
            return ENOMEM;
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            return ENOSPC;
        default:
            return EIO;
    }
}

[[noreturn]] void FailWindows(const char* what, const std::string& shownName, DWORD error) {
    FailSystem(what, shownName, ErrnoOf(error));
}

// A path that is not UTF-8 names no file: it is refused rather than guessed at.
std::wstring Widen(const std::string& path, const std::string& shownName) {
    if (path.empty()) {
        FailSystem("cannot open", shownName, ENOENT);
    }
    const int size = static_cast<int>(path.size());
    int n = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path.data(), size, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(std::max(n, 0)), L'\0');
    if (n <= 0 ||
        ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path.data(), size, &wide[0], n) != n) {
        FailSystem("cannot open", shownName, EINVAL);
    }
    return wide;
}

std::string Narrow(const std::wstring& wide) {
    const int size = static_cast<int>(wide.size());
    int n = ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, nullptr, 0, nullptr, nullptr);
    std::string text(static_cast<std::size_t>(std::max(n, 0)), '\0');
    if (n > 0) {
        ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, &text[0], n, nullptr, nullptr);
    }
    return text;
}

HANDLE HandleOf(int fd) {
    return reinterpret_cast<HANDLE>(::_get_osfhandle(fd));
}

// Opened with every share mode, as any other program may open the file: the locks, not
// the share modes, keep qelcfg processes apart. A directory does not open as a file, and a
// device or pipe is refused. Returns -1 with the error in `error` when there is no file.
int OpenExisting(const std::string& path, const std::string& shownName, struct stat& st,
                 DWORD& error) {
    const std::wstring wide = Widen(path, shownName);
    HANDLE file = ::CreateFileW(wide.c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        error = ::GetLastError();
        DWORD attributes = ::GetFileAttributesW(wide.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
            FailSystem("cannot open", shownName, EISDIR);
        }
        return -1;
    }
    if (::GetFileType(file) != FILE_TYPE_DISK) {
        ::CloseHandle(file);
        throw ToolError(kExitFailure, "cannot open " + Quoted(shownName) + ": not a regular file");
    }
    int fd = ::_open_osfhandle(reinterpret_cast<std::intptr_t>(file), _O_RDONLY | _O_BINARY);
    if (fd < 0) {
        ::CloseHandle(file);
        FailSystem("cannot open", shownName, EMFILE);
    }
    if (::fstat(fd, &st) != 0) {
        int err = errno;
        ::_close(fd);
        FailSystem("cannot open", shownName, err);
    }
    return fd;
}

// Waits at most --wait seconds for a lock of the whole file, as large as it may grow,
// polling with growing pauses (up to 0.1 s).
void Lock(int fd, bool exclusive, const std::string& path) {
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline =
        Clock::now() +
        std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(g_lockWait));
    const DWORD flags = (exclusive ? LOCKFILE_EXCLUSIVE_LOCK : 0) | LOCKFILE_FAIL_IMMEDIATELY;
    std::chrono::milliseconds pause(1);
    for (;;) {
        OVERLAPPED whole = {};
        if (::LockFileEx(HandleOf(fd), flags, 0, MAXDWORD, MAXDWORD, &whole)) {
            return;
        }
        DWORD error = ::GetLastError();
        if (error != ERROR_LOCK_VIOLATION && error != ERROR_IO_PENDING) {
            ::_close(fd);
            FailWindows("cannot lock", path, error);
        }
        Clock::time_point now = Clock::now();
        if (now >= deadline) {
            ::_close(fd);
            char waited[32];
            std::snprintf(waited, sizeof waited, "%g", g_lockWait);
            throw ToolError(kExitFailure, "cannot lock " + Quoted(path) +
                                              ": another process holds it (gave up after " +
                                              waited + " s, see --wait)");
        }
        std::this_thread::sleep_for(std::min<Clock::duration>(pause, deadline - now));
        pause = std::min(pause * 2, std::chrono::milliseconds(100));
    }
}

// Windows' stat gives no inode numbers: the file's index on its volume tells.
bool StillNames(const std::string& path, int fd) {
    HANDLE named = ::CreateFileW(Widen(path, path).c_str(), 0,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, 0, nullptr);
    if (named == INVALID_HANDLE_VALUE) {
        return false;
    }
    BY_HANDLE_FILE_INFORMATION a;
    BY_HANDLE_FILE_INFORMATION b;
    bool same = ::GetFileInformationByHandle(named, &a) &&
                ::GetFileInformationByHandle(HandleOf(fd), &b) &&
                a.dwVolumeSerialNumber == b.dwVolumeSerialNumber &&
                a.nFileIndexHigh == b.nFileIndexHigh && a.nFileIndexLow == b.nFileIndexLow;
    ::CloseHandle(named);
    return same;
}

}  // namespace

void LockedFile::Release() noexcept {
    if (m_fd >= 0) {
        ::_close(m_fd);
    }
}

// Reads at explicit offsets, as pread does: the handle's position is left to the streams.
void LockedFile::ReadAll(const std::string& shownName,
                         const std::function<void(const char*, std::size_t)>& take) const {
    std::vector<char> buffer(1 << 16);
    for (unsigned long long offset = 0;;) {
        OVERLAPPED at = {};
        at.Offset = static_cast<DWORD>(offset);
        at.OffsetHigh = static_cast<DWORD>(offset >> 32);
        DWORD n = 0;
        if (!::ReadFile(HandleOf(m_fd), buffer.data(), static_cast<DWORD>(buffer.size()), &n,
                        &at)) {
            DWORD error = ::GetLastError();
            if (error == ERROR_HANDLE_EOF) {
                return;
            }
            FailWindows("cannot read", shownName, error);
        }
        if (n == 0) {
            return;
        }
        take(buffer.data(), n);
        offset += n;
    }
}

// The copy shares the handle's file object, and so its lock.
std::FILE* LockedFile::OpenStream(const std::string& shownName) const {
    int copy = ::_dup(m_fd);
    std::FILE* fp = copy >= 0 ? ::_fdopen(copy, "rb") : nullptr;
    if (fp == nullptr) {
        int err = errno;
        if (copy >= 0) {
            ::_close(copy);
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
    const std::wstring wide = Widen(path, path);
    DWORD size = ::GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    std::wstring full(size, L'\0');
    DWORD n = size == 0 ? 0 : ::GetFullPathNameW(wide.c_str(), size, &full[0], nullptr);
    if (n == 0 || n >= size) {
        FailWindows("cannot open", path, ::GetLastError());
    }
    full.resize(n);
    const std::string file = Narrow(full);
    std::string::size_type slash = file.find_last_of("\\/");
    EditTarget target;
    target.base = slash == std::string::npos ? file : file.substr(slash + 1);
    if (slash == std::string::npos || target.base.empty()) {
        FailSystem("cannot open", path, EISDIR);
    }
    // "C:" and "\\server\share" joined with "/" and the name still name the file.
    target.dir = file.substr(0, slash);
    return target;
}

void SetLockWait(double seconds) {
    g_lockWait = seconds;
}

LockedFile LockForReading(const std::string& path) {
    struct stat st;
    DWORD error = 0;
    int fd = OpenExisting(path, path, st, error);
    if (fd < 0) {
        FailWindows("cannot open", path, error);
    }
    Lock(fd, false, path);
    return LockedFile(fd, st);
}

LockedFile LockForWriting(const std::string& path, const std::string& shownName,
                          bool mayBeMissing) {
    for (int attempt = 0; attempt < kLockAttempts; ++attempt) {
        struct stat st;
        DWORD error = 0;
        int fd = OpenExisting(path, shownName, st, error);
        if (fd < 0) {
            if (error == ERROR_FILE_NOT_FOUND && mayBeMissing) {
                return LockedFile();
            }
            FailWindows("cannot open", shownName, error);
        }
        Lock(fd, true, shownName);
        if (StillNames(path, fd)) {
            return LockedFile(fd, st);
        }
        ::_close(fd);
    }
    throw ToolError(kExitFailure, "cannot lock " + Quoted(shownName) + ": it keeps being replaced");
}

bool CreateEmpty(const std::string& path, const std::string& shownName) {
    HANDLE file = ::CreateFileW(Widen(path, shownName).c_str(), GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        DWORD error = ::GetLastError();
        if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS) {
            return false;
        }
        FailWindows("cannot create", shownName, error);
    }
    ::CloseHandle(file);
    return true;
}

void RemoveCreated(const std::string& path) {
    std::wstring wide;
    try {
        wide = Widen(path, path);
    } catch (const ToolError&) {
        return;
    }
    ::DeleteFileW(wide.c_str());
}

}  // namespace qeltool
