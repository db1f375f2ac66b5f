#include "IniFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "IniGrammar.h"
#include "IniGrammarScan.h"
#include "SysIo.h"

namespace {

// The text-file object through which every save writes, so that the stream's close can
// be checked: a buffered write that fails only when the stream is closed is a failed save.
// Text is gathered into blocks, so that a save makes one write call per block rather than
// several per line.
class IniWriter : public _CFG::CTxtFile {
public:
    // Takes over `fp` before anything that may throw, so that the stream is closed
    // however the writing ends.
    explicit IniWriter(FILE* fp) {
        Set(fp);
        m_block.reserve(kBlockSize);
    }

    // Appends the text up to its first NUL, as fputs writes it.
    bool Put(const char* text) { return Put(text, std::strlen(text)); }
    bool Put(const std::string& text) { return Put(text.c_str()); }
    bool Put(const char* text, std::size_t length) {
        if (m_block.size() + length > kBlockSize && !WriteBlock()) {
            return false;
        }
        if (length > kBlockSize) {
            return qelcfg::detail::SysWrite(text, length, Stream()) == length;
        }
        m_block.append(text, length);
        return true;
    }
    bool EndLine() { return Put("\r\n", 2); }

    // Writes what is gathered, flushes, cuts a regular file after what was written (unless
    // it appends), optionally forces the text to the disk, and closes the stream. True only
    // when all succeeded.
    bool Finish(bool written, bool durable) {
        FILE* fp = Stream();
        bool ok = written && WriteBlock() && qelcfg::detail::SysFlush(fp) == 0 && CutAtPosition(fp);
        if (ok && durable) {
            ok = qelcfg::detail::SysSync(fp) == 0;
        }
        bool closed = CloseStream();
        return ok && closed;
    }

private:
    static constexpr std::size_t kBlockSize = 64 * 1024;

    FILE* Stream() const { return static_cast<FILE*>(GetStream()); }

    bool WriteBlock() {
        bool ok = m_block.empty() || qelcfg::detail::SysWrite(m_block.data(), m_block.size(),
                                                              Stream()) == m_block.size();
        m_block.clear();
        return ok;
    }

    static bool CutAtPosition(FILE* fp) {
        struct stat st;
        if (::fstat(::fileno(fp), &st) != 0 || !S_ISREG(st.st_mode)) {
            return true;
        }
#if !defined(_WIN32)
        int flags = ::fcntl(::fileno(fp), F_GETFL);
        if (flags == -1 || (flags & O_APPEND) != 0) {
            return true;
        }
#endif
        long end = qelcfg::detail::SysTell(fp);
        return end >= 0 && qelcfg::detail::SysTruncate(fp, end) == 0;
    }

