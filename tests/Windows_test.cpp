// What the library does with files on Windows: it replaces a file in one step and keeps
// its attributes, refuses a read-only file and one that another program holds open
// without losing anything, writes "\r\n" as two bytes whatever mode a file was opened
// with, takes its paths as UTF-8 of any length, refuses names that Windows takes for
// devices, and loses no update of writers working at once.
#include <windows.h>

#include <atomic>
#include <thread>

#include "IniEditor.h"
#include "IniFile.h"
#include "TestUtil.h"
#include "TxtFile.h"

namespace {

using qeltest::ListDir;
using qeltest::ReadFile;
using qeltest::TempDir;
using qeltest::WriteFile;

const std::string kOld = "[A]\r\nx=1\r\n\r\n", kNew = "[A]\r\nx=1\r\ny=2\r\n\r\n";

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

// Inserts the line y=2 after the line x=1; the "~tmp" copy that an edit leaves is taken away.
bool InsertLine(const std::string& path) {
    _CFG::CTxtFile file(path.c_str(), "r+b");
    const bool edited = file.InsertTextLine(1, "y=2", true);
    std::filesystem::remove(qeltest::NativePath(path + "~tmp"));
    return edited;
}

// Each save, by the object bound to the file and by path, and a line edit, over a file whose
// attributes are kept, a read-only one and one that another program's handle holds open
// without sharing deletion (as the C runtime's fopen opens): the last two are not replaced,
// lose nothing, leave no temporary, and the held one saves once the handle is closed.
TEST(WindowsFiles, ReplacingKeepsAttributesAndRefusesReadOnlyAndHeldFiles) {
    const DWORD kept = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE;
    const DWORD readOnly = FILE_ATTRIBUTE_READONLY;
    // The attributes set, those looked at after the save, and what they must be.
    const std::tuple<const char*, DWORD, DWORD, DWORD> cases[] = {
        {"kept", kept, kept, kept},
        {"read-only", readOnly, readOnly, readOnly},
        {"held", FILE_ATTRIBUTE_NORMAL, readOnly, 0}};
    for (bool (*save)(const std::string&) : {AddThroughOwnFile, SaveByPath, InsertLine}) {
        for (const auto& [what, set, looked, want] : cases) {
            SCOPED_TRACE(what);
            TempDir dir;
            const std::string path = WriteFile(dir.File("a.ini"), kOld), w = what;
            ASSERT_TRUE(::SetFileAttributesW(Wide(path).c_str(), set));
            HANDLE other = w != "held"
                               ? INVALID_HANDLE_VALUE
                               : ::CreateFileW(Wide(path).c_str(), GENERIC_READ,
                                               FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
            EXPECT_EQ(save(path), w == "kept");
            EXPECT_EQ(ReadFile(path), w == "kept" ? kNew : kOld);
            EXPECT_EQ(::GetFileAttributesW(Wide(path).c_str()) & looked, want);
            EXPECT_EQ(ListDir(dir.Path()), "a.ini\n");
            ::SetFileAttributesW(Wide(path).c_str(), FILE_ATTRIBUTE_NORMAL);
            if (other != INVALID_HANDLE_VALUE) {
                ::CloseHandle(other);
                EXPECT_TRUE(save(path));
                EXPECT_EQ(ReadFile(path), kNew);
            }
        }
    }
}

// A second link to the file stays a link of the same file: it is written in place, and the
// text that a killed in-place write left in "~new" is written into the file before it is
// read. A name that Windows takes for a device, in any spelling, is refused (EINVAL) for
// saves, edits and Attach, and nothing is made; a device named in the device namespace is
// written.
TEST(WindowsFiles, AFileOfTwoLinksIsWrittenInPlaceAndADeviceOnlyByItsDeviceName) {
    TempDir dir;
    const std::string path = WriteFile(dir.File("a.ini"), kOld);
    ASSERT_TRUE(::CreateHardLinkW(Wide(dir.File("b.ini")).c_str(), Wide(path).c_str(), nullptr));
    EXPECT_TRUE(SaveByPath(path));
    EXPECT_EQ(ReadFile(dir.File("b.ini")), kNew) << "both links see the new text";
    WriteFile(path, "torn");
    WriteFile(path + "~new", kOld);
    CIniEditor finished;
    EXPECT_TRUE(finished.Read(path.c_str()));
    EXPECT_EQ(finished.GetText(), kOld);
    EXPECT_EQ(ReadFile(dir.File("b.ini")), kOld);
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

// Paths are UTF-8, also those of letters beyond any ANSI code page ("Grüße-日本.ini"), and
// of any length: a name of 230 bytes, in a path longer than MAX_PATH, saves too. A path that
// is not UTF-8 is refused.
TEST(WindowsFiles, PathsAreUtf8OfAnyLength) {
    for (const std::string& name :
         {std::string("Gr\u00FC\u00DFe-\u65E5\u672C.ini"), std::string(226, 'n') + ".ini"}) {
        SCOPED_TRACE(name.size());
        TempDir dir;
        const std::string path = WriteFile(dir.File(name), kOld);
        EXPECT_TRUE(AddThroughOwnFile(path));
        EXPECT_TRUE(SaveByPath(path));
        EXPECT_EQ(ReadFile(path), kNew);
        EXPECT_FALSE(CIniFile().Attach(dir.File("a\xFF.ini").c_str()));
        EXPECT_EQ(ListDir(dir.Path()), name + "\n");
    }
}

constexpr int kUpdates = 15;

// One writer's updates: those begun so far, and the figures of all of them.
struct Writer {
    std::atomic<int> begun{0};
    int done = 0;
    int failed = 0;  // reported failures, each tried again
};

// Adds the keys `who`0 to `who`14 to section A, each through an object that reads the file
// and saves at once, and tries again, at most 100 times, what is reported failed. Update `n`
// begins once the other writer has begun it too, so that the two keep pace.
void LibraryWriter(const std::string& path, const std::string& who, Writer& self,
                   const Writer& other) {
    for (int n = 0; n < kUpdates; ++n) {
        self.begun = n + 1;
        while (other.begun <= n) {
            std::this_thread::yield();
        }
        for (int attempt = 0; attempt < 100; ++attempt) {
            CIniFile ini;
            if (ini.Attach(path.c_str()) &&
                ini.AddValue("A", (who + std::to_string(n)).c_str(), "1", true)) {
                ++self.done;
                break;
            }
            ++self.failed;
        }
    }
    self.begun = kUpdates + 1;
}

// Two objects of the library on two threads update one file at once. No update reported
// done is lost: the file holds every key that was added. (qelcfg.exe edits through the same
// objects.)
TEST(WindowsFiles, WritersAtOnceLoseNoUpdateWithoutReportingIt) {
    TempDir dir;
    const std::string path = WriteFile(dir.File("a.ini"), "[A]\r\n");
    Writer first, second;
    std::thread other([&] { LibraryWriter(path, "b", second, first); });
    LibraryWriter(path, "a", first, second);
    other.join();
    CIniFile ini;
    ASSERT_TRUE(ini.Attach(path.c_str()));
    const CIniSection* section = std::as_const(ini).GetCfg().FindSection("A");
    ASSERT_NE(section, nullptr);
    for (const auto& [who, writer] : {std::pair<const char*, Writer*>{"a", &first},
                                      std::pair<const char*, Writer*>{"b", &second}}) {
        int kept = 0;
        for (int n = 0; n < kUpdates; ++n) {
            kept += section->FindKey(who + std::to_string(n)) != nullptr ? 1 : 0;
        }
        RecordProperty(std::string("writer ") + who + ": reported failed", writer->failed);
        EXPECT_EQ(writer->done, kUpdates) << who;
        EXPECT_EQ(kept, writer->done) << who;
    }
}

}  // namespace
