// The file functions of the platform seam on Windows, and the policy by which a file's
// contents are replaced there. Paths are UTF-8 and are handed to the wide-character
// functions, so that any file name works whatever the process's ANSI code page is; a path
// longer than MAX_PATH is handed over in its extended form ("\\?\"). Only disk files are
// opened by name: a name that Windows takes for a device (NUL, CON, AUX.ini, ...) is refused
// unless the path names the device in the device namespace ("\\.\NUL"). Every stream is
// binary: the library writes "\r\n" itself, and text mode would double the "\r".
#if defined(_WIN32)

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
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

// A failed replace tries this many names for its new file before it gives up.
constexpr int kTemporaryNameAttempts = 16;

// The attributes that a replacing file takes over from the file it replaces.
constexpr DWORD kKeptAttributes = FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_HIDDEN |
                                  FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

// Every share, so that a handle opened only to look at a file stands in no one's way.
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

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

// What a replace may do with the file at a path.
enum PathKind {
    kMissing,      // nothing there: a new file is made
    kReplaceable,  // a regular file of one link: a new file is moved over it
    kReadOnly,     // a regular file that Windows does not let be written nor replaced
    kInPlace,      // anything else (a directory entry that cannot be examined, a device, a
                   // link, a file of several links): written in place
};

// Examines `path` without following a link. No access is asked for, so that a file open
// elsewhere, or without read access, can still be examined; the backup flag lets a
// directory be opened too. `attributes` gets the file's attributes.
PathKind Examine(const std::wstring& path, DWORD& attributes) {
    HANDLE file = ::CreateFileW(path.c_str(), 0, kShareAll, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return ::GetLastError() == ERROR_FILE_NOT_FOUND ? kMissing : kInPlace;
    }
    BY_HANDLE_FILE_INFORMATION info;
    bool regular =
        ::GetFileType(file) == FILE_TYPE_DISK && ::GetFileInformationByHandle(file, &info) &&
        (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) == 0 &&
        info.nNumberOfLinks == 1;
    ::CloseHandle(file);
    if (!regular) {
        return kInPlace;
    }
    attributes = info.dwFileAttributes;
    return (attributes & FILE_ATTRIBUTE_READONLY) != 0 ? kReadOnly : kReplaceable;
}

// A name beside `path` that another replace running at the same time picks only by rare
// chance, from the process, the thread, the clock and the attempt. The file is created
// exclusively, so a name that is taken costs one more attempt and never a shared file.
std::string TemporaryNameFor(const std::string& path, int attempt) {
    unsigned long thread =
        static_cast<unsigned long>(std::hash<std::thread::id>()(std::this_thread::get_id()));
    unsigned long long tick = static_cast<unsigned long long>(
        std::chrono::steady_clock::now().time_since_epoch().count());
    char suffix[96];
    std::snprintf(suffix, sizeof suffix, ".%lu-%lx-%llx-%d.qelcfg-tmp",
                  static_cast<unsigned long>(::GetCurrentProcessId()), thread & 0xFFFFFFFFul,
                  tick & 0xFFFFFFFFull, attempt);
    return path + suffix;
}

