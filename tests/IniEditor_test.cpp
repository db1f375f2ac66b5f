// CIniEditor: edits change the lines concerned and keep every other byte.
#include "IniEditor.h"

#include <chrono>

#include "TestUtil.h"

namespace {

using namespace qeltest;

TEST(IniEditor, EachEditChangesTheTextAsTheTableSays) {
    for (const auto& row : ReadTable("editor/edits.tsv")) {
        const std::string& op = row[0];
        auto arg = [&](int i) { return row[i + 1] == "~" ? nullptr : row[i + 1].c_str(); };
        const std::string after = row[6] == "=" ? row[5] : row[6];
        SCOPED_TRACE(op + " " + row[1] + " " + row[2] + " " + row[3] + " on " + row[5]);
        CIniEditor ed;
        ASSERT_TRUE(ed.SetText(row[5]));
        std::string value = "~";
        bool continues = false;
        const bool ok = op == "get"         ? ed.GetValue(arg(0), arg(1), value)
                        : op == "written"   ? ed.GetWrittenValue(arg(0), arg(1), value, &continues)
                        : op == "has"       ? ed.HasSection(arg(0))
                        : op == "set"       ? ed.SetValue(arg(0), arg(1), arg(2))
                        : op == "upsert"    ? ed.SetOrAdd(arg(0), arg(1), arg(2))
                        : op == "add"       ? ed.AddKey(arg(0), arg(1), arg(2))
                        : op == "add-items" ? ed.AddItems(arg(0), arg(1), arg(2))
                        : op == "remove-items" ? ed.RemoveItems(arg(0), arg(1), arg(2))
                        : op == "section"      ? ed.AddSection(arg(0))
                        : op == "remove-key"   ? ed.RemoveKey(arg(0), arg(1))
                        : op == "normalize"    ? (ed.Normalize(row[1] == "crlf"), true)
                                               : ed.RemoveSection(arg(0));
        EXPECT_EQ(ok, row[4] == "true");
        const bool reads = op == "get" || op == "written";
        EXPECT_EQ(value + (continues ? " (continues)" : ""), reads ? row[3] : "~");
        EXPECT_EQ(ed.GetText(), after);
        EXPECT_EQ(ed.IsChanged(), after != row[5]);
    }
}

// A save with nothing changed leaves the file itself alone; one that cannot write keeps the
// edit, so that a later save can still write it.
TEST(IniEditor, ReadEditAndSaveAFile) {
    TempDir dir;
    const std::string path = WriteFile(dir.File("a.ini"), "# x=1\n[A]\nk = a,b\n[B]\n"),
                      big(600, 'v');
    struct stat before = {}, after = {};
    ::stat(path.c_str(), &before);
    CIniEditor ed;
    ASSERT_TRUE(ed.Read(path.c_str()));
    EXPECT_STREQ(ed.GetFileName(), path.c_str());
    EXPECT_TRUE(ed.SetValue("A", "k", "a,b"));
    EXPECT_TRUE(ed.Save());
    ::stat(path.c_str(), &after);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_TRUE(ed.SetValue("A", "k", "c,d"));
    EXPECT_TRUE(ed.AddKey("B", "n", big.c_str()));
    EXPECT_TRUE(ed.AddSection("C"));
    EXPECT_TRUE(ed.AddKey("C", "z", ""));
    ASSERT_TRUE(ed.SaveAs(dir.File("b.ini").c_str()));
    EXPECT_EQ(ReadFile(path), "# x=1\n[A]\nk = a,b\n[B]\n") << "SaveAs leaves the binding";
    ASSERT_TRUE(ed.Save());
    EXPECT_FALSE(ed.IsChanged());
    const std::string text = "# x=1\n[A]\nk = c,d\n[B]\nn=" + big + "\n\n[C]\nz=\n";
    EXPECT_EQ(ReadFile(path) + ReadFile(dir.File("b.ini")), text + text);
    // A copy saves while the file is as the original read it (not waiting for the lock the
    // original holds); the original then no more.
    ed.SetLockWait(std::chrono::milliseconds(0));
    CIniEditor copy(ed);
    ASSERT_TRUE(copy.SetValue("A", "k", "e"));
    ASSERT_TRUE(copy.Save());
    EXPECT_EQ(ReadFile(path), std::string(copy.GetText()));
#if !defined(_WIN32)        // Windows frees no name while the editor's lock handle holds it
    CIniEditor gone(copy);  // of a file that is a directory by the time it saves
    ASSERT_TRUE(std::filesystem::remove(path));
    ASSERT_TRUE(std::filesystem::create_directory(path));
    ASSERT_TRUE(gone.SetValue("A", "k", "f"));
    EXPECT_FALSE(gone.Save());
    ASSERT_TRUE(std::filesystem::remove(path));
#endif
    // A file that another program changed after the read is not written over.
    ASSERT_TRUE(ed.SetValue("A", "k", "2"));
    WriteFile(path, "[A]\nk=1\r\n");
    errno = 0;
    EXPECT_FALSE(ed.Save());
    EXPECT_EQ(errno, ESTALE);
    EXPECT_TRUE(ed.IsChanged());
    EXPECT_EQ(ReadFile(path), "[A]\nk=1\r\n");
#if !defined(_WIN32)  // nor one whose mode alone changed, which a replace would turn back
    ASSERT_TRUE(ed.Read(path.c_str()));
    ASSERT_TRUE(ed.SetValue("A", "k", "3"));
    ASSERT_EQ(::chmod(path.c_str(), 0600), 0);
    EXPECT_FALSE(ed.Save());
    EXPECT_EQ(ReadFile(path), "[A]\nk=1\r\n");
#endif
    // Nor one that another program made after the editor read it as missing.
    const std::string made = dir.File("made.ini");
    ASSERT_TRUE(ed.Read(made.c_str(), true));
    ASSERT_TRUE(ed.AddSection("N"));
    WriteFile(made, "x");
    errno = 0;
    EXPECT_FALSE(ed.Save());
    EXPECT_EQ(errno, ESTALE);
    EXPECT_EQ(ReadFile(made), "x");

    // A file the editor cannot read leaves it empty and unbound, whatever it held before; a
    // missing one may be read as empty, and is then made by the save.
    for (const std::string& bad : {dir.File("missing.ini"), dir.Path()}) {
        SCOPED_TRACE(bad);
        ASSERT_TRUE(ed.Read(path.c_str()));
        EXPECT_FALSE(ed.Read(bad.c_str()));
        EXPECT_EQ(ed.GetFileName(), nullptr);
        EXPECT_FALSE(ed.Save());
        EXPECT_EQ(ed.GetText(), "");
        ASSERT_TRUE(ed.SetText("[A]\n"));
        EXPECT_FALSE(ed.View(bad.c_str()));
        EXPECT_EQ(ed.GetText(), "") << "a view that fails leaves no text either";
    }
    ASSERT_TRUE(ed.Read(dir.File("missing.ini").c_str(), true));
    EXPECT_TRUE(ed.AddSection("N"));
    EXPECT_TRUE(ed.Save());
    EXPECT_EQ(ReadFile(dir.File("missing.ini")), "[N]\r\n");

    // A text with a CR that no LF follows takes no line edit; the whole text may change.
    EXPECT_FALSE(ed.SetText("[A]\r"));
    EXPECT_FALSE(ed.SetText("[A]\rk=1\n"));
    WriteFile(path, "[A]\nk=1\rx=2\r\n");
    ASSERT_TRUE(ed.Read(path.c_str()));
    EXPECT_FALSE(ed.SetValue("A", "k", "2"));
    EXPECT_FALSE(ed.AddSection("B"));
    EXPECT_FALSE(ed.TakesLineEdits());
    EXPECT_TRUE(ed.ReplaceText("[A]\n"));
    EXPECT_TRUE(ed.Save());
    EXPECT_EQ(ReadFile(path), "[A]\n");
}

}  // namespace
