// CIniFile: each file of tests/data/ini loads into the tree its NAME.tree spells out and
// saves as exactly the bytes of its NAME.out.
#include "IniFile.h"

#if !defined(_WIN32)
#include <fcntl.h>
#endif
#include <cstdio>

#include "TestUtil.h"

namespace {

using namespace qeltest;

std::string Data(const std::string& name, const char* extension) {
    return std::string(QELCFG_TEST_DATA) + "/ini/" + name + extension;
}

// Each section as "[name]" a line, then each entry as "  key=item|item" a line: keys are
// indented, so that one beginning with "[" does not read as a header.
template <class Sections>
std::string Dump(const Sections& sections) {
    std::string out;
    for (const CIniSection& section : sections) {
        out += "[" + section.GetKey() + "]\n";
        for (const CIniPair& pair : section) {
            out += "  " + pair.GetKey() + "=";
            for (const std::string& item : pair) {
                out += (&item == &*pair.begin() ? "" : "|") + item;
            }
            out += "\n";
        }
    }
    return out;
}

TEST(IniFileGolden, EachFileLoadsSavesAndReadsBackAsItsGoldenFilesSay) {
    TempDir dir;
    const std::string saved = dir.File("saved.ini");
    for (const char* name :
         {"empty", "comments", "grammar", "crlf", "mixed", "bom", "nul-bytes", "long"}) {
        SCOPED_TRACE(name);
        const std::string path = Data(name, ".ini"), out = ReadFile(Data(name, ".out"));
        const std::string tree = ReadFile(Data(name, ".tree"));
        CIniFile ini, back, file;
        ASSERT_TRUE(ini.Attach(path.c_str()));
        EXPECT_EQ(Dump(ini.GetCfg()), tree);
        ASSERT_TRUE(ini.Save(saved.c_str()));
        EXPECT_EQ(ReadFile(saved), out);
        // The written text reads back into the same tree, and a second save writes it again.
        ASSERT_TRUE(back.Attach(saved.c_str()));
        EXPECT_EQ(Dump(back.GetCfg()), tree);
        back.Close();  // Windows replaces no file that a stream holds open
        ASSERT_TRUE(ini.Save(saved.c_str()));
        EXPECT_EQ(ReadFile(saved), out);

        // Straight from the file, each name gives the first section of that name.
        ASSERT_TRUE(file.Open(path.c_str(), "rb"));
        for (std::size_t at = 0, end = 0; at < tree.size(); at = end) {
            end = std::min(tree.find("\n[", at), tree.size() - 1) + 1;
            const std::string block = tree.substr(at, end - at);
            const std::string header = block.substr(0, block.find('\n') + 1);
            CIniSection* found = file.FindSection(header.substr(1, header.size() - 3).c_str());
            ASSERT_NE(found, nullptr) << header;
            if (("\n" + tree).find("\n" + header) == at) {
                EXPECT_EQ(Dump(std::vector<CIniSection>{*found}), block);
            }
        }
        for (const char* other : {"missing", "a", "d", "A ", static_cast<const char*>(0)}) {
            EXPECT_EQ(file.FindSection(other), nullptr) << "names are matched whole";
        }
        EXPECT_EQ(file.GetCfg().size(), 0u);
        file.GetCfg().AddSection("missing");
        EXPECT_EQ(file.FindSection("missing"), file.GetCfg().FindSection("missing"));
        EXPECT_EQ(file.FindSection(std::string("D")), nullptr) << "the tree alone is looked at";
    }
}

TEST(IniFileBinding, EachBindingLeavesTheStateItNames) {
    TempDir dir;
    const std::string a = WriteFile(dir.File("a.ini"), "[A]\nx=1\n"),
                      b = WriteFile(dir.File("b.ini"), "[B]\ny=2\n"), missing = dir.File("no.ini");
    char value[513];
    CIniFile ini;
    EXPECT_FALSE(ini.Attach(nullptr));
    EXPECT_FALSE(ini.Attach(dir.Path().c_str())) << "a read error";
    EXPECT_FALSE(ini.Open(dir.Path().c_str(), "rb")) << "a directory opens as no file";
    ASSERT_TRUE(ini.Attach(a.c_str()));
    FILE* fp = std::fopen(b.c_str(), "rb");
    ASSERT_TRUE(ini.Set(fp)) << "empties the tree and loads";
    EXPECT_FALSE(ini.Set(fp)) << "its own stream is refused";
    ASSERT_TRUE(ini.Load()) << "appends without emptying";
    ASSERT_TRUE(ini.AddValue("B", "z", "3", false)) << "Set keeps the file name of Attach";
    EXPECT_EQ(ReadFile(a), "[B]\r\ny=2\r\nz=3\r\n\r\n[B]\r\ny=2\r\n\r\n");

    EXPECT_FALSE(ini.Attach(missing.c_str()));
    EXPECT_FALSE(ini.AddValue("B", "q", "4", false)) << "a failed open keeps no file name";
    EXPECT_TRUE(ini.IsFileChanged()) << "but the tree";
    EXPECT_TRUE(ini.GetValue("B", "q", value)) << "but the tree";
    EXPECT_FALSE(FileExists(missing));
    EXPECT_TRUE(ini.Open(b.c_str(), "rb"));
    EXPECT_EQ(ini.GetCfg().size(), 0u) << "Open loads nothing";
    ASSERT_TRUE(ini.Load());
    EXPECT_FALSE(ini.Set(nullptr));
    EXPECT_TRUE(ini.GetValue("B", "y", value)) << "Set(null) keeps the tree";
    EXPECT_FALSE(ini.Load()) << "and leaves no stream";
    ini.SetChangeFlag(true);
    ini.Dettach();
    EXPECT_FALSE(ini.IsFileChanged());
    EXPECT_FALSE(ini.GetValue("B", "y", value));
}

// A tree made through GetCfg holds what no file line gives; it is written as it stands,
// keys and values of any length included, and reads back as the format carries it.
TEST(IniFileSave, WritesTheTreeAsItStandsAndCutsTheStreamAfterIt) {
    TempDir dir;
    const std::string path = dir.File("a.ini"), key(31, 'k'), big(70000, 'v');
    CIniFile ini, back;
    ini.GetCfg().AddSection("")->AddKV("lost", "1", false);
    CIniSection* s = ini.GetCfg().AddSection("S");
    s->AddKV(" k\t", "", false);
    s->AddKV("a=b", "c", false);
    s->AddKV("#hidden=1", false);
    s->AddKV("y=2, 3 ,", false);
    ini.GetCfg().AddSection("S")->AddKV(key.c_str(), big.c_str(), false);
    WriteFile(path, std::string(80000, 'x'));
    ASSERT_TRUE(ini.Save(std::fopen(path.c_str(), "r+b")));
    EXPECT_EQ(ReadFile(path),
              "[]\r\nlost=1\r\n\r\n[S]\r\n k\t=\r\na=b=c\r\n#hidden=1\r\ny=2,3\r\n\r\n[S]\r\n" +
                  key + "=" + big + "\r\n\r\n");
    char k[31], v[513];
    // The save leaves the cursors past the last entry and the last section.
    EXPECT_FALSE(ini.GetCfg().FindSection("S")->GetNextKV(k, v));
    EXPECT_EQ(ini.GetCfg().GetNextSection(), nullptr);
    EXPECT_FALSE(ini.Save(static_cast<void*>(nullptr)));
    ASSERT_TRUE(back.Attach(path.c_str()));
    EXPECT_EQ(Dump(back.GetCfg()),
              "[]\n[S]\n  k=\n  a=b=c\n  y=2|3\n[S]\n  " + key + "=" + big + "\n");
}

TEST(IniFileSave, TheChangeFlagDecidesWhatASaveOfTheOwnFileWrites) {
    TempDir dir;
    const std::string path = WriteFile(dir.File("a.ini"), "# comment\n[A]\nx=1\n"),
                      b = dir.File("b.ini");
    CIniFile ini;
    ASSERT_TRUE(ini.Attach(path.c_str()));
    ini.GetCfg().FindSection("A")->AddKV("y", "2", false);
    EXPECT_TRUE(ini.Save());
    EXPECT_EQ(ReadFile(path), "# comment\n[A]\nx=1\n") << "changes through GetCfg set no flag";
    EXPECT_FALSE(ini.SetChangeFlag(true));
    ASSERT_TRUE(ini.Save(b.c_str()));
    EXPECT_FALSE(ini.IsFileChanged()) << "another file";
    EXPECT_TRUE(ini.Save());
    EXPECT_TRUE(ini.SeekToBegin());
    ini.SetChangeFlag(true);
    EXPECT_FALSE(ini.Save(dir.File("no/such.ini").c_str()));
    EXPECT_FALSE(ini.Save(dir.File(".").c_str()));
    EXPECT_TRUE(ini.IsFileChanged()) << "a failed save keeps the flag";
    EXPECT_FALSE(ini.SeekToBegin());
    EXPECT_TRUE(ini.Save(static_cast<const char*>(nullptr)));
    EXPECT_FALSE(ini.IsFileChanged());
    EXPECT_EQ(ReadFile(path) + ReadFile(b), "[A]\r\nx=1\r\ny=2\r\n\r\n[A]\r\nx=1\r\ny=2\r\n\r\n");

    CIniSection c("C");
    c.AddKV("z", "9", false);
    EXPECT_TRUE(ini.AddValue("A", "x", "3", true));
    EXPECT_TRUE(ini.AddValue("A", "k = v1, v2", false));
    EXPECT_TRUE(ini.AddSection("B"));
    EXPECT_TRUE(ini.AddSection(c));
    EXPECT_TRUE(ini.AddValue(std::string("B"), "j", std::string("1, 2"), false));
    const std::string text =
        "[A]\r\nx=3\r\ny=2\r\nk=v1,v2\r\n\r\n[B]\r\nj=1,2\r\n\r\n[C]\r\nz=9\r\n\r\n";
    EXPECT_EQ(ReadFile(path), text);
    // Refused: nothing changes in the tree or the file.
    const std::string nul("v\0", 2);
    CIniSection injected("B\r\n[admin]"), withEntry("D");
    withEntry.AddKV("k", "v\rw", false);
    EXPECT_FALSE(ini.AddValue("Z", "k", "v", false));
    EXPECT_FALSE(ini.AddValue("A", "k", "v\n[x]", false));
    EXPECT_FALSE(ini.AddValue("A", "k\r", "v", false));
    EXPECT_FALSE(ini.AddValue("A", "k=v\n[x]", false));
    EXPECT_FALSE(ini.AddValue("Z", "k=v", false));
    EXPECT_FALSE(ini.AddSection("B\n[x]"));
    EXPECT_FALSE(ini.AddSection(injected));
    EXPECT_FALSE(ini.AddSection(withEntry));
    EXPECT_FALSE(ini.AddSection(nul));
    EXPECT_FALSE(ini.AddSection(nullptr));
    EXPECT_FALSE(ini.AddValue(std::string("A"), "k", nul, false));
    EXPECT_FALSE(ini.IsFileChanged());
    ini.SetChangeFlag(true);
    ASSERT_TRUE(ini.Save());
    EXPECT_EQ(ReadFile(path), text);
    ASSERT_TRUE(ini.Attach(path.c_str()));
    ini.SetChangeFlag(true);
    ASSERT_TRUE(ini.Save());
    EXPECT_FALSE(ini.SeekToBegin()) << "a save to the own file lets go of the stream";
    ASSERT_TRUE(ini.Attach(path.c_str()));
    ASSERT_TRUE(ini.Save((dir.Path() + "/./a.ini").c_str()));
    EXPECT_FALSE(ini.SeekToBegin()) << "also under another spelling";
    EXPECT_EQ(ListDir(dir.Path()), "a.ini\nb.ini\n");
}

#if !defined(_WIN32)  // hard links, /dev/null
// A save to a device writes it as it stands; an empty tree empties a hard-linked file, which
// is written in place. (Symbolic links, modes and hard links on the way of a save that
// writes a text are rows of the fault tests, which check each run's bytes and mode.)
TEST(IniFileSave, WritesADeviceAndEmptiesAHardLinkedFileInPlace) {
    TempDir dir;
    const std::string real = WriteFile(dir.File("real.ini"), "[Old]\n"),
                      hard = dir.File("hard.ini");
    ASSERT_EQ(::link(real.c_str(), hard.c_str()), 0);
    CIniFile ini;
    ini.GetCfg().AddSection("New");
    ASSERT_TRUE(ini.Save("/dev/null"));
    ini.Unload();
    ASSERT_TRUE(ini.Save(hard.c_str()));
    EXPECT_EQ(ReadFile(real), "");
    EXPECT_EQ(ListDir(dir.Path()), "hard.ini\nreal.ini\n");
}

// A daemon may run with its standard input closed: descriptor 0 is then the first that a
// save or an edit opens, and serves like any other; a file there is written where it stands
// by a save to /dev/stdin.
TEST(IniFileSave, WorksWithStandardInputClosedOrAFile) {
    TempDir dir;
    const std::string path = WriteFile(dir.File("a.ini"), "[A]\nx=1\n");
    const int input = ::dup(0);
    ASSERT_EQ(::close(0), 0);
    CIniFile ini;
    const bool ok = ini.Attach(path.c_str()) && ini.AddValue("A", "y", "2", false) &&
                    ini.Open(path.c_str(), "r+b") && ini.InsertTextLine(0, "# z", true);
    EXPECT_TRUE(ini.Attach(path.c_str()));
    ini.Close();  // descriptor 0 free again, for a file that a save to /dev/stdin writes
    const int in = ::open(WriteFile(dir.File("in"), "#\n").c_str(), O_WRONLY | O_APPEND);
    const bool written = ini.Save("/dev/stdin");
    ::dup2(input, 0);
    ::close(input);
    EXPECT_TRUE(ok);
    EXPECT_EQ(ReadFile(path), "[A]\r\n# z\r\nx=1\r\ny=2\r\n\r\n");
    EXPECT_EQ(in, 0);
    EXPECT_TRUE(written);
    EXPECT_EQ(ReadFile(dir.File("in")), "#\n[A]\r\nx=1\r\ny=2\r\n\r\n");
}
#endif

}  // namespace
