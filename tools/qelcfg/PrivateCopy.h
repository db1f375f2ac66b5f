// The private copy an edit works on: made beside the file in the working directory with
// the file's permission bits, edited there by the library's line editing, and renamed
// over the file only once complete. Every other way out removes it and the line edits'
// "~tmp" file, so that a failed edit leaves the directory as it found it.
#ifndef QELCFG_TOOL_PRIVATECOPY_H
#define QELCFG_TOOL_PRIVATECOPY_H

#include <sys/stat.h>

#include <string>
#include <vector>

#include "FileAccess.h"
#include "IniLines.h"

namespace qeltool {

class PrivateCopy {
public:
    // Copies the bytes of `source` (none when it does not exist) into a new file of the
    // working directory. Failures name `shownName`.
    PrivateCopy(const LockedFile& source, const std::string& shownName);
    ~PrivateCopy();
    PrivateCopy(const PrivateCopy&) = delete;
    PrivateCopy& operator=(const PrivateCopy&) = delete;

    const std::string& Name() const { return m_name; }
    // Byte faults of the text copied.
    const std::vector<ByteFault>& Faults() const { return m_faults.Faults(); }

    // Removes the lines from `first` up to, not including, `end`.
    void RemoveLines(int first, int end);
    // Inserts `text` as a line after line `index` (first when negative, last when past
    // the end).
    void InsertLine(int index, const std::string& text);
    // Adds `text` as the last line.
    void AppendLine(const std::string& text);

    // Forces the copy to the disk and puts it in place of `target`. A target that did
    // not exist is only created, never replaced: false when one has appeared meanwhile.
    bool Install(const std::string& target, bool targetExists);

private:
    void Create(const LockedFile& source);
    void CopyBytes(const LockedFile& source, int to);
    void TakeOverAttributes();
    void Sync();

    std::string m_shownName;
    std::string m_name;
    bool m_installed = false;
    ByteFaultScanner m_faults;
    bool m_sourceExists = false;
    struct stat m_sourceStat = {};
};

}  // namespace qeltool

#endif  // QELCFG_TOOL_PRIVATECOPY_H
