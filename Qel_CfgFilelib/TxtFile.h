// _CFG::CTxtFile: a text file read one line at a time, searched by prefix or key,
// written with "\r\n" line ends, and edited line by line through a "~tmp" copy.
#ifndef QEL_CFGFILE_TXTFILE_H
#define QEL_CFGFILE_TXTFILE_H

#include <cstdio>
#include <memory>

#include "Export.h"

namespace _CFG {

// A text file bound to a path or to a stream handed over ready-made. Copies share the
// stream and its position; the stream is closed when the last object holding it lets go.
// Each object keeps its own copy of the file name and its own line buffer.
class QELCFG_API CTxtFile {
public:
    // No stream, no name, no line buffer.
    CTxtFile();
    // Takes over the open FILE `stream` (a null one leaves the object without a stream).
    explicit CTxtFile(void* stream);
    // Opens `path` with `mode` as Open does; a failure shows when reading fails.
    CTxtFile(const char* path, const char* mode);
    // Shares the source's stream and copies its name, line buffer and flags.
    // Throws std::bad_alloc when the copies cannot be allocated.
    CTxtFile(const CTxtFile& other);
    // Releases what this object held, then shares and copies as the copy constructor does.
    // Throws std::bad_alloc, leaving this object unchanged, when the copies cannot be made.
    CTxtFile& operator=(const CTxtFile& other);
    // Takes over everything the source held; the source is left without stream, name or buffer.
    CTxtFile(CTxtFile&& other) noexcept;
    // Releases what this object held, then takes over the source as the move constructor does.
    CTxtFile& operator=(CTxtFile&& other) noexcept;

    // Lets go of the stream (closing it when no copy holds it), the name and the line buffer.
    virtual ~CTxtFile();
    // Closes what is open, opens `path` with `mode` and keeps a copy of `path` as the file
    // name only when that succeeds: a failure leaves no name, so nothing is saved to it.
    // Returns true when the file is open. A null `mode` fails like a failed fopen.
    virtual bool Open(const char* path, const char* mode);
    // Lets go of the stream, forgets the file name and clears the change flag.
    // The line buffer stays, so line pointers handed out before remain readable.
    virtual void Close();
    // Lets go of the current stream and takes over `stream`; the name stays.
    // Returns whether `stream` is not null. The stream already held is kept as it is.
    virtual bool Set(void* stream);
    // Moves to the start of the stream. Returns whether the seek succeeded.
    virtual bool SeekToBegin();
    // Moves to the end of the stream. Returns whether the seek succeeded.
    virtual bool SeekToEnd();
    // Moves as fseek(stream, offset, origin) does. Returns whether the seek succeeded.
    virtual bool Seek(long offset, int origin);
    // Reads forward to the first line beginning with `prefix` and returns its index counted
    // from the position at the call (-1 without a stream or on a read failure). Copies the
    // line into `line` unless null: `line` must have room for the longest line of the file.
    virtual int SeekToLine(const char* prefix, char* line);
    // Stores `changed` in the change flag and returns its previous value.
    virtual bool SetChangeFlag(bool changed);
    // Returns the change flag.
    virtual bool IsFileChanged() const;
    // Rewinds and returns line `index` (0 is the first), or null when there is none.
    virtual const char* ReadTextLine(int index);
    // Rewrites the file without line `index`: the edited text goes to "NAME~tmp", is synced,
    // and then replaces the file as a save does (atomically for a regular file with one
    // link), but only while NAME still leads to the file read, unchanged since the edit
    // began (errno ESTALE otherwise); the object then holds a read-write stream at the end
    // of the new file. Returns true only when the file was rewritten completely; on false
    // the file is as it was, or "NAME~tmp" holds the text.
    virtual bool RemoveTextLine(int index);
    // Rewrites the file with `text` after line `index` (first when negative, last when past
    // the end), as RemoveTextLine rewrites it. A stream opened for reading only or for
    // appending is refused (false, nothing touched).
    virtual bool InsertTextLine(int index, const char* text, bool lineEnd);
    // Returns the next line; with a `skip` set, the next line that has text after its leading
    // `skip` characters, from its first other character. Null at the end or on a failure.
    virtual const char* GetTextLine(char* skip);
    // Returns the next line from GetTextLine(skip) that holds `key` at `offset`: as a prefix
    // when `prefixMatch`, else as the whole rest, ignoring ASCII case. Null when none.
    virtual const char* GetKeyLine(char* key, char* skip, int offset, bool stopAtMismatch,
                                   bool prefixMatch);
    // Writes `text` at the stream's position, then "\r\n" when `lineEnd`.
    // Returns false when there is no stream, `text` is null or a write fails.
    virtual bool WriteText(const char* text, bool lineEnd);
    // Copies the file name and then `suffix` into `out` of `size` bytes. Returns `out`, or
    // null when there is no name or it does not fit (`out` then holds at most the name).
    virtual const char* GetTempleFileName(const char* suffix, char* out, int size);

    // As SeekToLine(prefix, line), but returns -1 and copies nothing when the line with its
    // NUL needs more than `capacity` bytes; the stream still stands after that line.
    int SeekToLine(const char* prefix, char* line, int capacity);

protected:
    // Reads the next line into the line buffer without its line end. Returns false at the
    // end of the file and on a failure; ReadFailed tells the two apart.
    virtual bool ReadLine();
    // Clears the change flag and releases the line buffer; the stream and the name stay.
    virtual void Clear();

    // True when the last ReadLine returned false for any reason other than the end of the
    // file: no stream, a read error or a failed allocation.
    bool ReadFailed() const { return m_readFailed; }
    // The stored file name, or null.
    const char* GetFileName() const { return m_fileName; }
    // The FILE held, or null.
    void* GetStream() const;
    // Lets go of the stream as Close does, leaving the name and the change flag. Returns
    // false only when this object was its last holder and fclose failed.
    bool CloseStream();

private:
    struct CStreamHold;
    class CWrittenBack;
    struct CEditStart;

    QELCFG_LOCAL std::FILE* Stream() const;
    QELCFG_LOCAL bool AdoptStream(std::FILE* fp);
    QELCFG_LOCAL void ReleaseAll();
    QELCFG_LOCAL void TakeOver(CTxtFile& other) noexcept;
    QELCFG_LOCAL bool GrowBuffer(int length);
    QELCFG_LOCAL bool FinishAtEnd(bool haveText);
    QELCFG_LOCAL bool SkipRestOfLine(int keep);
    QELCFG_LOCAL int FindPrefixLine(const char* prefix);
    QELCFG_LOCAL bool HoldsInBuffer(const char* text) const;
    QELCFG_LOCAL bool OpenTempFile(CTxtFile& temp);
    QELCFG_LOCAL bool CopyWithout(CTxtFile& temp, int index);
    QELCFG_LOCAL bool CopyWithInsert(CTxtFile& temp, int index, const char* text, bool lineEnd);
    QELCFG_LOCAL bool FlushAndRewind();
    QELCFG_LOCAL bool ReplaceByCopy(CTxtFile& temp, const CEditStart& start);
    QELCFG_LOCAL bool WriteLinesTo(std::FILE* fp, CTxtFile& temp);

    bool m_changed = false;
    std::shared_ptr<CStreamHold> m_stream;
    char* m_fileName = nullptr;
    char* m_buffer = nullptr;
    int m_bufferSize = 0;
    int m_lineMarker = -2;
    bool m_readFailed = false;
};

}  // namespace _CFG

#endif  // QEL_CFGFILE_TXTFILE_H
