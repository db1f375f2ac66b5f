#include "TxtFile.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <functional>
#include <new>
#include <utility>

#include "StrScan.h"
#include "SysIo.h"

namespace _CFG {

using qelcfg::detail::SysAlloc;
using qelcfg::detail::SysClose;
using qelcfg::detail::SysCreate;
using qelcfg::detail::SysEof;
using qelcfg::detail::SysFileMode;
using qelcfg::detail::SysFileSizeGuard;
using qelcfg::detail::SysFileState;
using qelcfg::detail::SysFlush;
using qelcfg::detail::SysFree;
using qelcfg::detail::SysGets;
using qelcfg::detail::SysOpen;
using qelcfg::detail::SysPuts;
using qelcfg::detail::SysRealloc;
using qelcfg::detail::SysRemove;
using qelcfg::detail::SysSeek;
using qelcfg::detail::SysSetBuffer;
using qelcfg::detail::SysStateOf;
using qelcfg::detail::SysSync;
using qelcfg::detail::SysTell;
using qelcfg::detail::SysWritesInPlace;

namespace {

constexpr int kGrowStep = 512;
// From this size on the line buffer doubles, so that a very long line is read in linear
// time; below it the buffer grows in 512-byte steps and stays small for ordinary lines.
constexpr int kDoubleFrom = 32 * 1024;
// The rest of a line after a CR is dropped in pieces at least this large, so that a long
// tail costs few reads.
constexpr int kSkipRoom = 128;
constexpr int kTempNameSize = 256;
// A stream that an object opens itself reads through a buffer of this size rather than the
// runtime's (often 4 KiB): a file of some hundred kilobytes then takes a handful of reads.
// It stays just under 64 KiB, since glibc's free of a block of 64 KiB or more first merges
// every small free block of the heap, which after the release of a large tree costs far
// more than the reads the last kilobyte saves.
constexpr std::size_t kStreamBufferSize = 64 * 1024 - 256;
constexpr char kTempSuffix[] = "~tmp";

// Stream holders are allocated through the I/O seam, so that a failed allocation reaches
// the caller as a false result like the object's other allocations.
template <class T>
struct SeamAllocator {
    using value_type = T;
    SeamAllocator() = default;
    template <class U>
    SeamAllocator(const SeamAllocator<U>&) noexcept {}
    T* allocate(std::size_t n) {
        void* p = SysAlloc(n * sizeof(T));
        if (p == nullptr) {
            throw std::bad_alloc();
        }
        return static_cast<T*>(p);
    }
    void deallocate(T* p, std::size_t) noexcept { SysFree(p); }
};

template <class T, class U>
bool operator==(const SeamAllocator<T>&, const SeamAllocator<U>&) {
    return true;
}
template <class T, class U>
bool operator!=(const SeamAllocator<T>&, const SeamAllocator<U>&) {
    return false;
}

char* CopyText(const char* text) {
    std::size_t size = std::strlen(text) + 1;
    char* copy = static_cast<char*>(SysAlloc(size));
    if (copy != nullptr) {
        std::memcpy(copy, text, size);
    }
    return copy;
}

char* CopyLineBuffer(const char* buffer, int size) {
    char* copy = static_cast<char*>(SysAlloc(static_cast<std::size_t>(size)));
    if (copy != nullptr) {
        std::memcpy(copy, buffer, std::strlen(buffer) + 1);
    }
    return copy;
}

// Compares two NUL-terminated texts, folding ASCII letters to lower case; other bytes
// compare by their unsigned value. Returns <0, 0 or >0 like strcmp.
int Stricmp(const char* a, const char* b) {
    for (;; ++a, ++b) {
        unsigned ca = static_cast<unsigned char>(*a);
        unsigned cb = static_cast<unsigned char>(*b);
        if (ca >= 'A' && ca <= 'Z')
            ca += 'a' - 'A';
        if (cb >= 'A' && cb <= 'Z')
            cb += 'a' - 'A';
        if (ca != cb || ca == 0) {
            return static_cast<int>(ca) - static_cast<int>(cb);
        }
    }
}

bool KeyMatches(const char* line, const char* key, int offset, bool prefixMatch) {
    // A line shorter than `offset` holds nothing there, and nothing past its NUL is read.
    if (std::memchr(line, '\0', static_cast<std::size_t>(offset)) != nullptr) {
        return false;
    }
    const char* at = line + offset;
    if (prefixMatch) {
        return std::strncmp(at, key, std::strlen(key)) == 0;
    }
    return Stricmp(at, key) == 0;
}

// One read of at most room - 1 bytes into `chunk`. `filled` tells whether it took them all,
// which the text's own length cannot tell once the line holds a NUL: the last byte of the
// room is marked before the read, and only a full read puts its terminating NUL there.
bool ReadChunk(char* chunk, int room, std::FILE* fp, bool& filled) {
    chunk[room - 1] = '\n';
    if (SysGets(chunk, room, fp) == nullptr) {
        return false;
    }
    filled = chunk[room - 1] == '\0';
    return true;
}

// Where the text of a chunk just read ends: at its first CR, LF or NUL, as LineTextLength
// finds it. A read takes at most one LF, as its last byte, and ends in a NUL, which is also
// where it ends when the line holds a NUL of its own; so only a CR is searched for.
int TextEnd(const char* chunk) {
    std::size_t length = std::strlen(chunk);
    if (length > 0 && chunk[length - 1] == '\n') {
        --length;
    }
    const void* cr = std::memchr(chunk, '\r', length);
    return static_cast<int>(cr != nullptr ? static_cast<const char*>(cr) - chunk : length);
}

}  // namespace

// The file as an edit found it when it began, which it must still be when it is replaced.
struct CTxtFile::CEditStart {
    SysFileState state;
};

// One stream shared by an object and its copies; the last of them to let go closes it. A
// line edit that could not open the edited file again leaves it without a stream (null).
// A buffer given to the stream is released only once the stream is closed.
struct CTxtFile::CStreamHold {
    explicit CStreamHold(std::FILE* fp) : m_fp(fp) {}
    CStreamHold(const CStreamHold&) = delete;
    CStreamHold& operator=(const CStreamHold&) = delete;
    ~CStreamHold() {
        if (m_fp != nullptr) {
            SysClose(m_fp);
        }
        SysFree(m_buffer);
    }
    bool Close() {
        std::FILE* fp = std::exchange(m_fp, nullptr);
        const bool closed = fp == nullptr || SysClose(fp) == 0;
        ReleaseBuffer();
        return closed;
    }
    // Gives the stream, on which nothing was done yet, the larger buffer. Without the memory
    // for it the stream keeps the runtime's buffer, which reads the same lines.
    void GiveBuffer() {
        char* buffer = static_cast<char*>(SysAlloc(kStreamBufferSize));
        if (buffer != nullptr && SysSetBuffer(m_fp, buffer, kStreamBufferSize) == 0) {
            m_buffer = buffer;
        } else {
            SysFree(buffer);
        }
    }
    void ReleaseBuffer() {
        SysFree(m_buffer);
        m_buffer = nullptr;
    }

