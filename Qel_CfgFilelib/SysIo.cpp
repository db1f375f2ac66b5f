// The part of the platform seam that standard C offers on every platform: streams and
// memory, and the sequence that writes a file's contents and closes it.
#include "SysIo.h"

#include <cerrno>
#include <cstdlib>

#include "SysIoFaults.h"

namespace qelcfg {
namespace detail {

int SysClose(FILE* fp) {
    if (SysFails(kSysClose)) {
        std::fclose(fp);  // the stream is gone either way, as with a real failure
        errno = EIO;
        return EOF;
    }
    // Some runtimes (Windows') fail the close of a stream that an earlier call failed on,
    // though that call has reported it; only what the close itself flushes counts here.
    std::clearerr(fp);
    return std::fclose(fp);
}

int SysPuts(const char* text, FILE* fp) {
    if (SysFails(kSysWrite)) {
        return EOF;
    }
    return std::fputs(text, fp);
}

std::size_t SysWrite(const void* data, std::size_t size, FILE* fp) {
    if (SysFails(kSysWrite)) {
        return 0;
    }
    return std::fwrite(data, 1, size, fp);
}

std::size_t SysRead(void* data, std::size_t size, FILE* fp) {
    if (SysFails(kSysRead)) {
        return 0;
    }
    return std::fread(data, 1, size, fp);
}

char* SysGets(char* buffer, int count, FILE* fp) {
    if (SysFails(kSysRead)) {
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
    if (SysFails(kSysFlush)) {
        return EOF;
    }
    return std::fflush(fp);
}

int SysSeek(FILE* fp, long offset, int origin) {
    if (SysFails(kSysSeek)) {
        return -1;
    }
    return std::fseek(fp, offset, origin);
}

int SysSetBuffer(FILE* fp, char* buffer, std::size_t size) {
    return std::setvbuf(fp, buffer, _IOFBF, size);
}

long SysTell(FILE* fp) {
    return std::ftell(fp);
}

bool SysEof(FILE* fp) {
    return std::feof(fp) != 0;
}

void* SysAlloc(std::size_t size) {
    if (SysFails(kSysAlloc, ENOMEM)) {
        return nullptr;
    }
    return std::malloc(size);
}

void* SysRealloc(void* p, std::size_t size) {
    if (SysFails(kSysAlloc, ENOMEM)) {
        return nullptr;
    }
    return std::realloc(p, size);
}

void SysFree(void* p) {
    std::free(p);
}

bool operator==(const SysFileState& a, const SysFileState& b) {
    return a.exists == b.exists && a.regular == b.regular && a.device == b.device &&
           a.file == b.file && a.size == b.size && a.modified == b.modified &&
           a.changed == b.changed;
}

bool SysWriteAndClose(FILE* fp, SysContents& contents, bool durable) {
    SysFileSizeGuard guard;
    bool ok = false;
    try {
        ok = SysSeek(fp, 0, SEEK_SET) == 0 && contents.WriteTo(fp) && SysFlush(fp) == 0 &&
             SysCutAtPosition(fp) == 0 && (!durable || SysSync(fp) == 0);
    } catch (...) {
        SysClose(fp);
        throw;
    }
    // A buffered write that fails only when the stream is closed is a failed write.
    bool closed = SysClose(fp) == 0;
    return ok && closed;
}

bool SysReplaceFile(const char* path, SysContents& contents, const SysFileState* expect,
                    SysFileState* written) {
    SysLockedFile file;
    if (!file.Open(path, kSysLockWaitMs, true) ||
        !file.Replace(contents, expect != nullptr ? *expect : file.State())) {
        return false;
    }
    if (written != nullptr) {
        *written = file.State();
    }
    return true;
}

}  // namespace detail
}  // namespace qelcfg
