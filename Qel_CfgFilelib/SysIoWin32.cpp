// The file functions of the platform seam on Windows, and the policy by which the library
// reads, locks, checks and replaces the files it writes there (SysLockedFile), which keeps
// the promises of the POSIX one (SysIoPosix.cpp) as far as Windows allows.
//
// Paths are UTF-8 and are handed to the wide-character functions, so that any file name works
// whatever the process's ANSI code page is; a path longer than MAX_PATH is handed over in its
// extended form ("\\?\"). Only disk files are opened by name: a name that Windows takes for a
// device (NUL, CON, AUX.ini, ...) is refused unless the path names the device in the device
// namespace ("\\.\NUL"). Every stream is binary: the library writes "\r\n" itself, and text
// mode would double the "\r".
#if defined(_WIN32)

#include <windows.h>

#include <aclapi.h>
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cwchar>
#include <functional>
#include <new>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "SysIo.h"
#include "SysIoFaults.h"

namespace qelcfg {
namespace detail {
namespace {

// A writer tries this many names for a new file, and this many times to open a file that
// keeps being replaced, before it gives up.
constexpr int kAttempts = 64;
constexpr std::size_t kCopyBlock = 64 * 1024;
// The name an in-place write keeps its new text under, beside the file, until the file
// holds it.
constexpr wchar_t kRecoverySuffix[] = L"~new";

// The attributes that a replacing file takes over from the file it replaces.
constexpr DWORD kKeptAttributes = FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_HIDDEN |
                                  FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

// Every share, so that a handle opened only to look at a file, or to hold its lock, stands in
// no one's way: others may read, write, rename and replace the file meanwhile.
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

class Handle {
public:
    Handle() = default;
    explicit Handle(HANDLE handle) : m_handle(handle) {}
    ~Handle() { Reset(); }
    Handle(Handle&& other) noexcept : m_handle(other.Release()) {}
    Handle& operator=(Handle&& other) noexcept {
        if (this != &other) {
            Reset();
            m_handle = other.Release();
        }
        return *this;
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;

    HANDLE Get() const { return m_handle; }
    bool Valid() const { return m_handle != INVALID_HANDLE_VALUE && m_handle != nullptr; }
    HANDLE Release() { return std::exchange(m_handle, INVALID_HANDLE_VALUE); }
    void Reset() {
        if (Valid()) {
            const int err = errno;
            const DWORD error = ::GetLastError();
            ::CloseHandle(m_handle);
            ::SetLastError(error);
            errno = err;
        }
        m_handle = INVALID_HANDLE_VALUE;
    }

private:
    HANDLE m_handle = INVALID_HANDLE_VALUE;
};

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

// Sets errno from a Win32 error, for the callers that look at errno.
void SetErrno(DWORD error) {
    switch (error) {
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
        case ERROR_UNABLE_TO_REMOVE_REPLACED:
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

void SetErrnoFromLastError() {
    SetErrno(::GetLastError());
}

// How fopen's `mode` opens a file: the access, what happens to a missing or existing file,
// the C runtime's flags and the stream's own mode, always binary ("t" is left out).
struct OpenMode {
    DWORD access = GENERIC_READ;
    DWORD creation = OPEN_EXISTING;
    int flags = _O_RDONLY;
    char stream[4] = "rb";
};

// False, with errno EINVAL, for a mode that fopen does not know.
bool ParseMode(const char* mode, OpenMode& how) {
    bool update = false;
    bool exclusive = false;
    for (const char* c = mode + 1; *mode != '\0' && *c != '\0' && *c != ','; ++c) {
        update = update || *c == '+';
        exclusive = exclusive || *c == 'x';
    }
    switch (*mode) {
        case 'r':
            break;
        case 'w':
            how.access = GENERIC_WRITE;
            how.creation = exclusive ? CREATE_NEW : CREATE_ALWAYS;
            how.flags = _O_WRONLY;
            break;
        case 'a':
            how.access = GENERIC_WRITE;
            how.creation = OPEN_ALWAYS;
            how.flags = _O_WRONLY | _O_APPEND;
            break;
        default:
            errno = EINVAL;
            return false;
    }
    if (update) {
        how.access = GENERIC_READ | GENERIC_WRITE;
        how.flags = (how.flags & ~_O_WRONLY) | _O_RDWR;
    }
    how.stream[0] = *mode;
    how.stream[1] = update ? '+' : 'b';
    how.stream[2] = update ? 'b' : '\0';
    return true;
}

HANDLE HandleOf(FILE* fp) {
    return reinterpret_cast<HANDLE>(::_get_osfhandle(::_fileno(fp)));
}

// A stream on `handle`, which it takes over: null, with the handle closed, on a failure.
FILE* StreamOf(HANDLE handle, int flags, const char* mode) {
    int fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(handle), flags | _O_BINARY);
    if (fd < 0) {
        ::CloseHandle(handle);
        errno = EMFILE;
        return nullptr;
    }
    FILE* fp = ::_fdopen(fd, mode);
    if (fp == nullptr) {
        int err = errno;
        ::_close(fd);
        errno = err;
    }
    return fp;
}

bool Exists(const std::wstring& path) {
    return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool IsSeparator(wchar_t c) {
    return c == L'\\' || c == L'/';
}

// A path in the device namespace ("\\.\NUL", "\\?\C:\dir\a.ini") names exactly what it says:
// Windows neither normalises it nor reads a device name into it.
bool InDeviceNamespace(const std::wstring& path) {
    return path.size() >= 4 && IsSeparator(path[0]) && IsSeparator(path[1]) &&
           (path[2] == L'.' || path[2] == L'?') && IsSeparator(path[3]);
}

// Whether Windows takes the last part of `path` for a device: CON, PRN, AUX, NUL, COM1-9,
// LPT1-9 (with ¹, ² and ³ too), CONIN$ and CONOUT$, in any case, with an extension, blanks
// before it, or a ":" after the name.
bool NamesDevice(const std::wstring& path) {
    std::size_t begin = path.find_last_of(L"\\/");
    begin = begin == std::wstring::npos ? 0 : begin + 1;
    if (begin == 0 && path.size() >= 2 && path[1] == L':') {
        begin = 2;  // a drive's current directory ("C:aux")
    }
    std::size_t end = std::min(path.find_first_of(L".:", begin), path.size());
    while (end > begin && path[end - 1] == L' ') {
        --end;
    }
    std::wstring base;
    for (std::size_t i = begin; i < end; ++i) {
        base += path[i] >= L'a' && path[i] <= L'z' ? static_cast<wchar_t>(path[i] - 32) : path[i];
    }
    for (const wchar_t* name : {L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$", L"CONOUT$"}) {
        if (base == name) {
            return true;
        }
    }
    const bool port =
        base.size() == 4 && (base.compare(0, 3, L"COM") == 0 || base.compare(0, 3, L"LPT") == 0);
    return port && ((base[3] >= L'1' && base[3] <= L'9') || base[3] == L'\u00B9' ||
                    base[3] == L'\u00B2' || base[3] == L'\u00B3');
}

// The full path of `path` as Windows resolves it ("/" as "\", "." and ".." taken away,
// relative to the current directory). A path in the device namespace is kept as it is.
bool FullPath(const std::wstring& path, std::wstring& full) {
    if (InDeviceNamespace(path)) {
        full = path;
        return true;
    }
    DWORD size = ::GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    while (size != 0) {
        full.resize(size);
        const DWORD got = ::GetFullPathNameW(path.c_str(), size, &full[0], nullptr);
        if (got < size) {
            full.resize(got);
            return got != 0 || (SetErrnoFromLastError(), false);
        }
        size = got;
    }
    SetErrnoFromLastError();
    return false;
}

// A full path as the calls take it: in its extended form when it is longer than MAX_PATH
// allows, which Windows then takes without any limit but that of the file system.
std::wstring Extended(const std::wstring& full) {
    if (full.size() < MAX_PATH || InDeviceNamespace(full)) {
        return full;
    }
    if (full.compare(0, 2, L"\\\\") == 0) {
        return L"\\\\?\\UNC\\" + full.substr(2);
    }
    return L"\\\\?\\" + full;
}

// The full path of the UTF-8 `path`. A name that Windows takes for a device is refused
// (EINVAL), unless the path is in the device namespace (`literal`).
bool FullPathOf(const char* path, std::wstring& full, bool& literal) {
    std::wstring wide;
    if (!Widen(path, wide)) {
        return false;
    }
    literal = InDeviceNamespace(wide);
    if (!literal && NamesDevice(wide)) {
        errno = EINVAL;
        return false;
    }
    return FullPath(wide, full);
}

// `path` as the wide-character calls take it (see FullPathOf).
bool NativePath(const char* path, std::wstring& native, bool& literal) {
    std::wstring full;
    if (!FullPathOf(path, full, literal)) {
        return false;
    }
    native = Extended(full);
    return true;
}

bool NativePath(const char* path, std::wstring& native) {
    bool literal = false;
    return NativePath(path, native, literal);
}

// Where a file is: its path as the calls take it, its directory and its name there.
struct Place {
    std::wstring path;
    std::wstring dir;  // with the separator at its end
    std::wstring name;
    bool literal = false;  // named in the device namespace

    // The path of another entry of the file's directory.
    std::wstring Beside(const std::wstring& entry) const { return Extended(dir + entry); }
};

bool FindPlace(const char* path, Place& place) {
    std::wstring full;
    if (!FullPathOf(path, full, place.literal)) {
        return false;
    }
    const std::size_t slash = full.find_last_of(L"\\/");
    place.dir = slash == std::wstring::npos ? std::wstring() : full.substr(0, slash + 1);
    place.name = full.substr(place.dir.size());
    if (place.name.empty()) {
        errno = EISDIR;
        return false;
    }
    place.path = Extended(full);
    return true;
}

bool SameFile(const BY_HANDLE_FILE_INFORMATION& a, const BY_HANDLE_FILE_INFORMATION& b) {
    return a.dwVolumeSerialNumber == b.dwVolumeSerialNumber &&
           a.nFileIndexHigh == b.nFileIndexHigh && a.nFileIndexLow == b.nFileIndexLow;
}

// Whether `path` (a link followed) names the file described by `held`.
bool NamesFileOf(const std::wstring& path, const BY_HANDLE_FILE_INFORMATION& held) {
    Handle named(::CreateFileW(path.c_str(), 0, kShareAll, nullptr, OPEN_EXISTING,
                               FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    BY_HANDLE_FILE_INFORMATION info;
    return named.Valid() && ::GetFileInformationByHandle(named.Get(), &info) &&
           SameFile(info, held);
}

// The state of the open file `file`: its volume and index, and for a disk file its size and
// its last write and change times.
bool StateOfHandle(HANDLE file, SysFileState& state) {
    BY_HANDLE_FILE_INFORMATION info;
    FILE_BASIC_INFO times;
    if (!::GetFileInformationByHandle(file, &info)) {
        SetErrnoFromLastError();
        return false;
    }
    state = SysFileState();
    state.exists = true;
    state.regular = ::GetFileType(file) == FILE_TYPE_DISK &&
                    (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
    state.device = info.dwVolumeSerialNumber;
    state.file = (static_cast<unsigned long long>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    if (state.regular) {
        state.size = (static_cast<long long>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
        state.modified = (static_cast<long long>(info.ftLastWriteTime.dwHighDateTime) << 32) |
                         info.ftLastWriteTime.dwLowDateTime;
        if (::GetFileInformationByHandleEx(file, FileBasicInfo, &times, sizeof times)) {
            state.changed = times.ChangeTime.QuadPart;
        }
    }
    return true;
}

// The writers' lock: one byte at the top of the 64-bit range, past any data, so that it
// never keeps a reader out (Windows' locks are mandatory for the bytes they cover). Waits
// at most `waitMs` for another holder, and goes on without it after that.
bool LockForWriting(HANDLE file, long waitMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
    std::chrono::milliseconds pause(1);
    for (;;) {
        OVERLAPPED at = {};
        at.Offset = 0xFFFFFFFEu;
        at.OffsetHigh = 0xFFFFFFFFu;
        if (::LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at)) {
            return true;
        }
        const auto now = std::chrono::steady_clock::now();
        if (::GetLastError() != ERROR_LOCK_VIOLATION || now >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(
            std::min<std::chrono::steady_clock::duration>(pause, deadline - now));
        pause = std::min(pause * 2, std::chrono::milliseconds(100));
    }
}

// Whether `sid` is the user this process runs as.
bool IsCaller(PSID sid) {
    HANDLE token = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) {
        return false;
    }
    Handle held(token);
    DWORD size = 0;
    ::GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    std::vector<unsigned char> user(size);
    return size != 0 && ::GetTokenInformation(token, TokenUser, user.data(), size, &size) &&
           ::EqualSid(reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid, sid);
}

// Whether the owner of `copy` is the owner of `file`, or the user this process runs as.
bool OwnedAlike(HANDLE copy, HANDLE file) {
    PSID copyOwner = nullptr;
    PSID fileOwner = nullptr;
    PSECURITY_DESCRIPTOR copyRules = nullptr;
    PSECURITY_DESCRIPTOR fileRules = nullptr;
    const bool alike =
        ::GetSecurityInfo(copy, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &copyOwner, nullptr,
                          nullptr, nullptr, &copyRules) == ERROR_SUCCESS &&
        ::GetSecurityInfo(file, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &fileOwner, nullptr,
                          nullptr, nullptr, &fileRules) == ERROR_SUCCESS &&
        (::EqualSid(copyOwner, fileOwner) || IsCaller(copyOwner));
    ::LocalFree(copyRules);
    ::LocalFree(fileRules);
    return alike;
}

// The start of the names of a file's new files: ".qc-" and a hash of its name, by which a
// later writer finds what a killed one left. Short, so that a file whose name is near the
// longest a directory takes can still be replaced.
std::wstring TemporaryPrefix(const std::wstring& name) {
    unsigned hash = 2166136261u;  // FNV-1a, over the UTF-16 units
    for (wchar_t c : name) {
        hash = (hash ^ static_cast<unsigned>(c)) * 16777619u;
    }
    char text[16];
    const int length = std::snprintf(text, sizeof text, ".qc-%08x-", hash);
    return std::wstring(text, text + length);
}

// A name after `prefix` that another writer running at the same time picks only by rare
// chance, from the process, the thread, the clock and the attempt.
std::wstring TemporaryName(const std::wstring& prefix, int attempt) {
    unsigned long long mix =
        static_cast<unsigned long long>(
            std::chrono::steady_clock::now().time_since_epoch().count()) ^
        (static_cast<unsigned long long>(::GetCurrentProcessId()) << 32) ^
        static_cast<unsigned long long>(std::hash<std::thread::id>()(std::this_thread::get_id())) ^
        static_cast<unsigned long long>(attempt) * 0x9E3779B97F4A7C15ull;
    mix = (mix ^ (mix >> 30)) * 0xBF58476D1CE4E5B9ull;
    mix = (mix ^ (mix >> 27)) * 0x94D049BB133111EBull;
    char text[24];
    const int length =
        std::snprintf(text, sizeof text, "%08llx.tmp", (mix ^ (mix >> 31)) & 0xFFFFFFFFull);
    return prefix + std::wstring(text, text + length);
}

// A new file in `dir` under a name of its own after `prefix`, created exclusively with
// `flags`; `path` receives its path. Others may read it and remove it, but not write it.
Handle CreateExclusive(const std::wstring& dir, const std::wstring& prefix, DWORD flags,
                       std::wstring& path) {
    if (SysFails(kSysOpen)) {
        return Handle();
    }
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        path = Extended(dir + TemporaryName(prefix, attempt));
        Handle file(::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                                  FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, CREATE_NEW, flags,
                                  nullptr));
        const DWORD error = ::GetLastError();
        if (file.Valid()) {
            return file;
        }
        SetErrno(error);
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) {
            break;
        }
    }
    path.clear();
    return Handle();
}

// A copy that no one else sees: a file of the temporary folder that goes with its last
// handle, for an in-place write whose directory takes no file of its own.
Handle CreateUnnamed() {
    wchar_t dir[MAX_PATH + 1];
    const DWORD length = ::GetTempPathW(MAX_PATH + 1, dir);
    std::wstring path;
    if (length == 0 || length > MAX_PATH) {
        return Handle();
    }
    return CreateExclusive(std::wstring(dir, length), L".qc-",
                           FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, path);
}

// A new entry that goes unless it is kept, whatever ends the step that made it.
class Scratch {
public:
    explicit Scratch(const std::wstring& path) : m_path(path) {}
    ~Scratch() {
        if (!kept && !m_path.empty()) {
            ::DeleteFileW(m_path.c_str());
        }
    }
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;

    bool kept = false;

private:
    const std::wstring& m_path;
};

// Writes `contents` as the whole of the file `file`, which stays open, through a stream of
// its own on a second handle, and forces it to the disk.
bool WriteThrough(HANDLE file, SysContents& contents) {
    HANDLE second = nullptr;
    if (!::DuplicateHandle(::GetCurrentProcess(), file, ::GetCurrentProcess(), &second, 0, FALSE,
                           DUPLICATE_SAME_ACCESS)) {
        SetErrnoFromLastError();
        return false;
    }
    FILE* fp = StreamOf(second, _O_RDWR, "w+b");
    return fp != nullptr && SysWriteAndClose(fp, contents, true);
}

// Writes `contents` at the position of a device named in the device namespace.
bool WriteToDevice(const std::wstring& path, SysContents& contents) {
    if (SysFails(kSysOpen)) {
        return false;
    }
    HANDLE device = ::CreateFileW(path.c_str(), GENERIC_WRITE, kShareAll, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
    if (device == INVALID_HANDLE_VALUE) {
        SetErrnoFromLastError();
        return false;
    }
    FILE* fp = StreamOf(device, _O_WRONLY, "wb");
    bool ok = false;
    try {
        ok = fp != nullptr && contents.WriteTo(fp) && SysFlush(fp) == 0;
    } catch (...) {
        SysClose(fp);
        throw;
    }
    return fp != nullptr && SysClose(fp) == 0 && ok;
}

bool SetSize(HANDLE file, long long size) {
    FILE_END_OF_FILE_INFO end;
    end.EndOfFile.QuadPart = size;
    if (!::SetFileInformationByHandle(file, FileEndOfFileInfo, &end, sizeof end)) {
        SetErrnoFromLastError();
        return false;
    }
    return true;
}

// Copies `size` bytes from the start of `source` to the start of `target`.
bool CopyBytes(HANDLE target, HANDLE source, long long size) {
    std::string block(kCopyBlock, '\0');
    for (long long at = 0; at < size;) {
        OVERLAPPED from = {};
        from.Offset = static_cast<DWORD>(at);
        from.OffsetHigh = static_cast<DWORD>(at >> 32);
        OVERLAPPED to = from;
        DWORD got = 0;
        DWORD put = 0;
        if (!::ReadFile(source, &block[0], static_cast<DWORD>(block.size()), &got, &from)) {
            SetErrnoFromLastError();
            return false;
        }
        if (got == 0) {
            errno = EIO;  // the copy is shorter than it was
            return false;
        }
        if (SysFails(kSysWrite) || !::WriteFile(target, block.data(), got, &put, &to) ||
            put != got) {
            SetErrnoFromLastError();
            return false;
        }
        at += got;
    }
    return true;
}

// Writes `size` bytes of `source` over the file `target` in place. Its room is reserved
// first: the file grows to the new size, which takes the room on the disk (NTFS allocates
// it then), so that a full disk fails before any byte changes (`touched` tells whether one
// may have); then it is written, cut there and forced to the disk.
bool WriteInPlace(HANDLE target, HANDLE source, long long size, bool& touched) {
    touched = false;
    LARGE_INTEGER old;
    if (SysFails(kSysTruncate)) {
        errno = ENOSPC;
        return false;
    }
    if (!::GetFileSizeEx(target, &old) || (size > old.QuadPart && !SetSize(target, size))) {
        return false;
    }
    touched = true;
    if (!CopyBytes(target, source, size) || SysFails(kSysTruncate) || !SetSize(target, size)) {
        return false;
    }
    if (SysFails(kSysSync) || !::FlushFileBuffers(target)) {
        SetErrnoFromLastError();
        return false;
    }
    return true;
}

// ReplaceFileW. Under the tests' fault hook it refuses before anything moves, as it does on a
// file system that lacks it.
bool CallReplaceFile(const std::wstring& from, const std::wstring& to, const std::wstring& backup) {
    if (SysFails(kSysReplace)) {
        ::SetLastError(ERROR_NOT_SUPPORTED);
        return false;
    }
    return ::ReplaceFileW(to.c_str(), from.c_str(), backup.c_str(), 0, nullptr, nullptr) != 0;
}

// MoveFileExW, written through to the disk, over an existing `to` when `over`.
bool CallMoveFile(const std::wstring& from, const std::wstring& to, bool over) {
    if (SysFails(kSysRename)) {
        return false;
    }
    const DWORD flags = MOVEFILE_WRITE_THROUGH | (over ? MOVEFILE_REPLACE_EXISTING : 0);
    if (!::MoveFileExW(from.c_str(), to.c_str(), flags)) {
        SetErrnoFromLastError();
        return false;
    }
    return true;
}

// ReplaceFileW from `from` to `to`, moving the old file to `backup`. Whatever fails, `to`
// keeps its name: an old file left under `backup` goes back. Where nothing moved, a handle of
// this writer's may have stood in the way (Windows moves no file that a handle holds without
// sharing deletion, and a system may refuse even then): `letGo` lets go of it, or returns
// false (ESTALE) when the file is no longer the one read, and ReplaceFileW is tried once
// more. Where the file system has no ReplaceFileW, MoveFileExW moves the new file over.
bool ReplaceKeeping(const std::wstring& from, const std::wstring& to, const std::wstring& backup,
                    const std::function<bool()>& letGo) {
    for (int attempt = 0;; ++attempt) {
        if (CallReplaceFile(from, to, backup)) {
            return true;
        }
        const DWORD error = ::GetLastError();
        if (!Exists(to) && Exists(backup)) {
            ::MoveFileExW(backup.c_str(), to.c_str(), MOVEFILE_WRITE_THROUGH);
            SetErrno(error);
            return false;
        }
        const bool lacking = error == ERROR_NOT_SUPPORTED || error == ERROR_INVALID_FUNCTION ||
                             error == ERROR_INVALID_PARAMETER ||
                             error == ERROR_CALL_NOT_IMPLEMENTED;
        const bool held = error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED ||
                          error == ERROR_UNABLE_TO_REMOVE_REPLACED;
        if (attempt > 0 || (!lacking && !held)) {
            SetErrno(error);
            return false;
        }
        if (!letGo()) {
            return false;
        }
        if (lacking) {
            return CallMoveFile(from, to, true);
        }
    }
}

// The replace: puts the complete new file `from` in the place of `to`. Every call by which
// the library replaces a file is made here, so that a system without them slots in here
// alone: Windows CE has neither ReplaceFileW nor MoveFileExW, and replaces with
// DeleteAndRenameFile(to, from).
//
// Without the file `read` there is no old file, and `to` must still be missing: another
// writer's new file is never replaced (ESTALE). Otherwise ReplaceFileW keeps what the old
// file's users rely on (its access rules, its owner where the process may set it, its
// attributes and its alternate data streams); MoveFileExW, where the file system has no
// ReplaceFileW, keeps none of them (see ReplaceKeeping). The file moved aside to `backup`
// must be the one read: one that a writer taking no lock put in place between the caller's
// check and the replace is put back (ESTALE). The old file is removed.
bool ReplaceByName(const std::wstring& from, const std::wstring& to, const std::wstring& backup,
                   const BY_HANDLE_FILE_INFORMATION* read, const std::function<bool()>& letGo) {
    if (read == nullptr) {
        if (CallMoveFile(from, to, false)) {
            return true;
        }
        errno = errno == EEXIST ? ESTALE : errno;
        return false;
    }
    if (!ReplaceKeeping(from, to, backup, letGo)) {
        return false;
    }
    if (Exists(backup) && !NamesFileOf(backup, *read)) {
        ::MoveFileExW(backup.c_str(), to.c_str(),
                      MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
        errno = ESTALE;
        return false;
    }
    ::DeleteFileW(backup.c_str());
    return true;
}

// Opens the file at `place` for reading and takes the writers' lock on it (a disk file's),
// waiting at most `waitMs`; `info` describes the file, `locked` tells whether the lock was had.
Handle OpenLocked(const Place& place, long waitMs, BY_HANDLE_FILE_INFORMATION& info, bool& locked) {
    Handle file(::CreateFileW(place.path.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
    locked = file.Valid() && ::GetFileType(file.Get()) == FILE_TYPE_DISK &&
             ::GetFileInformationByHandle(file.Get(), &info) && LockForWriting(file.Get(), waitMs);
    return file;
}

// Creates `path` exclusively and opens it with "w+b". Windows files have no permission
// bits beyond read-only, which a file being written must not have; the new file takes the
// access rules that its directory passes on.
FILE* CreateNew(const std::wstring& path) {
    if (SysFails(kSysOpen)) {
        return nullptr;
    }
    HANDLE file = ::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, kShareAll, nullptr,
                                CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        SetErrnoFromLastError();
        return nullptr;
    }
    FILE* fp = StreamOf(file, _O_RDWR, "w+b");
    if (fp == nullptr) {
        const int err = errno;
        ::DeleteFileW(path.c_str());
        errno = err;
    }
    return fp;
}

}  // namespace

struct SysLockedFile::Impl {
    Place place;
    Handle file;  // the file read, locked where the lock could be had
    BY_HANDLE_FILE_INFORMATION info = {};
    bool exists = false;
    bool device = false;   // a device named in the device namespace: written at its position
    bool inPlace = false;  // a file of several links, or a reparse point: written in place
    bool locked = false;
    SysFileState state;

    bool Bind(long waitMs, bool& again);
    bool NamesHeld() const { return NamesFileOf(place.path, info); }
    bool Unchanged(const SysFileState& expect) const;
    Handle OpenForWriting() const;
    bool Recover();
    void RemoveLeftovers() const;
    bool ReplaceInPlace(SysContents& contents);
    bool ReplaceWhole(SysContents& contents, const SysFileState& expect);
    bool PutInPlace(const std::wstring& temp, const SysFileState& expect);
};

// One attempt to bind the file at the place; `again` when it was replaced meanwhile.
bool SysLockedFile::Impl::Bind(long waitMs, bool& again) {
    again = exists = device = inPlace = false;
    state = SysFileState();
    file = OpenLocked(place, waitMs, info, locked);
    if (!file.Valid()) {
        const DWORD error = ::GetLastError();
        const DWORD attributes = ::GetFileAttributesW(place.path.c_str());
        SetErrno(error);
        errno = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)
                    ? EISDIR
                    : errno;
        return error == ERROR_FILE_NOT_FOUND;
    }
    state.exists = exists = true;
    if (::GetFileType(file.Get()) != FILE_TYPE_DISK) {
        // Only a device named in the device namespace is written, at its position.
        device = place.literal;
        errno = device ? errno : EINVAL;
        return device;
    }
    // A writer may have replaced the file since it was opened, or while this one waited.
    if (!::GetFileInformationByHandle(file.Get(), &info) || !NamesHeld()) {
        again = true;
        return false;
    }
    const DWORD attributes = ::GetFileAttributesW(place.path.c_str());
    inPlace = info.nNumberOfLinks > 1 || (attributes != INVALID_FILE_ATTRIBUTES &&
                                          (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0);
    return Recover() && ::GetFileInformationByHandle(file.Get(), &info) &&
           StateOfHandle(file.Get(), state);
}

// Whether the name still leads to the file held, and that file is in the state `expect`.
bool SysLockedFile::Impl::Unchanged(const SysFileState& expect) const {
    SysFileState now;
    return file.Valid() && NamesHeld() && StateOfHandle(file.Get(), now) && now == expect;
}

// The file held, opened for writing, once it is still the file found.
Handle SysLockedFile::Impl::OpenForWriting() const {
    if (SysFails(kSysOpen)) {
        return Handle();
    }
    Handle target(::CreateFileW(place.path.c_str(), GENERIC_WRITE, kShareAll, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    BY_HANDLE_FILE_INFORMATION now;
    if (!target.Valid()) {
        SetErrnoFromLastError();
    } else if (!::GetFileInformationByHandle(target.Get(), &now) || !SameFile(now, info)) {
        errno = ESTALE;
        return Handle();
    }
    return target;
}

// Writes into the file the text that an in-place write killed half way left in its recovery
// copy, and removes the copy. A copy that is not trusted (a disk file of one link, owned by
// the file's owner or by the caller) is neither read nor removed.
bool SysLockedFile::Impl::Recover() {
    const std::wstring copyPath = place.Beside(place.name + kRecoverySuffix);
    Handle copy(::CreateFileW(copyPath.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    BY_HANDLE_FILE_INFORMATION st;
    LARGE_INTEGER size;
    if (!copy.Valid() || ::GetFileType(copy.Get()) != FILE_TYPE_DISK ||
        !::GetFileInformationByHandle(copy.Get(), &st) || st.nNumberOfLinks != 1 ||
        (st.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0 ||
        !OwnedAlike(copy.Get(), file.Get()) || !::GetFileSizeEx(copy.Get(), &size)) {
        return true;
    }
    Handle target = OpenForWriting();
    bool touched = false;
    if (!target.Valid() || !WriteInPlace(target.Get(), copy.Get(), size.QuadPart, touched)) {
        return false;
    }
    copy.Reset();
    ::DeleteFileW(copyPath.c_str());
    return true;
}

// Removes what killed writers of the file left beside it: new files never put in place, and
// old files that a replace moved aside. Only a writer that holds the lock does so, so that no
// writer that takes it is still using them.
void SysLockedFile::Impl::RemoveLeftovers() const {
    const std::wstring prefix = TemporaryPrefix(place.name);
    WIN32_FIND_DATAW found;
    HANDLE find = ::FindFirstFileW(place.Beside(prefix + L"*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) {
        return;
    }
    do {
        if (std::wcsncmp(found.cFileName, prefix.c_str(), prefix.size()) == 0 &&
            (found.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) ==
                0) {
            ::DeleteFileW(place.Beside(found.cFileName).c_str());
        }
    } while (::FindNextFileW(find, &found));
    ::FindClose(find);
}

// A file that must stay what it is (one of several links, a reparse point, or in a directory
// that takes no new file) is written in place. Its new text goes first to a copy that takes
// the name "NAME~new" only once complete and on the disk (a copy in the temporary folder
// where no file can be made beside it), so that whatever stops the write from then on leaves
// the whole text for the next writer.
bool SysLockedFile::Impl::ReplaceInPlace(SysContents& contents) {
    Handle target = OpenForWriting();
    if (!target.Valid()) {
        return false;
    }
    std::wstring temp;
    Handle copy =
        CreateExclusive(place.dir, TemporaryPrefix(place.name), FILE_ATTRIBUTE_NORMAL, temp);
    if (!copy.Valid()) {
        copy = CreateUnnamed();
    }
    Scratch drop(temp);
    const std::wstring recovery = place.Beside(place.name + kRecoverySuffix);
    const bool written = copy.Valid() && WriteThrough(copy.Get(), contents);
    // A name that another entry holds is left to it, and the write goes on unnamed.
    const bool named = written && !temp.empty() && CallMoveFile(temp, recovery, false);
    drop.kept = named;
    LARGE_INTEGER size;
    bool touched = false;
    const bool ok = written && ::GetFileSizeEx(copy.Get(), &size) &&
                    WriteInPlace(target.Get(), copy.Get(), size.QuadPart, touched);
    if (named && (ok || !touched)) {
        const int err = errno;
        copy.Reset();
        ::DeleteFileW(recovery.c_str());
        errno = err;
    }
    return ok;
}

// Puts the complete new file `temp` in the file's place, while the file is still in the state
// `expect`.
bool SysLockedFile::Impl::PutInPlace(const std::wstring& temp, const SysFileState& expect) {
    if (!exists) {
        return ReplaceByName(temp, place.path, std::wstring(), nullptr, nullptr);
    }
    if (!Unchanged(expect)) {
        errno = ESTALE;
        return false;
    }
    std::wstring backup = temp;
    backup.replace(backup.size() - 3, 3, L"old");
    const std::function<bool()> letGo = [this, &expect]() {
        file.Reset();
        locked = false;
        SysFileState now;
        Handle named(::CreateFileW(place.path.c_str(), 0, kShareAll, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
        errno = ESTALE;
        return named.Valid() && StateOfHandle(named.Get(), now) && now == expect;
    };
    return ReplaceByName(temp, place.path, backup, &info, letGo);
}

// A regular file of one link, or a missing one: the new text goes to a new file beside it,
// which takes its place once complete. The new file is taken, locked where that can be had at
// once, before the old one is let go: a writer waiting for the old file's lock finds the name
// changed only once this one holds the new file.
bool SysLockedFile::Impl::ReplaceWhole(SysContents& contents, const SysFileState& expect) {
    if (locked) {
        RemoveLeftovers();
    }
    std::wstring temp;
    Handle created =
        CreateExclusive(place.dir, TemporaryPrefix(place.name), FILE_ATTRIBUTE_NORMAL, temp);
    if (!created.Valid()) {
        // A directory that takes no new file may still hold a writable file.
        if (errno != EACCES || !exists) {
            return false;
        }
        if (!Unchanged(expect)) {
            errno = ESTALE;
            return false;
        }
        return ReplaceInPlace(contents) && StateOfHandle(file.Get(), state);
    }
    Scratch drop(temp);  // unless it takes the file's place
    bool ok = WriteThrough(created.Get(), contents);
    created.Reset();
    // The attributes go to the new file before it takes the name: ReplaceFileW merges them,
    // but not everywhere (Wine does not), and MoveFileExW does not.
    const DWORD attributes = exists ? info.dwFileAttributes & kKeptAttributes : 0;
    if (ok &&
        !::SetFileAttributesW(temp.c_str(), attributes != 0 ? attributes : FILE_ATTRIBUTE_NORMAL)) {
        SetErrnoFromLastError();
        ok = false;
    }
    drop.kept = ok && PutInPlace(temp, expect);
    if (!drop.kept) {
        if (exists && !file.Valid()) {
            const int err = errno;
            file = OpenLocked(place, 0, info, locked);  // the file let go of for the replace
            errno = err;
        }
        return false;
    }
    BY_HANDLE_FILE_INFORMATION taken = {};
    bool takenLocked = false;
    Handle replaced = OpenLocked(place, 0, taken, takenLocked);
    file = std::move(replaced);
    info = taken;
    locked = takenLocked;
    exists = true;
    inPlace = false;
    state = SysFileState();
    state.exists = true;  // in no state of its own, should the new file be gone already
    if (file.Valid()) {
        StateOfHandle(file.Get(), state);
    }
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
    if (SysFails(kSysOpen) || !FindPlace(path, m_impl->place)) {
        return false;
    }
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        bool again = false;
        if (m_impl->Bind(waitMs, again)) {
            errno = m_impl->exists ? errno : ENOENT;
            return m_impl->exists || mayBeMissing;
        }
        if (!again) {
            return false;
        }
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
    DWORD got = 0;
    if (SysFails(kSysRead) ||
        !::ReadFile(m_impl->file.Get(), data,
                    static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30)), &got, nullptr)) {
        SetErrnoFromLastError();
        return -1;
    }
    return got;
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
    if (f.device) {
        return WriteToDevice(f.place.path, contents);
    }
    // Windows lets no one write a read-only file, nor replace it.
    if (f.exists && (f.info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0) {
        errno = EACCES;
        return false;
    }
    if (!f.exists || !f.inPlace) {
        return f.ReplaceWhole(contents, expect);
    }
    if (!f.Unchanged(expect)) {
        errno = ESTALE;
        return false;
    }
    return f.ReplaceInPlace(contents) && StateOfHandle(f.file.Get(), f.state);
}

// A handle of its own on the file held, which the C runtime's stream shares as fopen does
// (reading and writing, not deletion).
FILE* SysLockedFile::OpenStream(bool write) {
    if (m_impl == nullptr || m_impl->device || !m_impl->file.Valid()) {
        errno = EINVAL;
        return nullptr;
    }
    if (SysFails(kSysOpen)) {
        return nullptr;
    }
    HANDLE handle = ::ReOpenFile(m_impl->file.Get(), GENERIC_READ | (write ? GENERIC_WRITE : 0),
                                 FILE_SHARE_READ | FILE_SHARE_WRITE, 0);
    if (handle == INVALID_HANDLE_VALUE) {
        SetErrnoFromLastError();
        return nullptr;
    }
    FILE* fp = StreamOf(handle, write ? _O_RDWR : _O_RDONLY, write ? "r+b" : "rb");
    if (fp != nullptr && SysSeek(fp, 0, SEEK_END) != 0) {
        SysClose(fp);
        return nullptr;
    }
    return fp;
}

// Windows moves no file that a stream of the C runtime holds open (those streams do not share
// deletion): the object's own stream is closed just before the replace, once the file is
// known to be the one it read, and a stream is opened afterwards on the file held: a
// read-write one on the new file, as on POSIX, or after a failure one of the old stream's
// access on the file as it was.
bool SysReplaceOpenFile(FILE*& current, const char* path, SysContents& contents,
                        const SysFileState& before) {
    SysLockedFile file;
    SysFileState now;
    if (!before.regular) {
        errno = EINVAL;
        return false;
    }
    if (!file.Open(path, kSysLockWaitMs, false)) {
        return false;
    }
    if (file.State() != before || !SysStateOf(current, now) || now != before) {
        errno = ESTALE;
        return false;
    }
    const bool write = SysWritesInPlace(current);
    bool replaced = false;
    try {
        replaced = SysClose(std::exchange(current, nullptr)) == 0 && file.Replace(contents, before);
    } catch (...) {
        current = file.OpenStream(write);
        throw;
    }
    const int err = errno;
    current = file.OpenStream(replaced || write);
    errno = replaced ? errno : err;
    return replaced && current != nullptr;
}

SysFileSizeGuard::SysFileSizeGuard() = default;
SysFileSizeGuard::~SysFileSizeGuard() = default;

bool SysStateOf(FILE* fp, SysFileState& state) {
    return StateOfHandle(HandleOf(fp), state);
}

bool SysNamesFile(const char* path, const SysFileState& state) {
    std::wstring native;
    if (!NativePath(path, native)) {
        return false;
    }
    Handle file(::CreateFileW(native.c_str(), 0, kShareAll, nullptr, OPEN_EXISTING,
                              FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    SysFileState named;
    return file.Valid() && StateOfHandle(file.Get(), named) && named.device == state.device &&
           named.file == state.file;
}

// The file is shared for every use, deletion included, as a descriptor is on POSIX: a writer
// may replace it while the stream reads on in the file it opened. (The C runtime's fopen does
// not share deletion, and Windows moves no file that a handle holds without it.) Only a
// device named in the device namespace is opened as one.
FILE* SysOpen(const char* path, const char* mode) {
    std::wstring native;
    bool literal = false;
    OpenMode how;
    if (SysFails(kSysOpen) || !NativePath(path, native, literal) || !ParseMode(mode, how)) {
        return nullptr;
    }
    HANDLE file = ::CreateFileW(native.c_str(), how.access, kShareAll, nullptr, how.creation,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        SetErrnoFromLastError();
        return nullptr;
    }
    if (!literal && ::GetFileType(file) != FILE_TYPE_DISK) {
        ::CloseHandle(file);
        errno = EINVAL;
        return nullptr;
    }
    return StreamOf(file, how.flags, how.stream);
}

// The permission bits have no counterpart on Windows (see CreateNew).
FILE* SysCreate(const char* path, unsigned mode, bool exact) {
    static_cast<void>(mode);
    static_cast<void>(exact);
    std::wstring native;
    return NativePath(path, native) ? CreateNew(native) : nullptr;
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
    std::wstring native;
    if (!NativePath(path, native)) {
        return -1;
    }
    if (!::DeleteFileW(native.c_str())) {
        SetErrnoFromLastError();
        return -1;
    }
    return 0;
}

int SysSync(FILE* fp) {
    if (SysFails(kSysSync)) {
        return -1;
    }
    if (!::FlushFileBuffers(HandleOf(fp))) {
        SetErrnoFromLastError();
        return -1;
    }
    return 0;
}

int SysTruncate(FILE* fp, long long length) {
    if (SysFails(kSysTruncate)) {
        return -1;
    }
    errno_t err = ::_chsize_s(::_fileno(fp), length);
    if (err != 0) {
        errno = err;
        return -1;
    }
    return 0;
}

// The runtime keeps to itself how a stream was opened, but the system refuses even a write
// of no bytes through a handle that may not write. A stream that appends is not told apart
// (see SysCutAtPosition).
bool SysWritesInPlace(FILE* fp) {
    DWORD written = 0;
    return ::WriteFile(HandleOf(fp), "", 0, &written, nullptr) != 0;
}

// The C runtime keeps to itself whether a stream appends. A stream that appends is at the
// end of the file after any write, where the cut takes nothing; one that wrote nothing is
// at the start, and is left alone so that the file it appends to keeps its text.
int SysCutAtPosition(FILE* fp) {
    HANDLE file = HandleOf(fp);
    BY_HANDLE_FILE_INFORMATION info;
    if (::GetFileType(file) != FILE_TYPE_DISK || !::GetFileInformationByHandle(file, &info) ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return 0;
    }
    long end = SysTell(fp);
    if (end == 0) {
        return 0;
    }
    return end > 0 ? SysTruncate(fp, end) : -1;
}

}  // namespace detail
}  // namespace qelcfg

#endif  // defined(_WIN32)