    std::string m_block;
};

bool WriteSection(CIniSection& section, IniWriter& out) {
    if (!out.Put("[", 1) || !out.Put(section.GetSectionName()) || !out.Put("]", 1) ||
        !out.EndLine()) {
        return false;
    }
    // Entries are walked by the section's own cursor rather than through the bounded
    // copies of GetNextKV, so keys and values of any length are written whole; the walk
    // leaves the cursor past the last entry, as a bounded walk would.
    section.StartGetKV();
    while (CIniPair* pair = section.GetNextValue()) {
        if (!out.Put(pair->GetKey()) || !out.Put("=", 1) ||
            !out.Put(qelcfg::detail::WholeValueOf(*pair)) || !out.EndLine()) {
            return false;
        }
    }
    return out.EndLine();
}

bool WriteTree(CIni& tree, IniWriter& out) {
    tree.StartGetSection();
    while (CIniSection* section = tree.GetNextSection()) {
        if (!WriteSection(*section, out)) {
            return false;
        }
    }
    return true;
}

// Writes the tree to `fp`, which the writer takes over and closes.
bool WriteTreeTo(FILE* fp, CIni& tree, bool durable) {
    IniWriter out(fp);
    bool written = out.SeekToBegin() && WriteTree(tree, out);
    return out.Finish(written, durable);
}

bool HasLineBreak(const char* text) {
    return text != nullptr && std::strpbrk(text, "\r\n") != nullptr;
}

bool HasLineBreak(const std::string& text) {
    return text.find_first_of("\r\n") != text.npos;
}

bool SectionHasLineBreak(CIniSection& section) {
    if (HasLineBreak(section.GetKey())) {
        return true;
    }
    for (const CIniPair& pair : section) {
        if (HasLineBreak(pair.GetKey()) || HasLineBreak(qelcfg::detail::WholeValueOf(pair))) {
            return true;
        }
    }
    return false;
}

std::string DirectoryOf(const std::string& path) {
    std::string::size_type slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

// A name beside `path` that no other save picks: the process, a counter and the clock.
std::string TemporaryNameFor(const std::string& path) {
    static unsigned long counter = 0;
    unsigned long long tick = static_cast<unsigned long long>(
        std::chrono::steady_clock::now().time_since_epoch().count());
    char suffix[64];
    std::snprintf(suffix, sizeof suffix, ".%ld-%lu-%llx.qelcfg-tmp", static_cast<long>(::getpid()),
                  ++counter, tick & 0xFFFFFFull);
    return path + suffix;
}

}  // namespace

CIniFile::CIniFile() = default;
CIniFile::~CIniFile() = default;
CIniFile::CIniFile(const CIniFile& other) = default;
CIniFile& CIniFile::operator=(const CIniFile& other) = default;
CIniFile::CIniFile(CIniFile&& other) noexcept = default;
CIniFile& CIniFile::operator=(CIniFile&& other) noexcept = default;

bool CIniFile::Open(const char* path, const char* mode) {
    if (!CTxtFile::Open(path, mode)) {
        return false;
    }
    Unload();
    return true;
}

bool CIniFile::Set(void* stream) {
    if (stream != nullptr && stream == GetStream()) {
        return false;
    }
    if (!CTxtFile::Set(stream)) {
        return false;
    }
    Unload();
    return Load();
}

bool CIniFile::Attach(const char* path) {
    if (path == nullptr || !Open(path, "rb")) {
        return false;
    }
    return Load();
}

void CIniFile::Dettach() {
    Close();
    Unload();
}

void CIniFile::Unload() {
    m_cfg.Clear();
}

bool CIniFile::Load() {
    if (GetStream() == nullptr || !SeekToBegin()) {
        return false;
    }
    using qelcfg::detail::ScannedLine;
    std::string scratch;
    CIniSection* current = nullptr;
    bool accept = false;
    bool first = true;
    while (const char* line = GetTextLine(nullptr)) {
        const ScannedLine scanned = qelcfg::detail::ScanLine(line, first);
        first = false;
        switch (scanned.kind) {
            case CIniLineScanner::kCommentedHeader:
                accept = false;
                break;
            case CIniLineScanner::kHeader:
                scratch.assign(scanned.text, scanned.length);
                current = m_cfg.AddSection(scratch.c_str());
                accept = current != nullptr && scanned.length > 0;
                break;
            case CIniLineScanner::kKeyLine:
                if (accept && current != nullptr) {
                    current->AddKV(qelcfg::detail::KeyLineText(scanned, scratch), false);
                }
                break;
            case CIniLineScanner::kBlank:
            case CIniLineScanner::kComment:
                break;
        }
    }
    return !ReadFailed();
}

CIni& CIniFile::GetCfg() {
    return m_cfg;
}

bool CIniFile::GetValue(const char* section, const char* key, char* value) {
    return m_cfg.GetKeyValue(section, key, value);
}

bool CIniFile::Save(void* stream) {
    if (stream == nullptr || stream == GetStream()) {
        return false;
    }
    return WriteTreeTo(static_cast<FILE*>(stream), m_cfg, false);
}

bool CIniFile::Save(const char* path) {
    std::string target;
    if (path == nullptr) {
        if (!IsFileChanged()) {
            return true;
        }
        if (GetFileName() == nullptr) {
            return false;
        }
        target = GetFileName();
        CloseStream();
    } else {
        target = path;
#if defined(_WIN32)
        // Windows replaces no file that a stream holds open, this object's own included.
        FILE* own = static_cast<FILE*>(GetStream());
        if (own != nullptr && qelcfg::detail::SysSameFile(own, path)) {
            CloseStream();
        }
#endif
    }
    if (!SaveToPath(target)) {
        CloseStream();
        return false;
    }
    SetChangeFlag(false);
    return true;
}

// Replaces the file through a complete temporary beside it where that keeps what the
// file is: a regular file with one link. Devices, pipes and files with other hard links
// are written in place, as is a file whose directory takes no new file.
#if defined(_WIN32)
bool CIniFile::SaveToPath(const std::string& path) {
    switch (qelcfg::detail::SysExamine(path.c_str())) {
        case qelcfg::detail::kSysPathMissing:
            return SaveReplacing(path, 0666, false, -1, -1);
        case qelcfg::detail::kSysPathReplaceable:
            return SaveReplacing(path, 0666, true, -1, -1);
        case qelcfg::detail::kSysPathInPlace:
            break;
    }
    return SaveInPlace(path);
}
#else
bool CIniFile::SaveToPath(const std::string& path) {
    std::string target = path;
    struct stat st;
    if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        char* real = ::realpath(path.c_str(), nullptr);
        if (real == nullptr) {
            return SaveInPlace(path);
        }
        target = real;
        std::free(real);
    }
    if (::stat(target.c_str(), &st) != 0) {
        // Only a file that is not there is new; one that cannot be examined keeps what it
        // is by being written in place.
        return errno == ENOENT ? SaveReplacing(target, 0666, false, -1, -1) : SaveInPlace(target);
    }
    if (!S_ISREG(st.st_mode) || st.st_nlink > 1) {
        return SaveInPlace(target);
    }
    return SaveReplacing(target, st.st_mode & 07777, true, static_cast<long>(st.st_uid),
                         static_cast<long>(st.st_gid));
}
#endif

