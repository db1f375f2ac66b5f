// CIniFile: an INI file bound to a path or a stream, with the configuration tree loaded
// from it, saving of that tree as INI text, and the lookup of one section straight from
// the file.
#ifndef QEL_CFGFILE_INIFILE_H
#define QEL_CFGFILE_INIFILE_H

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

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
    // nothing; a path that cannot be opened leaves the object without stream and name, so
    // the adds and Save() that follow return false and leave the file alone.
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
    // only once the new text is complete on disk: a symbolic link is followed once, the
    // owner, group and mode are kept, files with other links, devices and pipes are written
    // in place, "/dev/stdout" and "/dev/fd/N" through their descriptor, and the writers'
    // advisory lock (flock) is taken meanwhile (waiting at most 10 s for another writer).
    // With a null path: writes to this object's file name when the change flag is set
    // (true at once when it is clear), closing this object's stream first. Clears the
    // change flag on success. A save to this object's own file, by a null path or by its
    // name, fails with errno ESTALE when another writer changed the file since this object
    // opened it or last saved it, so that no update of theirs is lost; the tree and the
    // change flag are kept.
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

    // Save(static_cast<const char*>(nullptr)): writes the tree to this object's own file
    // when the change flag is set (true at once when it is clear).
    //   ini.GetCfg().AddSection("Extra"); ini.SetChangeFlag(true); ini.Save();
    bool Save();
    // The tree, read-only.
    //   const CIni& tree = std::as_const(ini).GetCfg();
    const CIni& GetCfg() const;
    // GetValue into `value` of `size` bytes; no 512-character limit. False, `value` holding
    // "" (size 0: untouched), for null names, a missing section or key, or a value too long.
    //   char v[64]; if (ini.GetValue("Display", "Size", v, sizeof v)) use(v);
    bool GetValue(const char* section, const char* key, char* value, std::size_t size) const;
    // FindSection with the name as a view: from the tree, or from the file while the tree
    // is empty, as FindSection(const char*) does.
    //   CIniSection* display = ini.FindSection(std::string("Display"));
    CIniSection* FindSection(std::string_view name);
    // AddSection with the name as a view; false, nothing changed, when it holds a NUL.
    //   ini.AddSection(std::string("Extra"));
    bool AddSection(std::string_view name);
    // AddValue(section, key, value, replace) with views; false, nothing changed, when a
    // text holds a NUL.
    //   ini.AddValue(std::string("Display"), "Depth", std::to_string(32), true);
    bool AddValue(std::string_view section, std::string_view key, std::string_view value,
                  bool replace);

    // The tree as a save writes it, as one string (moving the cursors as a save does).
    //   std::string text = ini.GetText();
    std::string GetText();

private:
    CIni m_cfg;
    CIniSection m_fileSection;
    // The bound file as this object opened it or last saved it, to tell whether another
    // writer changed it since.
    struct CFileStamp;
    std::shared_ptr<const CFileStamp> m_stamp;
};

#endif  // QEL_CFGFILE_INIFILE_H
