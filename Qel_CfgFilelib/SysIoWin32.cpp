// The Windows half of the file-system calls. Paths are UTF-8 and are handed to the
// wide-character functions, so that any file name works whatever the process's ANSI code
// page is. Every stream is binary: the library writes "\r\n" itself.
#ifdef _WIN32

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <cerrno>
#include <new>
#include <string>

#include "SysIo.h"

namespace qelcfg {
namespace detail {
namespace {

constexpr std::size_t kModeSize = 32;

// The UTF-8 text `text` as UTF-16; false, with errno EINVAL, for a text that is not UTF-8.
// The callers report failures by their results, so exhausted memory is one too.
bool Widen(const char* text, std::wstring& wide) {
    int length = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, -1, nullptr, 0);
    if (length <= 0) {
        errno = EINVAL;
        return false;
    }
    try {
        wide.resize(static_cast<std::size_t>(length));
    } catch (const std::bad_alloc&) {
        errno = ENOMEM;
        return false;
    }
    if (::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, -1, &wide[0], length) !=
        length) {
        errno = EINVAL;
        return false;
    }
    wide.resize(static_cast<std::size_t>(length - 1));
    return true;
}

// Sets errno from the thread's last Win32 error, for the callers that look at errno.
void SetErrnoFromLastError() {
    switch (::GetLastError()) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_NAME:
            errno = ENOENT;
            break;
        case ERROR_FILE_EXISTS:
        case ERROR_ALREADY_EXISTS:
            errno = EEXIST;
            break;
        case ERROR_ACCESS_DENIED:
        case ERROR_WRITE_PROTECT:
            errno = EACCES;
            break;
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
            errno = EBUSY;
            break;
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            errno = ENOSPC;
            break;
        case ERROR_NOT_ENOUGH_MEMORY:
        case ERROR_OUTOFMEMORY:
            errno = ENOMEM;
            break;
        default:
            errno = EIO;
            break;
    }
}

// Copies `mode` into `wide` as a binary mode: "t" is left out and "b" added if missing.
// False, with errno EINVAL, for a mode longer than any that fopen knows.
bool BinaryMode(const char* mode, wchar_t (&wide)[kModeSize]) {
    std::size_t length = 0;
    bool binary = false;
    for (const char* c = mode; *c != '\0'; ++c) {
        if (length + 2 >= kModeSize) {
            errno = EINVAL;
            return false;
        }
        binary = binary || *c == 'b';
        if (*c != 't') {
            wide[length++] = static_cast<wchar_t>(static_cast<unsigned char>(*c));
        }
    }
    if (!binary) {
        wide[length++] = L'b';
    }
    wide[length] = L'\0';
    return true;
}

HANDLE HandleOf(FILE* fp) {
    return reinterpret_cast<HANDLE>(::_get_osfhandle(::_fileno(fp)));
}

// The attributes that a replacing file takes over from the file it replaces.
constexpr DWORD kKeptAttributes = FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_HIDDEN |
                                  FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

}  // namespace

FILE* SysOpen(const char* path, const char* mode) {
    std::wstring wide;
    wchar_t wideMode[kModeSize];
    if (SysFails(kSysOpen, EIO) || !Widen(path, wide) || !BinaryMode(mode, wideMode)) {
        return nullptr;
    }
    return ::_wfopen(wide.c_str(), wideMode);
}

// Windows files have no permission bits beyond read-only, which a file being written
// must not have; the new file takes the access rules that its directory passes on.
FILE* SysCreate(const char* path, unsigned mode, bool exact) {
    static_cast<void>(mode);
    static_cast<void>(exact);
    std::wstring wide;
    if (SysFails(kSysOpen, EIO) || !Widen(path, wide)) {
        return nullptr;
    }
    HANDLE file = ::CreateFileW(wide.c_str(), GENERIC_READ | GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        SetErrnoFromLastError();
        return nullptr;
    }
    int fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(file), _O_RDWR | _O_BINARY);
    if (fd < 0) {
        ::CloseHandle(file);
        ::DeleteFileW(wide.c_str());
        errno = EMFILE;
        return nullptr;
    }
    FILE* fp = ::_fdopen(fd, "w+b");
    if (fp == nullptr) {
        int err = errno;
        ::_close(fd);
        ::DeleteFileW(wide.c_str());
        errno = err;
    }
    return fp;
}