// Moves the complete new file over the old one in one step, written through to the disk.
// Windows refuses when another handle holds the old file open, or when it is read-only.
bool MoveOver(const std::wstring& from, const std::wstring& to) {
    if (SysFails(kSysRename)) {
        return false;
    }
    if (!::MoveFileExW(from.c_str(), to.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        SetErrnoFromLastError();
        return false;
    }
    return true;
}

bool WriteInPlace(const std::string& path, SysContents& contents) {
    FILE* fp = SysOpen(path.c_str(), "w+b");
    return fp != nullptr && SysWriteAndClose(fp, contents, false);
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

// Writes `contents` to a new file beside `path` and moves it over `path`. `attributes`
// are those of the file replaced, or null when there is none.
bool WriteReplacing(const std::string& path, const std::wstring& widePath, const DWORD* attributes,
                    SysContents& contents) {
    std::wstring temp;
    FILE* fp = nullptr;
    for (int attempt = 0; attempt < kTemporaryNameAttempts && fp == nullptr; ++attempt) {
        if (!NativePath(TemporaryNameFor(path, attempt).c_str(), temp)) {
            return false;
        }
        fp = CreateNew(temp);
        if (fp == nullptr && errno != EEXIST) {
            break;
        }
    }
    if (fp == nullptr) {
        // A directory that takes no new file may still hold a writable file.
        bool denied = errno == EACCES || errno == EPERM;
        return denied && WriteInPlace(path, contents);
    }
    bool written = false;
    try {
        written = SysWriteAndClose(fp, contents, true);
    } catch (...) {
        ::DeleteFileW(temp.c_str());
        throw;
    }
    DWORD kept = attributes != nullptr ? *attributes & kKeptAttributes : 0;
    bool replaced = written && (kept == 0 || ::SetFileAttributesW(temp.c_str(), kept) != 0) &&
                    MoveOver(temp, widePath);
    if (!replaced) {
        ::DeleteFileW(temp.c_str());
    }
    return replaced;
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

}  // namespace

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

bool SysSameFile(FILE* fp, const char* path) {
    std::wstring wide;
    if (!NativePath(path, wide)) {
        return false;
    }
    HANDLE file = ::CreateFileW(wide.c_str(), 0, kShareAll, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS, nullptr);
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

// Windows replaces no file that a stream holds open, and `current` stays open: the file is
// written in place, through a stream of its own, once it is known to be the file that
// `current` reads. The caller keeps the complete new text in a file of its own until this
// returns, for a write that stops half way.
bool SysReplaceOpenFile(FILE*& current, const char* path, SysContents& contents,
                        const SysFileState& before) {
    SysFileState now;
    if (!before.regular || !SysSameFile(current, path)) {
        errno = EINVAL;
        return false;
    }
    if (!SysStateOf(current, now) || now != before) {
        errno = ESTALE;
        return false;
    }
    FILE* fp = SysOpen(path, "r+b");
    if (fp == nullptr) {
        return false;
    }
    bool written = false;
    try {
        long end = -1;
        written = SysSeek(fp, 0, SEEK_SET) == 0 && contents.WriteTo(fp) && SysFlush(fp) == 0 &&
                  (end = SysTell(fp)) >= 0 && SysTruncate(fp, end) == 0 && SysSync(fp) == 0;
    } catch (...) {
        SysClose(fp);
        throw;
    }
    if (!written) {
        SysClose(fp);
        return false;
    }
    SysClose(std::exchange(current, fp));
    return true;
}

struct SysLockedFile::Impl {
    std::string path;
    std::wstring wide;
    bool literal = false;  // named in the device namespace
    bool device = false;   // a device so named: written at its position
    HANDLE file = INVALID_HANDLE_VALUE;
    long waitMs = 0;
    SysFileState state;

    ~Impl() { Release(); }
    void Release() {
        if (file != INVALID_HANDLE_VALUE) {
            ::CloseHandle(file);
            file = INVALID_HANDLE_VALUE;
        }
    }
    // Opens and locks the file at the path; a missing one is no failure.
    bool Bind() {
        Release();
        state = SysFileState();
        file = ::CreateFileW(wide.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            const DWORD attributes = ::GetFileAttributesW(wide.c_str());
            SetErrnoFromLastError();
            errno = attributes != INVALID_FILE_ATTRIBUTES &&
                            (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0
                        ? EISDIR
                        : errno;
            return errno == ENOENT;
        }
        // Only a device named in the device namespace is written, at its position.
        if (::GetFileType(file) != FILE_TYPE_DISK) {
            device = literal;
            state.exists = true;
            errno = device ? errno : EINVAL;
            return device;
        }
        LockForWriting(file, waitMs);
        return StateOfHandle(file, state);
    }
};

SysLockedFile::SysLockedFile() : m_impl(nullptr) {}

SysLockedFile::~SysLockedFile() {
    Close();
}

void SysLockedFile::Close() {
    delete m_impl;
    m_impl = nullptr;
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
    try {
        m_impl->path = path;
    } catch (const std::bad_alloc&) {
        errno = ENOMEM;
        return false;
    }
    m_impl->waitMs = waitMs;
    if (!NativePath(path, m_impl->wide, m_impl->literal) || !m_impl->Bind()) {
        return false;
    }
    errno = m_impl->state.exists ? errno : ENOENT;
    return m_impl->state.exists || mayBeMissing;
}

SysFileState SysLockedFile::State() const {
    return m_impl != nullptr ? m_impl->state : SysFileState();
}

long long SysLockedFile::Read(void* data, std::size_t size) {
    if (m_impl == nullptr || m_impl->file == INVALID_HANDLE_VALUE) {
        return 0;
    }
    DWORD got = 0;
    if (SysFails(kSysRead) ||
        !::ReadFile(m_impl->file, data, static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30)),
                    &got, nullptr)) {
        SetErrnoFromLastError();
        return -1;
    }
    return got;
}

// Windows replaces no file that a handle holds open: the object lets go of its own handle,
// and so of its lock, just before the replace, and takes both again on the new file.
bool SysLockedFile::Replace(SysContents& contents, const SysFileState& expect) {
    if (m_impl == nullptr) {
        errno = EBADF;
        return false;
    }
    Impl& f = *m_impl;
    SysFileState now;
    if (f.device && expect == f.state) {
        return WriteInPlace(f.path, contents);
    }
    if (expect != f.state ||
        (f.file != INVALID_HANDLE_VALUE && (!StateOfHandle(f.file, now) || now != expect))) {
        errno = ESTALE;
        return false;
    }
    f.Release();
    DWORD attributes = 0;
    bool ok = false;
    switch (Examine(f.wide, attributes)) {
        case kMissing:
            ok = !expect.exists && WriteReplacing(f.path, f.wide, nullptr, contents);
            errno = expect.exists ? ESTALE : errno;
            break;
        case kReplaceable:
            ok = WriteReplacing(f.path, f.wide, &attributes, contents);
            break;
        case kReadOnly:
            errno = EACCES;
            break;
        case kInPlace:
            ok = WriteInPlace(f.path, contents);
            break;
    }
    const int err = errno;
    const bool bound = f.Bind();
    errno = err;
    return ok && bound;
}

FILE* SysLockedFile::OpenStream(bool write) {
    FILE* fp = m_impl != nullptr ? SysOpen(m_impl->path.c_str(), write ? "r+b" : "rb") : nullptr;
    if (fp != nullptr && SysSeek(fp, 0, SEEK_END) != 0) {
        SysClose(fp);
        return nullptr;
    }
    return fp;
}

SysFileSizeGuard::SysFileSizeGuard() = default;
SysFileSizeGuard::~SysFileSizeGuard() = default;

bool SysStateOf(FILE* fp, SysFileState& state) {
    return StateOfHandle(HandleOf(fp), state);
}

bool SysNamesFile(const char* path, const SysFileState& state) {
    std::wstring wide;
    if (!NativePath(path, wide)) {
        return false;
    }
    HANDLE file = ::CreateFileW(wide.c_str(), 0, kShareAll, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    SysFileState named;
    const bool same =
        StateOfHandle(file, named) && named.device == state.device && named.file == state.file;
    ::CloseHandle(file);
    return same;
}

}  // namespace detail
}  // namespace qelcfg

#endif  // defined(_WIN32)