bool CIniFile::SaveInPlace(const std::string& path) {
    FILE* fp = qelcfg::detail::SysOpen(path.c_str(), "w+b");
    return fp != nullptr && WriteTreeTo(fp, m_cfg, false);
}

bool CIniFile::SaveReplacing(const std::string& path, unsigned mode, bool exists, long owner,
                             long group) {
    std::string temp;
    FILE* fp = nullptr;
    for (int attempt = 0; attempt < 16 && fp == nullptr; ++attempt) {
        temp = TemporaryNameFor(path);
        fp = qelcfg::detail::SysCreate(temp.c_str(), mode, exists);
        if (fp == nullptr && errno != EEXIST) {
            break;
        }
    }
    if (fp == nullptr) {
        // A directory that takes no new file may still hold a writable file.
        bool denied = errno == EACCES || errno == EPERM;
        return denied && SaveInPlace(path);
    }
#if !defined(_WIN32)
    if (exists) {
        // Only a privileged process may give the file away; a file left under our own
        // owner is no failure, so the result is not looked at.
        int kept = ::fchown(::fileno(fp), static_cast<uid_t>(owner), static_cast<gid_t>(group));
        static_cast<void>(kept);
    }
#else
    static_cast<void>(owner);
    static_cast<void>(group);
#endif
    bool written = false;
    try {
        written = WriteTreeTo(fp, m_cfg, true);
    } catch (...) {
        // The writer closed the stream on its way out; its half-written file goes too.
        qelcfg::detail::SysRemove(temp.c_str());
        throw;
    }
    if (!written || qelcfg::detail::SysRename(temp.c_str(), path.c_str()) != 0) {
        qelcfg::detail::SysRemove(temp.c_str());
        return false;
    }
    // The new file is complete and in place; a directory that cannot be flushed only
    // leaves the rename to the file system's own schedule.
    qelcfg::detail::SysSyncDir(DirectoryOf(path).c_str());
    return true;
}

bool CIniFile::AddSection(const char* name) {
    if (HasLineBreak(name) || m_cfg.AddSection(name) == nullptr) {
        return false;
    }
    SetChangeFlag(true);
    return Save(static_cast<const char*>(nullptr));
}

bool CIniFile::AddSection(CIniSection& section) {
    if (SectionHasLineBreak(section)) {
        return false;
    }
    m_cfg.AddValue(section, -1);
    SetChangeFlag(true);
    return Save(static_cast<const char*>(nullptr));
}

bool CIniFile::AddValue(const char* section, const char* key, const char* value, bool replace) {
    if (HasLineBreak(section) || HasLineBreak(key) || HasLineBreak(value) ||
        !m_cfg.AddKeyValue(section, key, value, replace)) {
        return false;
    }
    SetChangeFlag(true);
    return Save(static_cast<const char*>(nullptr));
}

bool CIniFile::AddValue(const char* section, const char* line, bool replace) {
    if (HasLineBreak(section) || HasLineBreak(line) || !m_cfg.AddKeyValue(section, line, replace)) {
        return false;
    }
    SetChangeFlag(true);
    return Save(static_cast<const char*>(nullptr));
}

CIniSection* CIniFile::FindSection(const char* name) {
    if (m_cfg.size() > 0) {
        return m_cfg.FindSection(name);
    }
    if (name == nullptr || GetStream() == nullptr || !SeekToBegin()) {
        return nullptr;
    }
    m_fileSection.Clear();
    const std::size_t nameLength = std::strlen(name);
    std::string scratch;
    bool found = false;
    bool accept = false;
    bool first = true;
    while (const char* line = GetTextLine(nullptr)) {
        const qelcfg::detail::ScannedLine scanned = qelcfg::detail::ScanLine(line, first);
        first = false;
        if (scanned.kind == CIniLineScanner::kCommentedHeader) {
            accept = false;
        } else if (scanned.kind == CIniLineScanner::kHeader) {
            if (found) {
                return &m_fileSection;
            }
            accept = scanned.length > 0;
            if (scanned.length == nameLength &&
                std::memcmp(scanned.text, name, scanned.length) == 0) {
                scratch.assign(scanned.text, scanned.length);
                m_fileSection.SetSectionName(scratch.c_str());
                found = true;
            }
        } else if (scanned.kind == CIniLineScanner::kKeyLine && found && accept) {
            m_fileSection.AddKV(qelcfg::detail::KeyLineText(scanned, scratch), false);
        }
    }
    return found && !ReadFailed() ? &m_fileSection : nullptr;
}
