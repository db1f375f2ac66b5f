#include "IniFile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#if !defined(_WIN32)
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>

#include "TestUtil.h"

namespace {

using qeltest::FileExists;
using qeltest::ListDir;
using qeltest::ReadFile;
using qeltest::TempDir;
using qeltest::WriteFile;

// The tree as one text: each section as "[name]" and its entries as "key=whole value",
// separated by "|". Independent of the writer, so that it can check the writer.
std::string Dump(CIni& tree) {
    std::string out;
    for (const CIniSection& section : tree) {
        out += "[" + section.GetKey() + "]";
        for (const CIniPair& pair : section) {
            out += "|" + pair.GetKey() + "=" + pair.GetWholeValue();
        }
        out += "\n";
    }
    return out;
}

std::string LoadAndDump(const std::string& bytes) {
    TempDir dir;
    WriteFile(dir.File("a.ini"), bytes);
    CIniFile ini;
    EXPECT_TRUE(ini.Attach(dir.File("a.ini").c_str()));
    return Dump(ini.GetCfg());
}

std::string SaveToString(CIniFile& ini) {
    TempDir dir;
    EXPECT_TRUE(ini.Save(dir.File("out.ini").c_str()));
    return ReadFile(dir.File("out.ini"));
}

TEST(IniFileLoad, ClassifiesEachLineByTheFirstRuleThatApplies) {
    struct Case {
        const char* file;
        const char* tree;
    } cases[] = {
        {"", ""},
        {"\r\n  \t \n# only a comment\n", ""},
        {"k=1\n[A]\nx=1\n", "[A]|x=1\n"},
        {"[A]\r\nx = 1 , 2 \r\n y=\r\n", "[A]|x=1,2|y=\n"},
        {"[A]\nx=a, \t\n", "[A]|x=a\n"},
        {" \t[ A ]  \nx=1\n", "[ A ]|x=1\n"},
        {"[A]\nx=1\n[A]\nx=2\n", "[A]|x=1\n[A]|x=2\n"},
        {"[A]\nx=1\n#[B]\ny=2\n[C]\nz=3\n", "[A]|x=1\n[C]|z=3\n"},
        {"[A]\nx=1\n#[B\ny=2\n", "[A]|x=1|y=2\n"},
        {"[]\nx=1\n[B]\ny=2\n", "[]\n[B]|y=2\n"},
        {"[A]\nx=1\nx=2\n", "[A]|x=1|x=2\n"},
        {"[A]\n;k=v\n#k=v\nno equals\n", "[A]|;k=v\n"},
        {"[A]\n[\n[x=1\n", "[A]|[x=1\n"},
        {"[A]\nk=a#b;c\n=5\n", "[A]|k=a#b;c|=5\n"},
        {"[A]\nk=abc\rdef\n", "[A]|k=abc\n"},
        {"\xEF\xBB\xBF[A]\nx=1\n", "[A]|x=1\n"},
        {"[A]\n\xEF\xBB\xBFx=1\n", "[A]|\xEF\xBB\xBFx=1\n"},
        {"[A]\nlast=no line end", "[A]|last=no line end\n"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(LoadAndDump(c.file), c.tree) << "file: " << c.file;
    }
}

TEST(IniFileLoad, TakesLongLinesWhole) {
    std::string key(40, 'k');
    std::string value(3000, 'v');
    std::string name(700, 'n');
    std::string tree = LoadAndDump("[" + name + "]\n" + key + "=" + value + "\n");
    EXPECT_EQ(tree, "[" + name + "]|" + key + "=" + value + "\n");
}

// A NUL ends a line's text; the line itself runs to its LF, so the next line stays a line
// of its own whatever length of line came before (the line buffer has grown by then).
TEST(IniFileLoad, ANulEndsTheTextButNotTheLine) {
    const std::string nulLine("ab\0cd=1\n", 8);
    const std::string longLine = "long=" + std::string(5000, 'v') + "\n";
    const std::string bytes = "[S]\n" + longLine + nulLine + "k=2\n[T]\n" + nulLine + "j=3\n";
    const std::string tree = "[S]|long=" + std::string(5000, 'v') + "|k=2\n[T]|j=3\n";
    EXPECT_EQ(LoadAndDump(bytes), tree);
    EXPECT_EQ(LoadAndDump(std::string("[S]\n", 4) + nulLine + "k=2\n"), "[S]|k=2\n");

    TempDir dir;
    WriteFile(dir.File("a.ini"), bytes);
    CIniFile fresh;
    ASSERT_TRUE(fresh.Open(dir.File("a.ini").c_str(), "rb"));
    CIniFile reused;
    ASSERT_TRUE(reused.Attach(dir.File("a.ini").c_str()));
    reused.Unload();
    for (CIniFile* ini : {&fresh, &reused}) {
        CIniSection* t = ini->FindSection("T");
        ASSERT_NE(t, nullptr);
        CIni single;
        single.AddValue(*t, -1);
        EXPECT_EQ(Dump(single), "[T]|j=3\n");
    }
}

TEST(IniFileLoad, LoadAppendsWithoutEmptying) {
    TempDir dir;
    WriteFile(dir.File("a.ini"), "[A]\nx=1\n");
    CIniFile ini;
    ASSERT_TRUE(ini.Attach(dir.File("a.ini").c_str()));
    ASSERT_TRUE(ini.Load());
    EXPECT_EQ(Dump(ini.GetCfg()), "[A]|x=1\n[A]|x=1\n");
    EXPECT_FALSE(ini.IsFileChanged());
}

TEST(IniFileLoad, ReadErrorIsNotTheEndOfTheFile) {
    TempDir dir;
    CIniFile ini;
    EXPECT_FALSE(ini.Attach(dir.Path().c_str()));
    EXPECT_EQ(ini.GetCfg().size(), 0u);
    EXPECT_EQ(ini.FindSection("A"), nullptr);
}

TEST(IniFileBinding, StateFollowsEachBindingOperation) {
    TempDir dir;
    WriteFile(dir.File("a.ini"), "[A]\nx=1\n");
    WriteFile(dir.File("b.ini"), "[B]\ny=2\n");
    char value[513];
    CIniFile ini;
    EXPECT_FALSE(ini.Attach(nullptr));
    ASSERT_TRUE(ini.Attach(dir.File("a.ini").c_str()));
    EXPECT_TRUE(ini.GetValue("A", "x", value));
    EXPECT_STREQ(value, "1");

    EXPECT_FALSE(ini.Attach(dir.File("missing.ini").c_str()));
    EXPECT_TRUE(ini.GetValue("A", "x", value)) << "a failed open leaves the tree";

    ASSERT_TRUE(ini.Open(dir.File("b.ini").c_str(), "rb"));
    EXPECT_EQ(ini.GetCfg().size(), 0u) << "Open empties the tree without loading";

    FILE* fp = std::fopen(dir.File("b.ini").c_str(), "rb");
    ASSERT_TRUE(ini.Set(fp));
    EXPECT_TRUE(ini.GetValue("B", "y", value));
    EXPECT_FALSE(ini.Set(fp)) << "its own stream is refused";
    EXPECT_TRUE(ini.GetValue("B", "y", value));

    EXPECT_FALSE(ini.Set(nullptr));
    EXPECT_TRUE(ini.GetValue("B", "y", value)) << "Set(null) keeps the tree";
    EXPECT_FALSE(ini.Load()) << "and leaves no stream";

    ini.SetChangeFlag(true);
    ini.Dettach();
    EXPECT_FALSE(ini.IsFileChanged());
    EXPECT_FALSE(ini.GetValue("B", "y", value));
    EXPECT_TRUE(ini.Save(static_cast<const char*>(nullptr))) << "nothing to save after Dettach";
}

TEST(IniFileBinding, SetKeepsTheEarlierFileName) {
    TempDir dir;
    WriteFile(dir.File("a.ini"), "[A]\nx=1\n");
    WriteFile(dir.File("b.ini"), "[B]\ny=2\n");
    CIniFile ini;
    ASSERT_TRUE(ini.Attach(dir.File("a.ini").c_str()));
    ASSERT_TRUE(ini.Set(std::fopen(dir.File("b.ini").c_str(), "rb")));
    ASSERT_TRUE(ini.AddValue("B", "z", "3", false));
    EXPECT_EQ(ReadFile(dir.File("a.ini")), "[B]\r\ny=2\r\nz=3\r\n\r\n");
    EXPECT_EQ(ReadFile(dir.File("b.ini")), "[B]\ny=2\n");
}

TEST(IniFileSave, WritesTheNormalFormByteForByte) {
    CIniFile ini;
    CIni& tree = ini.GetCfg();
    EXPECT_EQ(SaveToString(ini), "");
    tree.AddSection("A")->AddKV("x", "1", false);
    tree.FindSection("A")->AddKV("y=2, 3 ,", false);
    tree.AddSection("");
    tree.AddSection("A")->AddKV(" k ", "", false);
    EXPECT_EQ(SaveToString(ini), "[A]\r\nx=1\r\ny=2,3\r\n\r\n[]\r\n\r\n[A]\r\n k =\r\n\r\n");
}

TEST(IniFileSave, WritesEntriesBeyondTheLookupLimitsWhole) {
    CIniFile ini;
    CIniSection* a = ini.GetCfg().AddSection("A");
    std::string key(31, 'k');
    std::string value(600, 'v');
    a->AddKV("first", "1", false);
    a->AddKV(key.c_str(), value.c_str(), false);
    a->AddKV("after", "2", false);
    EXPECT_EQ(SaveToString(ini), "[A]\r\nfirst=1\r\n" + key + "=" + value + "\r\nafter=2\r\n\r\n");
    char k[31];
    char v[513];
    EXPECT_FALSE(a->GetNextKV(k, v)) << "the save leaves the key cursor past the last entry";
    EXPECT_EQ(ini.GetCfg().GetNextSection(), nullptr);
}

TEST(IniFileSave, NormalFormReadsAndWritesBackByteForByte) {
    const std::string text =
        "[A]\r\nx=1,2\r\n=5\r\nk=\r\n\r\n[ B ]\r\n;c=a#b\r\n\r\n[A]\r\nx=3\r\n\r\n";
    TempDir dir;
    WriteFile(dir.File("a.ini"), text);
    CIniFile ini;
    ASSERT_TRUE(ini.Attach(dir.File("a.ini").c_str()));
    EXPECT_EQ(SaveToString(ini), text);
}

TEST(IniFileSave, RoundTripKeepsWhatTheFormatCarries) {
    CIniFile ini;
    CIni& tree = ini.GetCfg();
    tree.AddSection("")->AddKV("lost", "1", false);
    CIniSection* s = tree.AddSection("S");
    s->AddKV("  padded\t", "v", false);
    s->AddKV("a=b", "c", false);
    s->AddKV("#hidden", "1", false);
    CIniPair* odd = s->FindKey("#hidden");
    ASSERT_NE(odd, nullptr);
    s->AddKV("plain", "x", false);
    s->FindKey("plain")->SetWholeValue(" x , y ");

    TempDir dir;
    ASSERT_TRUE(ini.Save(dir.File("t.ini").c_str()));
    CIniFile back;
    ASSERT_TRUE(back.Attach(dir.File("t.ini").c_str()));
    EXPECT_EQ(Dump(back.GetCfg()), "[]\n[S]|padded=v|a=b=c|plain=x,y\n");
}

TEST(IniFileSave, ChangeFlagDecidesWhatSaveOfTheOwnFileWrites) {
    TempDir dir;
    const std::string path = dir.File("a.ini");
    WriteFile(path, "# comment\n[A]\nx=1\n");
    CIniFile ini;
    ASSERT_TRUE(ini.Attach(path.c_str()));
    ini.GetCfg().FindSection("A")->AddKV("y", "2", false);
    EXPECT_TRUE(ini.Save(static_cast<const char*>(nullptr)));
    EXPECT_EQ(ReadFile(path), "# comment\n[A]\nx=1\n") << "changes through GetCfg set no flag";

    ini.SetChangeFlag(true);
    EXPECT_TRUE(ini.Save(static_cast<const char*>(nullptr)));
    EXPECT_EQ(ReadFile(path), "[A]\r\nx=1\r\ny=2\r\n\r\n");
    EXPECT_FALSE(ini.IsFileChanged());
    EXPECT_FALSE(ini.Load()) << "saving to the own file unbinds the object";

    ASSERT_TRUE(ini.AddValue("A", "z", "3", true));
    ASSERT_TRUE(ini.AddSection("B"));
    EXPECT_EQ(ReadFile(path), "[A]\r\nx=1\r\ny=2\r\nz=3\r\n\r\n[B]\r\n\r\n");
    EXPECT_FALSE(ini.AddValue("C", "k", "v", false));
    EXPECT_FALSE(ini.IsFileChanged());

    ASSERT_TRUE(ini.AddValue("B", "k = v1, v2", true));
    EXPECT_EQ(ReadFile(path), "[A]\r\nx=1\r\ny=2\r\nz=3\r\n\r\n[B]\r\nk=v1,v2\r\n\r\n");
}

static_assert(std::is_same<decltype(std::declval<const CIniFile&>().GetCfg()), const CIni&>::value,
              "a const file hands out its tree read-only");

TEST(IniFileSave, SaveWithoutArgumentsAndTheViewFormsWriteTheOwnFile) {
    TempDir dir;
    const std::string path = dir.File("a.ini");
    WriteFile(path, "# comment\n[A]\nx=1\n");
    CIniFile ini;
    ASSERT_TRUE(ini.Attach(path.c_str()));
    ini.GetCfg().FindSection("A")->AddKV("y", "2", false);
    EXPECT_TRUE(ini.Save());
    EXPECT_EQ(ReadFile(path), "# comment\n[A]\nx=1\n") << "the flag is clear";
    ini.SetChangeFlag(true);
    EXPECT_TRUE(ini.Save());
    EXPECT_EQ(ReadFile(path), "[A]\r\nx=1\r\ny=2\r\n\r\n");
    EXPECT_FALSE(ini.IsFileChanged());

    const std::string section = "B";
    const std::string key = "k";
    ASSERT_TRUE(ini.AddSection(section));
    ASSERT_TRUE(ini.AddValue(section, key, std::string("v1, v2"), false));
    ASSERT_TRUE(ini.AddValue(std::string_view("A"), "x", std::string("9"), true));
    const std::string nul("v\0", 2);
    EXPECT_FALSE(ini.AddSection(nul) || ini.AddValue(section, key, nul, false) ||
                 ini.AddValue(section, std::string("k\r\nz"), "1", false) ||
                 ini.AddValue(std::string("C"), key, "1", false));
    EXPECT_FALSE(ini.IsFileChanged());
    EXPECT_EQ(ReadFile(path), "[A]\r\nx=9\r\ny=2\r\n\r\n[B]\r\nk=v1,v2\r\n\r\n");

    CIniFile unnamed;  // no file name: the change stays in the tree, the save fails
    EXPECT_FALSE(unnamed.AddSection(std::string("S")));
    EXPECT_TRUE(unnamed.IsFileChanged());
    EXPECT_FALSE(unnamed.Save());
}

TEST(IniFileSave, BoundedGetValueHasNoFixedLimit) {
    TempDir dir;
    const std::string path = dir.File("a.ini");
    const std::string longValue(700, 'v');
    WriteFile(path, "[A]\nk = 1 , 2\nlong=" + longValue + "\n");
    CIniFile file;
    ASSERT_TRUE(file.Attach(path.c_str()));
    const CIniFile& ini = file;
    char value[513];
    EXPECT_FALSE(file.GetValue("A", "long", value));
    EXPECT_EQ(ini.GetCfg().Get("A", "long"), longValue);
    for (const std::string& key : {std::string("k"), std::string("long")}) {
        const std::string expected = key == "k" ? "1,2" : longValue;
        qeltest::ExpectBoundedCopy(expected, [&](char* buffer, std::size_t size) {
            return ini.GetValue("A", key.c_str(), buffer, size);
        });
    }
    struct Case {
        const char* section;
        const char* key;
    } missing[] = {{"B", "k"}, {"A", "K"}, {nullptr, "k"}, {"A", nullptr}};
    for (const Case& c : missing) {
        std::strcpy(value, "-");
        EXPECT_FALSE(ini.GetValue(c.section, c.key, value, sizeof value));
        EXPECT_STREQ(value, "");
    }
}

TEST(IniFileSave, SaveToAnotherPathClearsTheFlag) {
    TempDir dir;
    WriteFile(dir.File("a.ini"), "[A]\n");
    CIniFile ini;
    ASSERT_TRUE(ini.Attach(dir.File("a.ini").c_str()));
    ini.SetChangeFlag(true);
    ini.GetCfg().FindSection("A")->AddKV("x", "1", false);
    ASSERT_TRUE(ini.Save(dir.File("b.ini").c_str()));
    EXPECT_TRUE(ini.Save(static_cast<const char*>(nullptr)));
    EXPECT_EQ(ReadFile(dir.File("a.ini")), "[A]\n");
    EXPECT_EQ(ReadFile(dir.File("b.ini")), "[A]\r\nx=1\r\n\r\n");
}

// The object's own file is replaced only once the object has let go of its stream, which
// would otherwise go on reading the file replaced; another file leaves the stream alone.
TEST(IniFileSave, SaveByPathToTheOwnFileLetsGoOfTheStream) {
    TempDir dir;
    WriteFile(dir.File("a.ini"), "[A]\n");
    CIniFile ini;
    ASSERT_TRUE(ini.Attach(dir.File("a.ini").c_str()));
    ini.GetCfg().FindSection("A")->AddKV("x", "1", false);
    ASSERT_TRUE(ini.Save(dir.File("b.ini").c_str()));
    EXPECT_TRUE(ini.SeekToBegin()) << "still bound";
    ASSERT_TRUE(ini.Save((dir.Path() + "/./a.ini").c_str()));
    EXPECT_FALSE(ini.SeekToBegin()) << "unbound";
    EXPECT_EQ(ReadFile(dir.File("a.ini")), "[A]\r\nx=1\r\n\r\n");
    EXPECT_EQ(ListDir(dir.Path()), "a.ini\nb.ini\n");
}

TEST(IniFileSave, AddingWithoutAFileNameKeepsTheChangeAndFails) {
    TempDir dir;
    WriteFile(dir.File("a.ini"), "[A]\n");
    CIniFile ini;
    ASSERT_TRUE(ini.Set(std::fopen(dir.File("a.ini").c_str(), "rb")));
    EXPECT_FALSE(ini.AddValue("A", "x", "1", false));
    EXPECT_TRUE(ini.IsFileChanged());
    char value[513];
    EXPECT_TRUE(ini.GetValue("A", "x", value));
}

TEST(IniFileSave, FailedOpenKeepsTheFlagSoALaterSaveWritesAgain) {
    TempDir dir;
    WriteFile(dir.File("a.ini"), "[A]\n");
    CIniFile ini;
    ASSERT_TRUE(ini.Attach(dir.File("a.ini").c_str()));
    ini.SetChangeFlag(true);
    EXPECT_FALSE(ini.Save(dir.File("no/such/dir.ini").c_str()));
    EXPECT_TRUE(ini.IsFileChanged());
    EXPECT_FALSE(ini.Load()) << "a failed save to another path unbinds the object";
    EXPECT_TRUE(ini.Save(static_cast<const char*>(nullptr)));
    EXPECT_EQ(ReadFile(dir.File("a.ini")), "[A]\r\n\r\n");
}

TEST(IniFileSave, AddingRefusesTextsThatWouldInjectLines) {
    TempDir dir;
    WriteFile(dir.File("a.ini"), "[A]\r\nx=1\r\n\r\n");
    CIniFile ini;
    ASSERT_TRUE(ini.Attach(dir.File("a.ini").c_str()));
    CIniSection injected("B\r\n[admin]");
    EXPECT_FALSE(ini.AddSection("B\n[admin]"));
    EXPECT_FALSE(ini.AddSection(injected));
    EXPECT_FALSE(ini.AddValue("A", "k", "v\n[admin]", false));
    EXPECT_FALSE(ini.AddValue("A", "k\r", "v", false));
    EXPECT_FALSE(ini.AddValue("A", "k=v\n[admin]", false));
    CIniSection withEntry("C");
    withEntry.AddKV("k", "v\rw", false);
    EXPECT_FALSE(ini.AddSection(withEntry));
    EXPECT_EQ(Dump(ini.GetCfg()), "[A]|x=1\n");
    EXPECT_FALSE(ini.IsFileChanged());
    EXPECT_EQ(ReadFile(dir.File("a.ini")), "[A]\r\nx=1\r\n\r\n");
}

TEST(IniFileSave, StreamFormCutsAStaleTailAndClosesTheStream) {
    TempDir dir;
    WriteFile(dir.File("a.ini"), std::string(200, 'x'));
    CIniFile ini;
    ini.GetCfg().AddSection("A");
    FILE* fp = std::fopen(dir.File("a.ini").c_str(), "r+b");
    ASSERT_TRUE(ini.Save(fp));
    EXPECT_EQ(ReadFile(dir.File("a.ini")), "[A]\r\n\r\n");
    EXPECT_FALSE(ini.Save(static_cast<void*>(nullptr)));
}

// A stream that appends adds the text behind what the file holds, and cuts nothing, an
// empty text included.
TEST(IniFileSave, StreamFormThatAppendsKeepsTheFile) {
    for (bool empty : {false, true}) {
        TempDir dir;
        WriteFile(dir.File("a.ini"), "old\r\n");
        CIniFile ini;
        if (!empty) {
            ini.GetCfg().AddSection("A");
        }
        FILE* fp = std::fopen(dir.File("a.ini").c_str(), "ab");
        ASSERT_TRUE(ini.Save(fp));
        EXPECT_EQ(ReadFile(dir.File("a.ini")), empty ? "old\r\n" : "old\r\n[A]\r\n\r\n");
    }
}

#if !defined(_WIN32)  // no device that is always full
TEST(IniFileSave, StreamFormReportsAFullDisk) {
    CIniFile ini;
    ini.GetCfg().AddSection("A")->AddKV("k", std::string(70000, 'v').c_str(), false);
    FILE* full = std::fopen("/dev/full", "wb");
    ASSERT_NE(full, nullptr);
    EXPECT_FALSE(ini.Save(full));
}
#endif

#if !defined(_WIN32)  // POSIX permission bits and symbolic links
TEST(IniFileSave, ReplacingKeepsModeFollowsLinksAndLeavesNoTemporary) {
    TempDir dir;
    const std::string real = dir.File("real.ini");
    const std::string link = dir.File("link.ini");
    WriteFile(real, "[Old]\n");
    ASSERT_EQ(::chmod(real.c_str(), 0640), 0);
    ASSERT_EQ(::symlink("real.ini", link.c_str()), 0);
    CIniFile ini;
    ini.GetCfg().AddSection("New");
    ASSERT_TRUE(ini.Save(link.c_str()));
    struct stat st;
    ASSERT_EQ(::lstat(link.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    ASSERT_EQ(::stat(real.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(ReadFile(real), "[New]\r\n\r\n");
    EXPECT_EQ(ListDir(dir.Path()), "link.ini\nreal.ini\n");
}
#endif

#if !defined(_WIN32)  // hard links by link(), and /dev/null
TEST(IniFileSave, WritesInPlaceWhereReplacingWouldChangeWhatTheFileIs) {
    TempDir dir;
    const std::string a = dir.File("a.ini");
    const std::string b = dir.File("b.ini");
    WriteFile(a, "[Old]\n");
    ASSERT_EQ(::link(a.c_str(), b.c_str()), 0);
    CIniFile ini;
    ini.GetCfg().AddSection("New");
    ASSERT_TRUE(ini.Save(a.c_str()));
    EXPECT_EQ(ReadFile(b), "[New]\r\n\r\n") << "both hard links see the new text";
    EXPECT_TRUE(ini.Save("/dev/null"));
}
#endif

#if !defined(_WIN32)  // no fork() nor file size limit
// Runs `body` in a child process whose files may not grow beyond `limit` bytes, as on a
// full disk; returns the child's exit status.
template <typename Body>
int RunWithFileSizeLimit(rlim_t limit, Body body) {
    pid_t pid = ::fork();
    if (pid == 0) {
        ::signal(SIGXFSZ, SIG_IGN);
        struct rlimit rl = {limit, limit};
        ::setrlimit(RLIMIT_FSIZE, &rl);
        ::_exit(body() ? 0 : 1);
    }
    int status = -1;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(IniFileSave, SaveKeepsTheOldFileWhenTheDiskIsFull) {
    TempDir dir;
    const std::string path = dir.File("a.ini");
    const std::string old = "[A]\r\nx=1\r\n\r\n";
    WriteFile(path, old);
    int status = RunWithFileSizeLimit(4096, [&] {
        CIniFile ini;
        if (!ini.Attach(path.c_str())) {
            return false;
        }
        std::string big(8192, 'v');
        bool added = ini.AddValue("A", "big", big.c_str(), false);
        return !added && ini.IsFileChanged() && !ini.Save(dir.File("b.ini").c_str());
    });
    EXPECT_EQ(status, 0);
    EXPECT_EQ(ReadFile(path), old);
    EXPECT_FALSE(FileExists(dir.File("b.ini")));
    EXPECT_EQ(ListDir(dir.Path()), "a.ini\n") << "no temporary is left behind";
}
#endif

TEST(IniFileFindSection, ReadsOneSectionFromTheFileWhileTheTreeIsEmpty) {
    TempDir dir;
    const std::string path = dir.File("a.ini");
    WriteFile(path, "[A]\nx=1\n[B]\ny=2\n#[C]\nz=3\n[]\nw=4\n[B]\ny=9\n[D]\na=1\n#[E]\nb=2\n[F]\n");
    CIniFile ini;
    ASSERT_TRUE(ini.Open(path.c_str(), "rb"));
    struct Case {
        const char* name;
        const char* tree;  // the section found, as Dump writes it; null when none
    } cases[] = {
        {"B", "[B]|y=2\n"}, {"A", "[A]|x=1\n"}, {"D", "[D]|a=1\n"}, {"", "[]\n"},
        {"b", nullptr},     {" B", nullptr},    {"C", nullptr},     {"E", nullptr},
    };
    for (const Case& c : cases) {
        CIniSection* found = ini.FindSection(c.name);
        EXPECT_EQ(ini.FindSection(std::string(c.name)), found) << c.name;
        if (c.tree == nullptr) {
            EXPECT_EQ(found, nullptr) << c.name;
            continue;
        }
        ASSERT_NE(found, nullptr) << c.name;
        CIni single;
        single.AddValue(*found, -1);
        EXPECT_EQ(Dump(single), c.tree);
    }
    EXPECT_EQ(ini.GetCfg().size(), 0u);
    EXPECT_EQ(ini.FindSection("A"), ini.FindSection("B")) << "one file section, reused";
    EXPECT_EQ(ini.FindSection(nullptr), nullptr);
}

TEST(IniFileFindSection, UsesTheTreeOnceItHoldsSections) {
    TempDir dir;
    WriteFile(dir.File("a.ini"), "[A]\nx=1\n");
    CIniFile ini;
    ASSERT_TRUE(ini.Open(dir.File("a.ini").c_str(), "rb"));
    ini.GetCfg().AddSection("Z");
    EXPECT_EQ(ini.FindSection("A"), nullptr);
    EXPECT_EQ(ini.FindSection("Z"), ini.GetCfg().FindSection("Z"));
    EXPECT_EQ(ini.FindSection(std::string("Z")), ini.GetCfg().FindSection("Z"));
    EXPECT_EQ(ini.FindSection(std::string("A")), nullptr);
}

TEST(IniFileCopy, CopiesTreeAndSharesTheStream) {
    TempDir dir;
    WriteFile(dir.File("a.ini"), "[A]\nx=1\n");
    auto original = std::make_unique<CIniFile>();
    ASSERT_TRUE(original->Attach(dir.File("a.ini").c_str()));
    CIniFile copy(*original);
    copy.GetCfg().AddSection("B");
    EXPECT_EQ(original->GetCfg().size(), 1u);
    original.reset();
    EXPECT_TRUE(copy.Load()) << "the copy keeps the shared stream open";
    EXPECT_EQ(Dump(copy.GetCfg()), "[A]|x=1\n[B]\n[A]|x=1\n");

    CIniFile assigned;
    assigned = copy;
    CIniFile moved(std::move(copy));
    EXPECT_EQ(copy.GetCfg().size(), 0u);
    EXPECT_TRUE(moved.Load());
    EXPECT_TRUE(assigned.Load());
}

}  // namespace
