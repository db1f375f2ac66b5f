// CIniEditor: edits change the lines concerned and keep every other byte.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "IniEditor.h"
#include "IniFile.h"
#include "TestUtil.h"

namespace {

using qeltest::ReadFile;
using qeltest::TempDir;
using qeltest::WriteFile;

enum Op { kSet, kAdd, kAddSection, kRemoveKey, kRemoveSection };

bool Apply(CIniEditor& ed, Op op, const char* section, const char* key, const char* value) {
    switch (op) {
        case kSet:
            return ed.SetValue(section, key, value);
        case kAdd:
            return ed.AddKey(section, key, value);
        case kAddSection:
            return ed.AddSection(section);
        case kRemoveKey:
            return ed.RemoveKey(section, key);
        case kRemoveSection:
            return ed.RemoveSection(section);
    }
    return false;
}

TEST(IniEditor, EditsChangeOnlyTheirLines) {
    struct Case {
        const char* text;
        Op op;
        const char* section;
        const char* key;
        const char* value;
        bool ok;
        const char* after;
    };
    const Case cases[] = {
        // The entry lookups find: first section of the name, first key it takes.
        {"# c\n[A]\nk = 1 \nk=2\n[A]\nk=3\n", kSet, "A", "k", "9", true,
         "# c\n[A]\nk = 9\nk=2\n[A]\nk=3\n"},
        {"[A]\r\n  k\t=\t1\r\nx=2\r\n", kSet, "A", "k", "a,b", true,
         "[A]\r\n  k\t=\ta,b\r\nx=2\r\n"},
        {"[A]\nk=1", kSet, "A", "k", "22", true, "[A]\nk=22"},
        {"[A]\nk=1\n", kSet, "A", "k", "1", true, "[A]\nk=1\n"},
        {"[A]\n#[B]\nk=1\n", kSet, "A", "k", "2", false, "[A]\n#[B]\nk=1\n"},
        {"k=1\n[A]\n", kSet, "A", "k", "2", false, "k=1\n[A]\n"},
        {"[A]\nk=1\n", kSet, "a", "k", "2", false, "[A]\nk=1\n"},
        // A new key goes after the last line its section takes, with that line's end.
        {"[A]\nk=1\n\n# end of A\n[B]\n", kAdd, "A", "n", "2", true,
         "[A]\nk=1\nn=2\n\n# end of A\n[B]\n"},
        {"[A]\r\nk=1\r\n#[old]\r\nx=1\r\n", kAdd, "A", "n", "2", true,
         "[A]\r\nk=1\r\nn=2\r\n#[old]\r\nx=1\r\n"},
        {"[A]\n[B]\n", kAdd, "A", "n", "2", true, "[A]\nn=2\n[B]\n"},
        {"x\n[A]", kAdd, "A", "n", "2", true, "x\n[A]\nn=2"},
        {"[A]\r\nk=1", kAdd, "A", "n", "2", true, "[A]\r\nk=1\r\nn=2"},
        {"[A]\n", kAdd, "B", "n", "2", false, "[A]\n"},
        // A section goes at the end, after one blank line unless there is one.
        {"[A]\nk=1\n", kAddSection, "B", nullptr, nullptr, true, "[A]\nk=1\n\n[B]\n"},
        {"[A]\r\nk=1\r\n\r\n", kAddSection, "B", nullptr, nullptr, true,
         "[A]\r\nk=1\r\n\r\n[B]\r\n"},
        {"[A]\nk=1", kAddSection, "B", nullptr, nullptr, true, "[A]\nk=1\n\n[B]"},
        {"", kAddSection, "B", nullptr, nullptr, true, "[B]\r\n"},
        {"\n", kAddSection, "B", nullptr, nullptr, true, "\n[B]\n"},
        {"[A]\r\nk=1\n\n", kAddSection, " B ", nullptr, nullptr, true, "[A]\r\nk=1\n\n[ B ]\n"},
        // Removing keeps a missing final line end missing.
        {"[A]\nk=1\nk=2\n", kRemoveKey, "A", "k", nullptr, true, "[A]\nk=2\n"},
        {"[A]\r\nj=0\r\nk=1", kRemoveKey, "A", "k", nullptr, true, "[A]\r\nj=0"},
        {"[A]\nj=0\n", kRemoveKey, "A", "k", nullptr, false, "[A]\nj=0\n"},
        {"[A]\nk=1\n#c\n\n[B]\nx=1\n[A]\n", kRemoveSection, "A", nullptr, nullptr, true,
         "[B]\nx=1\n[A]\n"},
        {"[B]\nx=1\n[A]\nk=1", kRemoveSection, "A", nullptr, nullptr, true, "[B]\nx=1"},
        {"[B]\n", kRemoveSection, "A", nullptr, nullptr, false, "[B]\n"},
        {"\r\n[A]", kRemoveSection, "A", nullptr, nullptr, true, ""},
        {"[A]\nk=1\n[B]\r\nx=1\r\n[C]\r\n", kAdd, "A", "n", "2", true,
         "[A]\nk=1\nn=2\n[B]\r\nx=1\r\n[C]\r\n"},
        {"[A]\nk=1\n", kRemoveKey, nullptr, "k", nullptr, false, "[A]\nk=1\n"},
        {"[A]\nk=1\n", kRemoveKey, "A", nullptr, nullptr, false, "[A]\nk=1\n"},
        {"[A]\nk=1\n", kRemoveSection, nullptr, nullptr, nullptr, false, "[A]\nk=1\n"},
        // Texts the format cannot carry as given are refused.
        {"[A]\nk=1\n", kSet, "A", "k", "2\n[admin]", false, "[A]\nk=1\n"},
        {"[A]\nk=1\n", kSet, "A", "k", " 2", false, "[A]\nk=1\n"},
        {"[A]\nk=1\n", kSet, "A", "k", "2,", false, "[A]\nk=1\n"},
        {"[A]\nk=1\n", kSet, "A", "k", "a, b", false, "[A]\nk=1\n"},
        {"[A]\n", kAdd, "A", "a=b", "1", false, "[A]\n"},
        {"[A]\n", kAdd, "A", " k", "1", false, "[A]\n"},
        {"[A]\n", kAdd, "A", "#k", "1", false, "[A]\n"},
        {"[A]\n", kAdd, "A", "[k", "1", false, "[A]\n"},
        {"[A]\n", kAdd, "A", "", "1", false, "[A]\n"},
        {"[A]\n", kAdd, "A", "k\r", "1", false, "[A]\n"},
        {"[A]\n", kAddSection, "", nullptr, nullptr, false, "[A]\n"},
        {"[A]\n", kAddSection, "B\nk=1", nullptr, nullptr, false, "[A]\n"},
    };
    for (const Case& c : cases) {
        CIniEditor ed;
        ASSERT_TRUE(ed.SetText(c.text));
        EXPECT_EQ(Apply(ed, c.op, c.section, c.key, c.value), c.ok) << c.text;
        EXPECT_EQ(ed.GetText(), c.after) << c.text << " op " << c.op;
        EXPECT_EQ(ed.IsChanged(), std::string(c.text) != c.after) << c.text;
    }
}

// What the editor writes reads back through CIniFile as the edit meant it.
TEST(IniEditor, WrittenFilesLoadWithTheEditsMade) {
    TempDir dir;
    const std::string path = dir.File("a.ini");
    WriteFile(path, "; x=1\n[A]\nk = a, b\n[B]\n");
    CIniEditor ed;
    ASSERT_TRUE(ed.Read(path.c_str()));
    std::string value;
    EXPECT_TRUE(ed.GetValue("A", "k", value));
    EXPECT_EQ(value, "a,b");
    EXPECT_FALSE(ed.GetValue("A", "; x", value));
    EXPECT_TRUE(ed.SetValue("A", "k", "c,d"));
    EXPECT_TRUE(ed.AddKey("B", "n", std::string(600, 'v').c_str()));
    EXPECT_TRUE(ed.AddSection("C"));
    EXPECT_TRUE(ed.AddKey("C", "z", ""));
    ASSERT_TRUE(ed.Save());
    EXPECT_FALSE(ed.IsChanged());
    EXPECT_EQ(ReadFile(path),
              "; x=1\n[A]\nk = c,d\n[B]\nn=" + std::string(600, 'v') + "\n\n[C]\nz=\n");
    CIniFile ini;
    ASSERT_TRUE(ini.Attach(path.c_str()));
    EXPECT_EQ(ini.FindSection("A")->FindKey("k")->GetWholeValue(), "c,d");
    EXPECT_EQ(ini.FindSection("B")->FindKey("n")->GetWholeValue(), std::string(600, 'v'));
    EXPECT_NE(ini.FindSection("C")->FindKey("z"), nullptr);
}

TEST(IniEditor, RefusesFilesWithLoneCarriageReturns) {
    TempDir dir;
    const std::string path = dir.File("a.ini");
    WriteFile(path, "[A]\nk=1\rx=2\n");
    CIniEditor ed;
    EXPECT_FALSE(ed.Read(path.c_str()));
    EXPECT_EQ(ed.GetFileName(), nullptr);
    EXPECT_FALSE(ed.Save());
    EXPECT_FALSE(ed.SetText("[A]\r"));
    EXPECT_FALSE(ed.Read(dir.File("missing.ini").c_str()));
    EXPECT_FALSE(ed.Read(dir.Path().c_str()));
    // A failed read unbinds an editor that was bound before.
    WriteFile(path, "[A]\nk=1\n");
    ASSERT_TRUE(ed.Read(path.c_str()));
    EXPECT_TRUE(ed.HasSection("A"));
    EXPECT_FALSE(ed.HasSection("a"));
    EXPECT_FALSE(ed.HasSection(nullptr));
    EXPECT_FALSE(ed.Read(dir.File("missing.ini").c_str()));
    EXPECT_EQ(ed.GetFileName(), nullptr);
    EXPECT_EQ(ed.GetText(), "");
    EXPECT_FALSE(ed.Save());
}

// A save that cannot write keeps the edit, so that a later save can still write it.
TEST(IniEditor, AFailedSaveKeepsTheChange) {
    TempDir dir;
    const std::string path = dir.File("a.ini");
    WriteFile(path, "[A]\nk=1\n");
    CIniEditor ed;
    ASSERT_TRUE(ed.Read(path.c_str()));
    ASSERT_TRUE(ed.SetValue("A", "k", "2"));
    ASSERT_TRUE(std::filesystem::remove(path));
    ASSERT_TRUE(std::filesystem::create_directory(path));
    EXPECT_FALSE(ed.Save());
    EXPECT_TRUE(ed.IsChanged());
    ASSERT_TRUE(std::filesystem::remove(path));
    EXPECT_TRUE(ed.Save());
    EXPECT_EQ(ReadFile(path), "[A]\nk=2\n");
}

// A save with nothing changed leaves the file itself alone: same inode, same bytes.
TEST(IniEditor, SaveWithoutChangesTouchesNothing) {
    TempDir dir;
    const std::string path = dir.File("a.ini");
    WriteFile(path, "[A]\nk=1\n");
    struct stat before = {};
    ::stat(path.c_str(), &before);
    CIniEditor ed;
    ASSERT_TRUE(ed.Read(path.c_str()));
    EXPECT_TRUE(ed.SetValue("A", "k", "1"));
    EXPECT_TRUE(ed.Save());
    struct stat after = {};
    ::stat(path.c_str(), &after);
    EXPECT_EQ(after.st_ino, before.st_ino);
    ASSERT_TRUE(ed.SetValue("A", "k", "2"));
    ASSERT_TRUE(ed.SaveAs(dir.File("b.ini").c_str()));
    EXPECT_EQ(ReadFile(dir.File("b.ini")), "[A]\nk=2\n");
    EXPECT_EQ(ReadFile(path), "[A]\nk=1\n");
}

}  // namespace