    std::FILE* m_fp;
    char* m_buffer = nullptr;
};

CTxtFile::CTxtFile() = default;

CTxtFile::CTxtFile(void* stream) {
    AdoptStream(static_cast<std::FILE*>(stream));
}

CTxtFile::CTxtFile(const char* path, const char* mode) : m_lineMarker(-1) {
    CTxtFile::Open(path, mode);
}

CTxtFile::CTxtFile(const CTxtFile& other) : CTxtFile() {
    *this = other;
}

CTxtFile& CTxtFile::operator=(const CTxtFile& other) {
    if (this == &other) {
        return *this;
    }
    char* name = other.m_fileName != nullptr ? CopyText(other.m_fileName) : nullptr;
    char* buffer =
        other.m_buffer != nullptr ? CopyLineBuffer(other.m_buffer, other.m_bufferSize) : nullptr;
    if ((name == nullptr && other.m_fileName != nullptr) ||
        (buffer == nullptr && other.m_buffer != nullptr)) {
        SysFree(name);
        SysFree(buffer);
        throw std::bad_alloc();
    }
    ReleaseAll();
    m_changed = other.m_changed;
    m_stream = other.m_stream;
    m_fileName = name;
    m_buffer = buffer;
    m_bufferSize = other.m_bufferSize;
    m_lineMarker = other.m_lineMarker;
    m_readFailed = other.m_readFailed;
    return *this;
}

CTxtFile::CTxtFile(CTxtFile&& other) noexcept {
    TakeOver(other);
}

CTxtFile& CTxtFile::operator=(CTxtFile&& other) noexcept {
    if (this != &other) {
        ReleaseAll();
        TakeOver(other);
    }
    return *this;
}

CTxtFile::~CTxtFile() {
    CTxtFile::Close();
    SysFree(m_buffer);
}

void CTxtFile::ReleaseAll() {
    CloseStream();
    SysFree(m_fileName);
    m_fileName = nullptr;
    SysFree(m_buffer);
    m_buffer = nullptr;
    m_bufferSize = 0;
}

void CTxtFile::TakeOver(CTxtFile& other) noexcept {
    m_changed = other.m_changed;
    m_stream = std::move(other.m_stream);
    m_fileName = other.m_fileName;
    m_buffer = other.m_buffer;
    m_bufferSize = other.m_bufferSize;
    m_lineMarker = other.m_lineMarker;
    m_readFailed = other.m_readFailed;
    other.m_changed = false;
    other.m_fileName = nullptr;
    other.m_buffer = nullptr;
    other.m_bufferSize = 0;
    other.m_lineMarker = -2;
    other.m_readFailed = false;
}

std::FILE* CTxtFile::Stream() const {
    return m_stream ? m_stream->m_fp : nullptr;
}

void* CTxtFile::GetStream() const {
    return Stream();
}

bool CTxtFile::AdoptStream(std::FILE* fp) {
    if (fp == nullptr) {
        return false;
    }
    try {
        m_stream = std::allocate_shared<CStreamHold>(SeamAllocator<CStreamHold>(), fp);
    } catch (const std::bad_alloc&) {
        // The stream was handed to this object, which cannot keep it: nobody else will close it.
        SysClose(fp);
        return false;
    }
    return true;
}

bool CTxtFile::CloseStream() {
    std::shared_ptr<CStreamHold> hold = std::move(m_stream);
    if (!hold || hold.use_count() > 1) {
        return true;
    }
    return hold->Close();
}

bool CTxtFile::Open(const char* path, const char* mode) {
    // Copied before Close releases the old name, which `path` may point into.
    char* name = path != nullptr ? CopyText(path) : nullptr;
    Close();
    if (name == nullptr) {
        return false;
    }
    // The name is bound only with a stream: a name kept after a failed open would let the
    // next save write a tree that was never read over the file.
    if (mode == nullptr || !AdoptStream(SysOpen(name, mode))) {
        SysFree(name);
        return false;
    }
    m_stream->GiveBuffer();
    m_fileName = name;
    return true;
}

void CTxtFile::Close() {
    CloseStream();
    m_changed = false;
    SysFree(m_fileName);
    m_fileName = nullptr;
}

bool CTxtFile::Set(void* stream) {
    std::FILE* fp = static_cast<std::FILE*>(stream);
    // Letting go of the stream first would close the very stream being handed over.
    if (fp != nullptr && fp == Stream()) {
        return true;
    }
    CloseStream();
    return AdoptStream(fp);
}

bool CTxtFile::SeekToBegin() {
    if (Stream() == nullptr) {
        return false;
    }
    m_lineMarker = -1;
    return SysSeek(Stream(), 0, SEEK_SET) == 0;
}

bool CTxtFile::SeekToEnd() {
    if (Stream() == nullptr) {
        return false;
    }
    m_lineMarker = -2;
    return SysSeek(Stream(), 0, SEEK_END) == 0;
}

bool CTxtFile::Seek(long offset, int origin) {
    return Stream() != nullptr && SysSeek(Stream(), offset, origin) == 0;
}

int CTxtFile::FindPrefixLine(const char* prefix) {
    if (prefix == nullptr || Stream() == nullptr) {
        return -1;
    }
    std::size_t length = std::strlen(prefix);
    int count = 0;
    while (ReadLine() && std::strncmp(m_buffer, prefix, length) != 0) {
        ++count;
    }
    // A failed read is not the end of the file: no line count stands for it.
    return m_buffer == nullptr || ReadFailed() ? -1 : count;
}

int CTxtFile::SeekToLine(const char* prefix, char* line) {
    int index = FindPrefixLine(prefix);
    if (index >= 0 && line != nullptr) {
        std::strcpy(line, m_buffer);
    }
    return index;
}

int CTxtFile::SeekToLine(const char* prefix, char* line, int capacity) {
    int index = FindPrefixLine(prefix);
    if (index < 0 || line == nullptr) {
        return index;
    }
    std::size_t size = std::strlen(m_buffer) + 1;
    if (capacity <= 0 || size > static_cast<std::size_t>(capacity)) {
        return -1;
    }
    std::memcpy(line, m_buffer, size);
    return index;
}

bool CTxtFile::SetChangeFlag(bool changed) {
    bool previous = m_changed;
    m_changed = changed;
    return previous;
}

bool CTxtFile::IsFileChanged() const {
    return m_changed;
}

const char* CTxtFile::ReadTextLine(int index) {
    if (Stream() == nullptr || index < 0 || !SeekToBegin()) {
        return nullptr;
    }
    for (int count = 0; ReadLine(); ++count) {
        if (count == index) {
            return m_buffer;
        }
    }
    return nullptr;
}

const char* CTxtFile::GetTextLine(char* skip) {
    while (ReadLine()) {
        if (skip == nullptr) {
            return m_buffer;
        }
        const char* text = m_buffer;
        while (*text != '\0' && std::strchr(skip, *text) != nullptr) {
            ++text;
        }
        if (*text != '\0') {
            return text;
        }
    }
    return nullptr;
}

const char* CTxtFile::GetKeyLine(char* key, char* skip, int offset, bool stopAtMismatch,
                                 bool prefixMatch) {
    for (;;) {
        const char* line = GetTextLine(skip);
        if (line == nullptr || key == nullptr || offset < 0 ||
            KeyMatches(line, key, offset, prefixMatch)) {
            return line;
        }
        if (stopAtMismatch) {
            return nullptr;
        }
    }
}

bool CTxtFile::WriteText(const char* text, bool lineEnd) {
    std::FILE* fp = Stream();
    if (fp == nullptr || text == nullptr) {
        return false;
    }
    if (*text != '\0' && SysPuts(text, fp) < 0) {
        return false;
    }
    return !lineEnd || SysPuts("\r\n", fp) >= 0;
}

const char* CTxtFile::GetTempleFileName(const char* suffix, char* out, int size) {
    if (m_fileName == nullptr || out == nullptr || size <= 0) {
        return nullptr;
    }
    std::size_t capacity = static_cast<std::size_t>(size);
    std::size_t nameLength = std::strlen(m_fileName);
    if (nameLength + 1 > capacity) {
        return nullptr;
    }
    std::memcpy(out, m_fileName, nameLength + 1);
    if (suffix == nullptr) {
        return out;
    }
    std::size_t suffixLength = std::strlen(suffix);
    if (nameLength + suffixLength + 1 > capacity) {
        return nullptr;
    }
    std::memcpy(out + nameLength, suffix, suffixLength + 1);
    return out;
}

// A line is everything up to its LF, whatever bytes it holds; its text ends at its first
// CR, LF or NUL. The buffer is filled by successive reads into its free room, growing while
// the line goes on.
bool CTxtFile::ReadLine() {
    m_readFailed = true;
    if (Stream() == nullptr || (m_buffer == nullptr && !GrowBuffer(0))) {
        return false;
    }
    m_buffer[0] = '\0';
    int length = 0;
    for (;;) {
        if (m_bufferSize - length < 2 && !GrowBuffer(length)) {
            m_buffer[0] = '\0';
            return false;
        }
        char* chunk = m_buffer + length;
        const int room = m_bufferSize - length;
        bool filled = false;
        if (!ReadChunk(chunk, room, Stream(), filled)) {
            *chunk = '\0';
            return FinishAtEnd(length > 0);
        }
        const int stop = TextEnd(chunk);
        if (filled && stop == room - 1) {
            length += stop;  // the whole room is text and the line goes on
            continue;
        }
        // A read that stopped short of the room's end stopped at the LF or at the end.
        const bool lineEnded = !filled || chunk[room - 2] == '\n';
        chunk[stop] = '\0';
        if (!lineEnded && !SysEof(Stream()) && !SkipRestOfLine(length + stop)) {
            return false;
        }
        m_readFailed = false;
        return true;
    }
}

bool CTxtFile::GrowBuffer(int length) {
    int step = m_bufferSize < kDoubleFrom ? kGrowStep : m_bufferSize;
    if (m_bufferSize > INT_MAX - step) {
        return false;
    }
    // A large block grows where it stands when the allocator can extend it (glibc remaps
    // it), so a very long line is neither copied nor touched again at each step.
    char* grown =
        static_cast<char*>(SysRealloc(m_buffer, static_cast<std::size_t>(m_bufferSize + step)));
    if (grown == nullptr) {
        return false;
    }
    grown[length] = '\0';
    m_buffer = grown;
    m_bufferSize += step;
    return true;
}

bool CTxtFile::FinishAtEnd(bool haveText) {
    if (!SysEof(Stream())) {
        m_buffer[0] = '\0';
        return false;
    }
    m_readFailed = false;
    return haveText;
}

// Reads and drops the rest of a line up to its LF, keeping the first `keep` characters.
bool CTxtFile::SkipRestOfLine(int keep) {
    for (;;) {
        const int room = m_bufferSize - keep;
        bool filled = false;
        if (!ReadChunk(m_buffer + keep, room, Stream(), filled)) {
            if (!FinishAtEnd(true)) {
                return false;
            }
            break;
        }
        if (!filled || m_buffer[m_bufferSize - 2] == '\n') {
            break;
        }
        if (room < kSkipRoom && !GrowBuffer(keep)) {
            m_buffer[0] = '\0';
            return false;
        }
    }
    m_buffer[keep] = '\0';
    return true;
}

void CTxtFile::Clear() {
    m_changed = false;
    SysFree(m_buffer);
    m_buffer = nullptr;
    m_bufferSize = 0;
    m_lineMarker = -1;
}

// Both edits copy the edited text into the "~tmp" file, force it to the disk, and then
// replace the file by that text as a save does (SysReplaceOpenFile): a regular file with one link
// gets a complete new file put in its place, so that a crash leaves the old text or the new
// one; a file with other links is written in place with the text kept beside it until synced. The
// file is written only while its name still leads to the file read, unchanged since the edit began,
// never through a link swapped in meanwhile; otherwise the edit fails and the file stays as it was.
// Whatever stops an edit, "~tmp" holds the complete edited text once the copy is done.
bool CTxtFile::RemoveTextLine(int index) {
    if (m_fileName == nullptr || Stream() == nullptr || index < 0) {
        return false;
    }
    SysFileSizeGuard guard;
    CEditStart start;
    CTxtFile temp;
    return SysStateOf(Stream(), start.state) && OpenTempFile(temp) &&
           SysSeek(Stream(), 0, SEEK_SET) == 0 && CopyWithout(temp, index) &&
           temp.FlushAndRewind() && ReplaceByCopy(temp, start);
}

// A stream that cannot write where it stands (read-only, or appending) is not edited: the
// edit would otherwise change a file that its owner opened not to be changed that way.
bool CTxtFile::InsertTextLine(int index, const char* text, bool lineEnd) {
    if (Stream() == nullptr || text == nullptr || !SysWritesInPlace(Stream()) ||
        SysSeek(Stream(), 0, SEEK_SET) != 0) {
        return false;
    }
    // A line handed out by this object would be overwritten by the reading below.
    std::unique_ptr<char, void (*)(void*)> copy(nullptr, SysFree);
    if (HoldsInBuffer(text)) {
        copy.reset(CopyText(text));
        if (!copy) {
            return false;
        }
        text = copy.get();
    }
    SysFileSizeGuard guard;
    CEditStart start;
    CTxtFile temp;
    return SysStateOf(Stream(), start.state) && OpenTempFile(temp) &&
           CopyWithInsert(temp, index < 0 ? -1 : index, text, lineEnd) && temp.FlushAndRewind() &&
           ReplaceByCopy(temp, start);
}

bool CTxtFile::HoldsInBuffer(const char* text) const {
    std::less_equal<const char*> notAfter;
    return m_buffer != nullptr && notAfter(m_buffer, text) &&
           std::less<const char*>()(text, m_buffer + m_bufferSize);
}

// The copy gets the permission bits of the file it copies, so that a private file's text
// does not become readable by others.
bool CTxtFile::OpenTempFile(CTxtFile& temp) {
    char buffer[kTempNameSize];
    const char* name = GetTempleFileName(kTempSuffix, buffer, kTempNameSize);
    unsigned mode = 0;
    if (name == nullptr || SysFileMode(Stream(), &mode) != 0) {
        return false;
    }
    // A leftover entry is removed rather than opened, so that neither a symbolic link nor
    // a hard link at that name leads the copy into another file.
    if (SysRemove(name) != 0 && errno != ENOENT) {
        return false;
    }
    return temp.AdoptStream(SysCreate(name, mode, true));
}

bool CTxtFile::CopyWithout(CTxtFile& temp, int index) {
    for (int count = 0; ReadLine(); ++count) {
        if (count != index && !temp.WriteText(m_buffer, true)) {
            return false;
        }
    }
    return !ReadFailed();
}

bool CTxtFile::CopyWithInsert(CTxtFile& temp, int index, const char* text, bool lineEnd) {
    bool inserted = false;
    for (int count = -1; ReadLine(); ++count) {
        if (count == index) {
            if (!temp.WriteText(text, lineEnd)) {
                return false;
            }
            inserted = true;
        }
        if (!temp.WriteText(m_buffer, true)) {
            return false;
        }
    }
    // Without a line after `index` the text goes at the end rather than being lost.
    return !ReadFailed() && (inserted || temp.WriteText(text, lineEnd));
}

bool CTxtFile::FlushAndRewind() {
    return SysFlush(Stream()) == 0 && SysSync(Stream()) == 0 && SeekToBegin();
}

// The edited text as the new contents of the file: the lines of the finished "~tmp" copy,
// each written through the object's own WriteText, as an edit writes back.
class CTxtFile::CWrittenBack final : public qelcfg::detail::SysContents {
public:
    CWrittenBack(CTxtFile& owner, CTxtFile& temp) : m_owner(owner), m_temp(temp) {}
    bool WriteTo(std::FILE* fp) override { return m_owner.WriteLinesTo(fp, m_temp); }

private:
    CTxtFile& m_owner;
    CTxtFile& m_temp;
};

// Lends the object the stream `fp` for the length of the copy, without owning it.
bool CTxtFile::WriteLinesTo(std::FILE* fp, CTxtFile& temp) {
    std::shared_ptr<CStreamHold> lent;
    try {
        lent = std::allocate_shared<CStreamHold>(SeamAllocator<CStreamHold>(), fp);
    } catch (const std::bad_alloc&) {
        return false;
    }
    struct Restore {
        CTxtFile& file;
        std::shared_ptr<CStreamHold>& lent;
        std::shared_ptr<CStreamHold> own;
        ~Restore() {
            lent->m_fp = nullptr;
            file.m_stream = std::move(own);
        }
    } restore{*this, lent, std::move(m_stream)};
    m_stream = lent;
    if (!temp.SeekToBegin()) {
        return false;
    }
    while (temp.ReadLine()) {
        if (!WriteText(temp.m_buffer, true)) {
            return false;
        }
    }
    return !temp.ReadFailed();
}

// The new stream takes the place of the old one in the holder that the object shares with
// its copies, so that they all go on working on the file that holds the edited text. The
// holder stays while the contents are written, though the object lends itself another.
bool CTxtFile::ReplaceByCopy(CTxtFile& temp, const CEditStart& start) {
    CWrittenBack text(*this, temp);
    std::FILE* const before = m_stream->m_fp;
    const bool replaced =
        qelcfg::detail::SysReplaceOpenFile(m_stream->m_fp, m_fileName, text, start.state);
    if (replaced || m_stream->m_fp != before) {
        m_stream->ReleaseBuffer();  // it was the closed stream's
    }
    return replaced;
}

}  // namespace _CFG
