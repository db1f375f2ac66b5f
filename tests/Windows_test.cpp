// What the library does with files on Windows: it replaces a file in one step and keeps
// its attributes, refuses a read-only file and one that another program holds open
// without losing anything, writes "\r\n" as two bytes whatever mode a file was opened
// with, and takes its paths as UTF-8.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

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

DWORD AttributesOf(const std::string& path) {
    return ::GetFileAttributesW(Wide(path).c_str());
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

struct SaveCase {
    const char* name;
    bool (*save)(const std::string& path);
};
const SaveCase kSaves[] = {{"AddValue", AddThroughOwnFile}, {"Save(path)", SaveByPath}};

TEST(WindowsFiles, ReplacingKeepsTheAttributesAndLeavesNoTemporary) {
    for (const SaveCase& c : kSaves) {
        TempDir dir;
        const std::string path = dir.File("a.ini");
        WriteFile(path, kOld);
        const DWORD kept = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE;
        ASSERT_TRUE(::SetFileAttributesW(Wide(path).c_str(), kept));
        EXPECT_TRUE(c.save(path)) << c.name;
        EXPECT_EQ(ReadFile(path), kNew) << c.name;
        EXPECT_EQ(AttributesOf(path) & (kept | FILE_ATTRIBUTE_READONLY), kept) << c.name;
        EXPECT_EQ(ListDir(dir.Path()), "a.ini\n") << c.name;
    }
}

TEST(WindowsFiles, AReadOnlyFileIsNotReplaced) {
    for (const SaveCase& c : kSaves) {
        TempDir dir;
        const std::string path = dir.File("a.ini");
        WriteFile(path, kOld);
        ASSERT_TRUE(::SetFileAttributesW(Wide(path).c_str(), FILE_ATTRIBUTE_READONLY));
        EXPECT_FALSE(c.save(path)) << c.name;
        EXPECT_EQ(ReadFile(path), kOld) << c.name;
        EXPECT_NE(AttributesOf(path) & FILE_ATTRIBUTE_READONLY, 0u) << c.name;
        EXPECT_EQ(ListDir(dir.Path()), "a.ini\n") << c.name;
        ::SetFileAttributesW(Wide(path).c_str(), FILE_ATTRIBUTE_NORMAL);
    }
}

// Another program's handle that does not share deletion, as the C runtime's fopen opens,
// keeps the file from being replaced: the save fails, the file keeps its text, and the
// same save succeeds once the handle is closed.
TEST(WindowsFiles, AFileThatAnotherHandleHoldsOpenIsNotReplaced) {
    for (const SaveCase& c : kSaves) {
        TempDir dir;
        const std::string path = dir.File("a.ini");
        WriteFile(path, kOld);
        HANDLE other =
            ::CreateFileW(Wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                          nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(other, INVALID_HANDLE_VALUE);
        EXPECT_FALSE(c.save(path)) << c.name;
        ::CloseHandle(other);
        EXPECT_EQ(ReadFile(path), kOld) << c.name;
        EXPECT_EQ(ListDir(dir.Path()), "a.ini\n") << c.name;
        EXPECT_TRUE(c.save(path)) << c.name;
        EXPECT_EQ(ReadFile(path), kNew) << c.name;
    }
}

// A second link to the file, and a device, stay what they are: they are written in place.
TEST(WindowsFiles, AFileOfTwoLinksAndADeviceAreWrittenInPlace) {
    TempDir dir;
    const std::string path = dir.File("a.ini");
    WriteFile(path, kOld);
    ASSERT_TRUE(::CreateHardLinkW(Wide(dir.File("b.ini")).c_str(), Wide(path).c_str(), nullptr));
    EXPECT_TRUE(SaveByPath(path));
    EXPECT_EQ(ReadFile(dir.File("b.ini")), kNew) << "both links see the new text";
    EXPECT_EQ(ListDir(dir.Path()), "a.ini\nb.ini\n");
    CIniFile ini;
    ini.GetCfg().AddSection("A");
    EXPECT_TRUE(ini.Save("NUL"));
}

// A mode without "b", or with "t", would be the runtime's text mode, which writes "\r\n"
// as "\r\r\n".
TEST(WindowsFiles, LineEditsWriteCrLfAsTwoBytesInEveryMode) {
    for (const char* mode : {"r+", "r+b", "r+t"}) {
        TempDir dir;
        const std::string path = dir.File("f.txt");
        WriteFile(path, "a\r\nb\n");
        _CFG::CTxtFile file(path.c_str(), mode);
        EXPECT_TRUE(file.InsertTextLine(0, "x", true)) << mode;
        EXPECT_EQ(ReadFile(path), "a\r\nx\r\nb\r\n") << mode;
        EXPECT_EQ(ReadFile(path + "~tmp"), "a\r\nx\r\nb\r\n") << mode;
        EXPECT_TRUE(file.RemoveTextLine(0)) << mode;
        file.Close();
        EXPECT_EQ(ReadFile(path), "x\r\nb\r\n") << mode;
        EXPECT_EQ(ReadFile(path + "~tmp"), "x\r\nb\r\n") << mode;
    }
}

TEST(WindowsFiles, PathsAreUtf8) {
    TempDir dir;
    // "Grüße-日本.ini": Latin letters beyond ASCII and letters of no ANSI code page.
    const std::string name =
        "Gr\xC3\xBC\xC3\x9F"
        "e-\xE6\x97\xA5\xE6\x9C\xAC.ini";
    const std::string path = dir.File(name);
    WriteFile(path, kOld);
    EXPECT_TRUE(AddThroughOwnFile(path));
    EXPECT_EQ(ReadFile(path), kNew);
    CIniFile ini;
    ASSERT_TRUE(ini.Attach(path.c_str()));
    char value[513];
    EXPECT_TRUE(ini.GetValue("A", "y", value));
    EXPECT_STREQ(value, "2");
    EXPECT_TRUE(ini.RemoveTextLine(1));
    ini.Close();
    EXPECT_EQ(ReadFile(path), "[A]\r\ny=2\r\n\r\n");
    EXPECT_EQ(ListDir(dir.Path()), name + "\n" + name + "~tmp\n");
    EXPECT_FALSE(ini.Attach(dir.File("a\xFF.ini").c_str())) << "not UTF-8";
}

}  // namespace
