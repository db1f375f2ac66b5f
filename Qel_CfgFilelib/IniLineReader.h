// CIniLineReader: the INI text format as the reader applies it, written once and used by
// everything that reads INI text: loading a file, reading one section straight from a
// file, and tools that need to know what a line of an INI file is and what becomes of it.
#ifndef QEL_CFGFILE_INILINEREADER_H
#define QEL_CFGFILE_INILINEREADER_H

#include <cstddef>

#include "Export.h"

// Fed the lines of one file in order, each without its line end, it tells for each what it
// is and whether a section takes it.
class QELCFG_API CIniLineReader {
public:
    enum LineKind {
        kBlank,            // empty, or blanks only
        kComment,          // "#..."
        kCommentedHeader,  // "#[...]": refuses key lines up to the next header
        kHeader,           // "[name]"
        kKeyLine,          // anything else that holds "="
        kNoEquals,         // anything else: no section can take it
    };

    // What becomes of a key line (or a line without "="): taken by the section of the
    // last header, or refused, and why.
    enum Intake {
        kTaken,
        kBeforeFirstHeader,
        kAfterEmptyHeader,
        kAfterCommentedHeader,
        kAfterRefusedHeader,  // the section of the last header could not be added
    };

    struct Line {
        int index = -1;               // from 0, as the line edits count lines
        const char* bytes = nullptr;  // the line as it was read
        LineKind kind = kBlank;
        // A header: the name between its brackets, exactly as it stands. A key line or a
        // line without "=": the line from its first character up to its trailing blanks.
        const char* text = nullptr;
        std::size_t length = 0;
        // A key line: the key before the first "=", trimmed, and the value text after it.
        const char* key = nullptr;
        std::size_t keyLength = 0;
        const char* value = nullptr;
        std::size_t valueLength = 0;
        // Key lines and lines without "=": what becomes of them. Other lines: what becomes
        // of the key lines after them.
        Intake intake = kBeforeFirstHeader;
        // A line taken: the index of the header whose section takes it; otherwise -1.
        int header = -1;
    };

    // Classifies the next line of the file (NUL-terminated, without its line end): trims it
    // of spaces and tabs and sorts it by the first rule that applies. A UTF-8 byte-order
    // mark at the very start of the first line is passed over. The result, which points
    // into `bytes`, stays valid until the next call.
    const Line& Read(const char* bytes);

    // Tells the reader that the section of the header just read could not be added: the
    // key lines after it are refused up to the next header.
    void RefuseSection();

private:
    Line m_line;
    Intake m_intake = kBeforeFirstHeader;
    int m_header = -1;
};

#endif  // QEL_CFGFILE_INILINEREADER_H
