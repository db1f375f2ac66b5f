// CIniFile: an INI file bound to a path or a stream, with the configuration tree loaded
// from it, saving of that tree as INI text, and the lookup of one section straight from
// the file.
#ifndef QEL_CFGFILE_INIFILE_H
#define QEL_CFGFILE_INIFILE_H

#include <string>

#include "Export.h"
#include "Ini.h"
#include "IniSection.h"
#include "TxtFile.h"

class QELCFG_API CIniFile : public _CFG::CTxtFile {
public:
    // No stream, no file name, change flag clear, an empty tree and an empty file section.
    CIniFile();
    // Closes the stream when this object is its last holder; destroys the tree.
    ~CIniFile() override;
    // Copies share the stream (and its position) with the source; name, line buffer,
    // tree and file section are copied in full.
    CIniFile(const CIniFile& other);
    CIniFile& operator=(const CIniFile& other);
    // The moved-from object is unbound, without a name, with an empty tree.
    CIniFile(CIniFile&& other) noexcept;
    CIniFile& operator=(CIniFile&& other) noexcept;

    // Closes the earlier stream and opens `path` with `mode` without loading. On success
    // empties the tree and returns true; on failure the tree stays as it was.
    bool Open(const char* path, const char* mode) override;
    // Takes over `stream` (closing the earlier one; the file name stays), empties the tree
    // and loads it. A null stream gives false with the tree unchanged; the stream this
    // object already holds gives false and changes nothing.
    bool Set(void* stream) override;

    // Opens `path` for reading ("rb") and loads it. A null path gives false and changes
    // nothing.
    bool Attach(const char* path);
    // Closes the stream, forgets the file name, clears the change flag and empties the
    // tree; unsaved changes are dropped.
    void Dettach();
    // Empties the tree (sections, count and cursor); stream, name, change flag and the
    // file section stay.
    void Unload();
    // Reads the bound stream from its beginning and appends what it holds to the tree.
    // False without a stream, when it cannot be rewound, or when a read fails (what was
    // read stays in the tree). Leaves the change flag alone.
    bool Load();

    // The tree, for direct queries and changes; changes made there do not set the change
    // flag.
    CIni& GetCfg();
    // Copies the whole value of `key` in the first section `section` of the tree into
    // `value` (513 bytes). False for null names, a missing section or key, or a whole
    // value over 512 characters. Never reads the file.
    bool GetValue(const char* section, const char* key, char* value);

    // Writes the tree as INI text to `stream` (a FILE*) from its beginning and closes the
    // stream. A regular file is cut after what was written. False for a null stream (left
    // open), for the stream this object holds (left untouched) or when a write fails.
    bool Save(void* stream);
    // With a path: writes the tree to that file whatever the change flag, replacing it
    // only once the new text is complete on disk. With a null path: writes to this
    // object's file name when the change flag is set (true at once when it is clear),
    // closing this object's stream first. Clears the change flag on success.
    bool Save(const char* path);

    // Appends an empty section `name`, sets the change flag and saves to this object's
    // file. False, with nothing changed, for a null name or one holding CR or LF.
    bool AddSection(const char* name);
    // Appends a copy of `section` with all its entries, sets the change flag and saves.
    // False, with nothing changed, when its name or an entry holds CR or LF.
    bool AddSection(CIniSection& section);
    // Adds `key`=`value` to the first section `section` of the tree (replacing the first
    // entry of that key when `replace` is true), sets the change flag and saves. False,
    // with nothing changed, when the tree refuses or a text holds CR or LF.
    bool AddValue(const char* section, const char* key, const char* value, bool replace);
    // As above with a key line "key=value".
    bool AddValue(const char* section, const char* line, bool replace);

    // With sections in the tree: the tree's first section `name`, or null. With an empty
    // tree: reads the bound file from its beginning and collects the first section of that
    // exact name into the file section, which is returned (null when the file holds no
    // such header, on a null name, without a stream, or when a read fails).
    CIniSection* FindSection(const char* name);

private:
    CIni m_cfg;
    CIniSection m_fileSection;
};

#endif  // QEL_CFGFILE_INIFILE_H
