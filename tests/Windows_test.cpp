// What the library does with files on Windows: it replaces a file in one step and keeps
// its attributes, refuses a read-only file and one that another program holds open
// without losing anything, writes "\r\n" as two bytes whatever mode a file was opened
// with, takes its paths as UTF-8, and refuses names that Windows takes for devices.
#include <windows.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <string>

#include "IniEditor.h"
#include "IniFile.h"
#include "TestUtil.h"

namespace {

using qeltest::ListDir;
using qeltest::ReadFile;
using qeltest::TempDir;
using qeltest::WriteFile;

const std::string kOld = "[A]\r\nx=1\r\n\r\n";
const std::string kNew = "[A]\r\nx=1\r\ny=2\r\n\r\n";

std::wstring Wide(const std::string& path) {
    return qeltest::NativePath(path).wstring();
}

// Adds y=2 to the file's section A through an object bound to the file, which saves at once.
bool AddThroughOwnFile(const std::string& path) {
    CIniFile ini;
    return ini.Attach(path.c_str()) && ini.AddValue("A", "y", "2", false);
}

// Writes the text with y=2 added from another object, by path.
bool SaveByPath(const std::string& path) {
    CIniFile ini;
    ini.GetCfg().AddSection("A");
    return ini.GetCfg().AddKeyValue("A", "x", "1", false) &&
           ini.GetCfg().AddKeyValue("A", "y", "2", false) && ini.Save(path.c_str());
}

// Each save, by the object bound to the file and by path, over a file whose attributes are
// kept, a read-only one and one that another program's handle holds open without sharing
// deletion (as the C runtime's fopen opens): the last two are not replaced, lose nothing,
// leave no temporary, and the held one saves once the handle is closed.
TEST(WindowsFiles, ReplacingKeepsAttributesAndRefusesReadOnlyAndHeldFiles) {
    const DWORD kept = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE;
    for (bool (*save)(const std::string&) : {AddThroughOwnFile, SaveByPath}) {
        for (const char* what : {"kept", "read-only", "held"}) {
            SCOPED_TRACE(what);
            TempDir dir;
            const std::string path = dir.File("a.ini");
            WriteFile(path, kOld);
            const std::string w = what;
            ASSERT_TRUE(::SetFileAttributesW(Wide(path).c_str(), w == "kept" ? kept
                                                                 : w == "read-only"
                                                                     ? FILE_ATTRIBUTE_READONLY
                                                                     : FILE_ATTRIBUTE_NORMAL));
            HANDLE other = w != "held"
                               ? INVALID_HANDLE_VALUE
                               : ::CreateFileW(Wide(path).c_str(), GENERIC_READ,
                                               FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
            EXPECT_EQ(save(path), w == "kept");
            EXPECT_EQ(ReadFile(path), w == "kept" ? kNew : kOld);
            EXPECT_EQ(::GetFileAttributesW(Wide(path).c_str()) &
                          (w == "kept" ? kept : FILE_ATTRIBUTE_READONLY),
                      w == "kept"        ? kept
                      : w == "read-only" ? FILE_ATTRIBUTE_READONLY
                                         : 0u);
            EXPECT_EQ(ListDir(dir.Path()), "a.ini\n");
            ::SetFileAttributesW(Wide(path).c_str(), FILE_ATTRIBUTE_NORMAL);
            if (other != INVALID_HANDLE_VALUE) {
                ::CloseHandle(other);
                EXPECT_TRUE(save(path) && ReadFile(path) == kNew);
            }
        }
    }
}

// A second link to the file stays a link of the same file: it is written in place. A name
// that Windows takes for a device, in any spelling, is refused (EINVAL) for saves, edits and
// Attach, and nothing is made; a device named in the device namespace is written.
TEST(WindowsFiles, AFileOfTwoLinksIsWrittenInPlaceAndADeviceOnlyByItsDeviceName) {
    TempDir dir;
    const std::string path = dir.File("a.ini");
    WriteFile(path, kOld);
    ASSERT_TRUE(::CreateHardLinkW(Wide(dir.File("b.ini")).c_str(), Wide(path).c_str(), nullptr));
    EXPECT_TRUE(SaveByPath(path));
    EXPECT_EQ(ReadFile(dir.File("b.ini")), kNew) << "both links see the new text";
    for (const char* name :
         {"NUL", "aux.ini", "Con .txt", "com1.ini", "LPT9", "conout$", "prn.tar.gz", "AUX.ini "}) {
        SCOPED_TRACE(name);
        CIniFile ini;
        CIniEditor editor;
        ini.GetCfg().AddSection("A");
        errno = 0;
        EXPECT_FALSE(ini.Save(dir.File(name).c_str()));
        EXPECT_EQ(errno, EINVAL);
        EXPECT_FALSE(editor.Read(dir.File(name).c_str(), true));
        EXPECT_FALSE(ini.Attach(dir.File(name).c_str()));
    }
    EXPECT_EQ(ListDir(dir.Path()), "a.ini\nb.ini\n");
    CIniFile ini;
    ini.GetCfg().AddSection("A");
    EXPECT_TRUE(ini.Save("\\\\.\\NUL"));
}

// Paths are UTF-8, also those of letters beyond any ANSI code page ("Grüße-日本.ini"); a
// path that is not UTF-8 is refused.
TEST(WindowsFiles, PathsAreUtf8) {
    TempDir dir;
    const std::string path = dir.File("Gr\u00FC\u00DFe-\u65E5\u672C.ini");
    WriteFile(path, kOld);
    EXPECT_TRUE(AddThroughOwnFile(path) && SaveByPath(path));
    EXPECT_EQ(ReadFile(path), kNew);
    EXPECT_FALSE(CIniFile().Attach(dir.File("a\xFF.ini").c_str()));
    EXPECT_EQ(ListDir(dir.Path()), "Gr\u00FC\u00DFe-\u65E5\u672C.ini\n");
}

}  // namespace
