// CIniEditor: changes single entries of an INI file in the file's own text and keeps every
// other byte as it stands: comments, blank lines, the lines the reader drops, order,
// spacing, case, line ends (LF, CR LF or mixed) and a missing final line end.
#ifndef QEL_CFGFILE_INIEDITOR_H
#define QEL_CFGFILE_INIEDITOR_H

#include <chrono>
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include "Export.h"
#include "IniLineReader.h"

class CIni;

// The continuation lines of other INI readers, which this library's reader does not have:
// Python's configparser (and so setuptools, tox, pytest and mypy) continues a value on
// each line indented deeper than the line of its key, and blank lines and comment lines
// ("#", ";") inside the value do not end it; systemd and others continue a value that ends
// in "\" on the next line, unless that line is blank. A header never continues a value.
class QELCFG_API CIniContinuation {
public:
    // Fed every line of a file in order, as CIniLineReader::Read classified it: the index of
    // the line whose value `line` continues for those readers, or -1 when it continues none.
    //   CIniLineReader r; CIniContinuation c; int of = c.Continues(r.Read(text));
    int Continues(const CIniLineReader::Line& line);

private:
    int m_value = -1;          // the line whose value deeper lines continue
    std::size_t m_indent = 0;  // its indentation
    bool m_backslash = false;  // the last line of that value ends in "\"
};

// Sections and keys are the ones that CIniFile's lookups find: the first section of a name,
// and in it the first key of a name that the reader takes. A line that continues a value
// for other readers (CIniContinuation) belongs to that value for every edit, also where
// this library's reader takes it as a key line of its own (`unittest2>=1.1.0` under
// `deps =`): a new key goes after the value, and a key is set or removed with the lines
// that continue it, so those readers read the intended change and nothing else. Every
// edit works on the text in memory; Save writes it back at once, through a complete new
// file put in place of the old one (in place for devices and hard-linked files, as
// CIniFile::Save does).
//
// An editor that reads a file for editing holds it open, with the writers' advisory lock,
// from the read to the save, so that writers using this library (qelcfg included) take
// turns and none loses another's update. A save checks that the file is still the one read,
// unchanged; when another program changed it, the save fails (errno ESTALE) and the caller
// reads it again and edits again. The lock never keeps readers out, and a process that may
// only read the file can take it too: a lock still held after the lock wait is gone on
// without, the check at the save then guarding the file.
class QELCFG_API CIniEditor {
public:
    CIniEditor();
    ~CIniEditor();
    // A copy takes the text, the binding and the state of the file read, not the lock: its
    // own Save locks again and writes only while the file is as the original read it.
    CIniEditor(const CIniEditor& other);
    CIniEditor& operator=(const CIniEditor& other);
    CIniEditor(CIniEditor&& other) noexcept;
    CIniEditor& operator=(CIniEditor&& other) noexcept;

    // Reads the file `path` whole for editing and binds the editor to it, holding it locked
    // until Close, the next Read or View, or the editor's end. With `mayBeMissing`, a
    // missing file reads as the empty text, and Save creates it (failing with ESTALE when
    // another process created it meanwhile). False, with the editor empty and unbound and
    // errno set, when the file cannot be read.
    //   CIniEditor ed; if (ed.Read("app.ini")) ed.SetValue("Display", "Depth", "32");
    bool Read(const char* path, bool mayBeMissing = false);
    // Reads the file `path` whole only to look at it: no lock, no binding, any bytes.
    // False, with the editor empty and errno set, when it cannot be read.
    bool View(const char* path);
    // Lets go of the bound file and its lock; the text stays.
    void Close();
    // How long Read and Save wait for another writer's lock before going on without it
    // (10 s unless set).   ed.SetLockWait(std::chrono::seconds(2));
    void SetLockWait(std::chrono::milliseconds wait) { m_wait = wait; }
    // Takes `text` as the file's contents; the binding stays. False for a lone CR, and
    // then nothing changes.   ed.SetText("[A]\nk=1\n");
    bool SetText(std::string_view text);
    // Replaces the whole text by `text` as an edit, which Save then writes when it differs.
    bool ReplaceText(std::string_view text);
    // False, with errno EILSEQ, when the text holds a CR that no LF follows: the reader ends
    // that line at the CR, and a line edit would take it otherwise, so every line edit
    // below refuses such a text.
    bool TakesLineEdits() const;
    // The text as it stands after the edits.
    const std::string& GetText() const { return m_text; }
    // The bound file's path, or null.
    const char* GetFileName() const { return m_bound ? m_path.c_str() : nullptr; }
    // True once an edit has changed the text since it was read, set or saved.
    bool IsChanged() const { return m_changed; }

