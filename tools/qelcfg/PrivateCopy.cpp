#include "PrivateCopy.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#if defined(_WIN32)
#include <io.h>
#include <windows.h>
#endif

#include <cerrno>
#include <cstdlib>
#include <limits>
#include <utility>
#include <vector>

#include "Tool.h"
#include "TxtFile.h"

namespace qeltool {

namespace {

constexpr char kCopyPattern[] = ".qelcfg-XXXXXX";
// The library's line edits work through the edited file's name with this appended.
constexpr char kEditSuffix[] = "~tmp";

// The library's text file with a checked close (a write that fails only when the stream
// is closed is a failed edit), and with the removal of a run of lines in one rewrite:
// RemoveTextLine drops the first line of the run, and the lines after it are hidden from
// its copying pass, which reads through the virtual ReadLine.
class CopyFile : public _CFG::CTxtFile {
public:
    using CTxtFile::CloseStream;

    bool RemoveTextLines(int first, int end) {
        m_next = 0;
        m_first = first;
        m_end = end;
        bool removed = RemoveTextLine(first);
        m_first = m_end = -1;
        return removed;
    }

protected:
    bool ReadLine() override {
        for (;;) {
            bool read = CTxtFile::ReadLine();
            int line = m_next++;
            if (!read || line <= m_first || line >= m_end) {
                return read;
            }
        }
    }

private:
    int m_next = 0;
    int m_first = -1;
    int m_end = -1;
};

class Descriptor {
public:
    explicit Descriptor(int fd) : m_fd(fd) {}
    ~Descriptor() {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int Get() const { return m_fd; }
    // Closes the descriptor; false when the close reports an error.
    bool Close() { return ::close(std::exchange(m_fd, -1)) == 0; }

private:
    int m_fd;
};

mode_t NewFileMode() {
    mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

bool WriteAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

PrivateCopy::PrivateCopy(const LockedFile& source, const std::string& shownName)
    : m_shownName(shownName), m_sourceExists(source.Exists()), m_sourceStat(source.Stat()) {
    try {
        Create(source);
    } catch (...) {
        if (!m_name.empty()) {
            ::unlink(m_name.c_str());
        }
        throw;
    }
}

PrivateCopy::~PrivateCopy() {
    if (!m_installed) {
        ::unlink(m_name.c_str());
    }
    ::unlink((m_name + kEditSuffix).c_str());
}

// The copy stays readable by this process alone (mkstemp's 0600) while it is edited; it
// takes the file's attributes just before it replaces the file.
void PrivateCopy::Create(const LockedFile& source) {
    std::vector<char> name(kCopyPattern, kCopyPattern + sizeof kCopyPattern);
    Descriptor copy(::mkstemp(name.data()));
    if (copy.Get() < 0) {
        FailSystem("cannot make a copy of", m_shownName, errno);
    }
    m_name = name.data();
    if (source.Exists()) {
        CopyBytes(source, copy.Get());
    }
    if (!copy.Close()) {
        FailSystem("cannot make a copy of", m_shownName, errno);
    }
}

void PrivateCopy::CopyBytes(const LockedFile& source, int to) {
    source.ReadAll(m_shownName, [&](const char* data, std::size_t size) {
        m_faults.Feed(data, size);
        if (!WriteAll(to, data, size)) {
            FailSystem("cannot make a copy of", m_shownName, errno);
        }
    });
}

void PrivateCopy::RemoveLines(int first, int end) {
    CopyFile copy;
    errno = 0;
    bool done = copy.Open(m_name.c_str(), "r+b") && copy.RemoveTextLines(first, end);
    int err = errno;
    if (!copy.CloseStream() || !done) {
        FailSystem("cannot edit a copy of", m_shownName, err != 0 ? err : EIO);
    }
}

void PrivateCopy::InsertLine(int index, const std::string& text) {
    CopyFile copy;
    errno = 0;
    bool done = copy.Open(m_name.c_str(), "r+b") && copy.InsertTextLine(index, text.c_str(), true);
    int err = errno;
    if (!copy.CloseStream() || !done) {
        FailSystem("cannot edit a copy of", m_shownName, err != 0 ? err : EIO);
    }
}

// The owner goes first: giving a file away clears its set-user-ID and set-group-ID bits.
// Only a privileged process may give it away; a file left under this process's owner is
// no failure, so that result is not looked at.
void PrivateCopy::TakeOverAttributes() {
    mode_t mode = NewFileMode();
    if (m_sourceExists) {
#if !defined(_WIN32)
        int kept = ::chown(m_name.c_str(), m_sourceStat.st_uid, m_sourceStat.st_gid);
        static_cast<void>(kept);
#endif
        mode = m_sourceStat.st_mode & 07777;
    }
    if (::chmod(m_name.c_str(), mode) != 0) {
        FailSystem("cannot write", m_shownName, errno);
    }
}

void PrivateCopy::AppendLine(const std::string& text) {
    InsertLine(std::numeric_limits<int>::max(), text);
}

#if defined(_WIN32)
// Windows flushes only a file open for writing, which a read-only copy cannot be: the copy
// is flushed before it takes the file's attributes.
void PrivateCopy::Sync() {
    Descriptor fd(::_open(m_name.c_str(), _O_RDWR | _O_BINARY | _O_NOINHERIT));
    if (fd.Get() < 0 || ::_commit(fd.Get()) != 0) {
        FailSystem("cannot write", m_shownName, errno);
    }
}

// The copy moves over the file, written through to the disk; a read-only file or one that
// another program holds open stays as it is. A missing file is only created.
bool PrivateCopy::Install(const std::string& target, bool targetExists) {
    Sync();
    TakeOverAttributes();
    DWORD flags = MOVEFILE_WRITE_THROUGH | (targetExists ? MOVEFILE_REPLACE_EXISTING : 0);
    if (!::MoveFileExA(m_name.c_str(), target.c_str(), flags)) {
        DWORD error = ::GetLastError();
        if (!targetExists && (error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS)) {
            return false;
        }
        FailSystem(targetExists ? "cannot replace" : "cannot create", m_shownName,
                   error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION ? EACCES : EIO);
    }
    m_installed = true;
    return true;
}
#else
void PrivateCopy::Sync() {
    Descriptor fd(::open(m_name.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.Get() < 0 || ::fsync(fd.Get()) != 0) {
        FailSystem("cannot write", m_shownName, errno);
    }
}

bool PrivateCopy::Install(const std::string& target, bool targetExists) {
    TakeOverAttributes();
    Sync();
    if (targetExists) {
        if (::rename(m_name.c_str(), target.c_str()) != 0) {
            FailSystem("cannot replace", m_shownName, errno);
        }
    } else if (::link(m_name.c_str(), target.c_str()) != 0) {
        if (errno == EEXIST) {
            return false;
        }
        FailSystem("cannot create", m_shownName, errno);
    } else {
        ::unlink(m_name.c_str());
    }
    m_installed = true;
    // The new text is in place; a directory that cannot be flushed only leaves the
    // rename to the file system's own schedule.
    Descriptor dir(::open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.Get() >= 0) {
        ::fsync(dir.Get());
    }
    return true;
}
#endif

}  // namespace qeltool