int SysFileMode(FILE* fp, unsigned* mode) {
    struct _stat64 info;
    if (::_fstat64(::_fileno(fp), &info) != 0) {
        return -1;
    }
    *mode = static_cast<unsigned>(info.st_mode) & 0777u;
    return 0;
}

int SysRemove(const char* path) {
    std::wstring wide;
    if (!Widen(path, wide)) {
        return -1;
    }
    if (!::DeleteFileW(wide.c_str())) {
        SetErrnoFromLastError();
        return -1;
    }
    return 0;
}

int SysSync(FILE* fp) {
    if (SysFails(kSysSync, EIO)) {
        return -1;
    }
    if (!::FlushFileBuffers(HandleOf(fp))) {
        SetErrnoFromLastError();
        return -1;
    }
    return 0;
}

// A directory cannot be opened to be flushed; the replace itself is written through.
int SysSyncDir(const char* dir) {
    static_cast<void>(dir);
    return SysFails(kSysSync, EIO) ? -1 : 0;
}

// Replaces in one step, written through to the disk, and keeps the replaced file's
// attributes. A read-only file is not replaced, as it would not be written in place.
int SysRename(const char* from, const char* to) {
    std::wstring wideFrom;
    std::wstring wideTo;
    if (SysFails(kSysRename, EIO) || !Widen(from, wideFrom) || !Widen(to, wideTo)) {
        return -1;
    }
    DWORD attributes = ::GetFileAttributesW(wideTo.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        if ((attributes & FILE_ATTRIBUTE_READONLY) != 0) {
            errno = EACCES;
            return -1;
        }
        DWORD kept = attributes & kKeptAttributes;
        if (!::SetFileAttributesW(wideFrom.c_str(), kept != 0 ? kept : FILE_ATTRIBUTE_NORMAL)) {
            SetErrnoFromLastError();
            return -1;
        }
    }
    if (!::MoveFileExW(wideFrom.c_str(), wideTo.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        SetErrnoFromLastError();
        return -1;
    }
    return 0;
}

int SysTruncate(FILE* fp, long long length) {
    if (SysFails(kSysTruncate, EIO)) {
        return -1;
    }
    errno_t err = ::_chsize_s(::_fileno(fp), length);
    if (err != 0) {
        errno = err;
        return -1;
    }
    return 0;
}

SysPathKind SysExamine(const char* path) {
    std::wstring wide;
    if (!Widen(path, wide)) {
        return kSysPathInPlace;
    }
    // No access is asked for, so that a file open elsewhere or without read access can
    // still be examined; the backup flag lets a directory be opened too.
    HANDLE file = ::CreateFileW(
        wide.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
        OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        DWORD error = ::GetLastError();
        return error == ERROR_FILE_NOT_FOUND ? kSysPathMissing : kSysPathInPlace;
    }
    BY_HANDLE_FILE_INFORMATION info;
    bool replaceable =
        ::GetFileType(file) == FILE_TYPE_DISK && ::GetFileInformationByHandle(file, &info) &&
        (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) == 0 &&
        info.nNumberOfLinks == 1;
    ::CloseHandle(file);
    return replaceable ? kSysPathReplaceable : kSysPathInPlace;
}

bool SysSameFile(FILE* fp, const char* path) {
    std::wstring wide;
    if (!Widen(path, wide)) {
        return false;
    }
    HANDLE file =
        ::CreateFileW(wide.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    BY_HANDLE_FILE_INFORMATION named;
    BY_HANDLE_FILE_INFORMATION open;
    bool same = ::GetFileInformationByHandle(file, &named) &&
                ::GetFileInformationByHandle(HandleOf(fp), &open) &&
                named.dwVolumeSerialNumber == open.dwVolumeSerialNumber &&
                named.nFileIndexHigh == open.nFileIndexHigh &&
                named.nFileIndexLow == open.nFileIndexLow;
    ::CloseHandle(file);
    return same;
}

}  // namespace detail
}  // namespace qelcfg

#endif  // _WIN32