    // Copies the whole value (the items joined by ",", of any length) of the key into
    // `value`. False, leaving `value` alone, when the section or the key is not there.
    //   std::string v; ed.GetValue("Display", "Size", v);
    bool GetValue(const char* section, const char* key, std::string& value) const;
    // True when a section of that name is in the text.
    bool HasSection(const char* name) const;
    // Copies the key's value as the file holds it into `value`: the text after the "=" of its
    // line, blanks at its ends trimmed, inner spacing kept. `continues`, when not null, tells
    // whether other readers continue the value on the lines after it. False, leaving both
    // alone, when the key is not there.
    //   std::string v; ed.GetWrittenValue("Desktop Entry", "Name[da]", v);
    bool GetWrittenValue(const char* section, const char* key, std::string& value,
                         bool* continues = nullptr) const;
    // Appends to `tree` the sections that loading builds from the text (with `section`, the
    // first one of that name alone), each entry's whole value as GetWrittenValue gives it
    // rather than the join of its items; the items are loading's. The text stays.
    void FillTree(CIni& tree, const char* section = nullptr) const;

    // Gives the key a new value in its own line: what stands up to the "=" and the blanks
    // after it is kept, and the lines that continue the old value go. False when the key is
    // not there or a text is refused (below). A value equal to the one that stands changes
    // nothing.
    bool SetValue(const char* section, const char* key, const char* value);
    // Adds the line key "=" value after the last line that the section takes and the lines
    // that continue its value (after the header when it takes none), indented as that key
    // line is. False when the section is not there or a text is refused.
    bool AddKey(const char* section, const char* key, const char* value);
    // Adds a header line at the end, after one blank line unless the text ends in one or is
    // empty. False for a refused name; a second section of a name is allowed.
    bool AddSection(const char* name);
    // Sets the key as SetValue does when it is there; otherwise adds it as AddKey does, after
    // adding its section as AddSection does when that is missing. False for a refused text.
    bool SetOrAdd(const char* section, const char* key, const char* value);
    // Adds to the key's value each comma-separated item of `items` that it does not hold yet
    // and writes the value as its items joined by ","; a missing key (or section) is added
    // holding those items, each once. False for a refused text.
    bool AddItems(const char* section, const char* key, const char* items);
    // Removes from the key's value the first of each item of `items` that it holds and
    // writes the rest joined by ",". False, nothing changed, when the key is not there or
    // holds none of them.
    bool RemoveItems(const char* section, const char* key, const char* items);
    // Removes the key's line and the lines that continue its value. False when the key is
    // not there.
    bool RemoveKey(const char* section, const char* key);
    // Removes the section's header and every line up to the next header. False when the
    // section is not there.
    bool RemoveSection(const char* name);

    // Writes each header and each key line that a section takes as a save writes them
    // ("[name]", key "=" its items joined by ",") and removes the lines the reader drops;
    // comments, blank lines, a byte-order mark and each line's end stay, or with `crlf`
    // every line end becomes CR LF.
    void Normalize(bool crlf);

    // Refused texts, which the file format cannot carry as given: a null text; a line break;
    // an empty section name or key; a key holding "=", with blanks at either end, or
    // beginning with "#" or "["; a value with blanks at either end, which no reader gives
    // back. Commas and blanks inside a value are kept as given.
    static bool IsValidSectionName(const char* name);
    static bool IsValidKey(const char* key);
    static bool IsValidValue(const char* value);

    // Writes the text to the bound file, if an edit changed it. True when the file holds the
    // text afterwards; false, with errno set, without a bound file, when the file changed
    // since it was read (ESTALE), or when the write fails; the file is then as it was.
    bool Save();
    // Writes the text to `path`, changed or not, and leaves the binding as it is. A path
    // that leads to the bound file is written as Save writes it.
    bool SaveAs(const char* path);

private:
    struct Place;
    QELCFG_LOCAL Place Locate(const char* section, const char* key) const;
    QELCFG_LOCAL std::string NewLineEnd(std::size_t before) const;
    QELCFG_LOCAL void InsertLine(std::size_t at, const std::string& line);
    QELCFG_LOCAL void EraseLines(std::size_t begin, std::size_t end);
    QELCFG_LOCAL bool WriteBound();

    struct Binding;
    std::string m_path;
    std::string m_text;
    bool m_bound = false;
    bool m_changed = false;
    std::chrono::milliseconds m_wait{10000};
    std::unique_ptr<Binding> m_binding;
};

#endif  // QEL_CFGFILE_INIEDITOR_H
