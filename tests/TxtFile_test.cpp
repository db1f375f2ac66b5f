// _CFG::CTxtFile: line reads and searches, writes, and the line edits through "~tmp".
#include "TxtFile.h"
#include "IniFile.h"

#include <memory>

#include "TestUtil.h"

namespace {

using _CFG::CTxtFile;
using namespace qeltest;

// Opens up the protected interface to the tests.
class Probe : public CTxtFile {
public:
    using CTxtFile::Clear;
    using CTxtFile::CTxtFile;
    using CTxtFile::GetFileName;
    using CTxtFile::GetStream;
};

// Every line GetTextLine(skip) gives up to the end, each followed by "|".
std::string Lines(CTxtFile& file, const char* skip = nullptr) {
    std::string set = skip ? skip : "", lines;
    while (const char* line = file.GetTextLine(skip ? &set[0] : nullptr)) {
        lines += std::string(line) + "|";
    }
    return lines;
}

TEST(TxtFileRead, EachFileReadsAsTheTableSays) {
    TempDir dir;
    for (const auto& row : ReadTable("txt/reads.tsv")) {
        CTxtFile file(WriteFile(dir.File("f"), row[0]).c_str(), "rb");
        EXPECT_EQ(Lines(file, row.size() > 2 ? row[2].c_str() : nullptr), row[1]) << row[0].size();
    }
}

const char* Arg(const std::string& field) {
    return field == "~" ? nullptr : field.c_str();
}

TEST(TxtFileRead, FindsLinesByKeyAndIndex) {
    TempDir dir;
    const std::string path = WriteFile(dir.File("k"), "name=1\nNAME\n  Name=2\n\xE4\n{\nZz\n");
    for (auto row : ReadTable("txt/keys.tsv")) {
        CTxtFile file(path.c_str(), "rb");
        const char* line = file.GetKeyLine(row[0] == "~" ? nullptr : &row[0][0],
                                           row[1] == "~" ? nullptr : &row[1][0], std::stoi(row[2]),
                                           row[3] == "stop", row[4] == "prefix");
        EXPECT_STREQ(line, Arg(row[5])) << row[0] << " at " << row[2];
        // A search that stops at a mismatch leaves the stream after that line.
        EXPECT_STREQ(line || row[3] == "go" ? "NAME" : file.GetTextLine(nullptr), "NAME");
    }
    CTxtFile file(path.c_str(), "rb");
    const char* const byIndex[] = {nullptr, "name=1", "NAME", "  Name=2",
                                   "\xE4",  "{",      "Zz",   nullptr};
    for (int index : {1, -1, 0, 6, 3, 2, 5}) {  // from -1
        EXPECT_STREQ(file.ReadTextLine(index), byIndex[index + 1]) << index;
    }
}

TEST(TxtFileRead, SeekToLineCountsFromWhereTheStreamStands) {
    TempDir dir;
    CTxtFile file(WriteFile(dir.File("f"), "a\nb1\n\nb2\nc\n").c_str(), "rb");
    for (const auto& row : ReadTable("txt/seeks.tsv")) {
        SCOPED_TRACE(row[0] + " " + row[1] + " " + row[2]);
        char line[8] = "#";
        if (row[0] != "-") {
            EXPECT_TRUE(row[0] == "begin" ? file.SeekToBegin() : file.SeekToEnd());
        }
        const int index = row[2] == "-"   ? file.SeekToLine(Arg(row[1]), line)
                          : row[2] == "~" ? file.SeekToLine(Arg(row[1]), nullptr, 8)
                                          : file.SeekToLine(Arg(row[1]), line, std::stoi(row[2]));
        EXPECT_EQ(index, std::stoi(row[3]));
        EXPECT_EQ(line, row[4]);
    }
}

TEST(TxtFileState, OpenSetCloseCopyAndWriteText) {
    TempDir dir;
    const std::string path = WriteFile(dir.File("f"), "1\n2\n3\n4\n");
    Probe file(path.c_str(), "rb");
    const char* line = file.ReadTextLine(0);
    EXPECT_FALSE(file.Open(path.c_str(), nullptr));
    EXPECT_EQ(file.GetStream(), nullptr);
    EXPECT_EQ(file.GetFileName(), nullptr);
    EXPECT_STREQ(line, "1") << "the line survives Close";
    EXPECT_FALSE(file.Open(dir.File("missing").c_str(), "rb"));
    EXPECT_EQ(file.GetFileName(), nullptr);
    EXPECT_TRUE(file.Open(path.c_str(), "rb"));
    EXPECT_TRUE(file.Set(file.GetStream()));
    EXPECT_STREQ(file.ReadTextLine(1), "2");
    EXPECT_FALSE(file.SetChangeFlag(true));
    // Copies share the stream and its position until the last of them lets go.
    auto copy = std::make_unique<Probe>(file);
    EXPECT_STREQ(copy->GetTextLine(nullptr), "3");
    EXPECT_FALSE(file.Set(nullptr));
    EXPECT_EQ(file.GetStream(), nullptr);
    EXPECT_STREQ(file.GetFileName(), path.c_str()) << "Set keeps the name";
    EXPECT_TRUE(file.IsFileChanged());
    EXPECT_TRUE(copy->IsFileChanged());
    EXPECT_FALSE(file.Open(nullptr, "rb"));
    EXPECT_EQ(file.GetFileName(), nullptr);
    EXPECT_FALSE(file.IsFileChanged());
    Probe assigned;
    assigned = *copy;
    copy.reset();
    EXPECT_STREQ(assigned.GetTextLine(nullptr), "4");
    EXPECT_STREQ(assigned.GetFileName(), path.c_str());
    Probe moved;
    moved = Probe(std::move(assigned));  // constructed, then assigned
    EXPECT_EQ(assigned.GetStream(), nullptr);
    EXPECT_EQ(assigned.GetFileName(), nullptr);
    EXPECT_FALSE(assigned.IsFileChanged());
    EXPECT_TRUE(moved.IsFileChanged());
    EXPECT_STREQ(moved.ReadTextLine(0), "1");
    moved.Clear();  // lets go of the line buffer and the change flag, not of the stream
    EXPECT_FALSE(moved.IsFileChanged());
    EXPECT_STREQ(moved.ReadTextLine(1), "2");
    EXPECT_FALSE(file.WriteText("x", true)) << "closed";
#if !defined(_WIN32)  // Wine's C runtime takes writes to a read-only stream into its buffer
    EXPECT_FALSE(moved.WriteText("x", false)) << "read-only";
#endif

    // Text goes where the stream stands, with "\r\n" when asked; the change flag stays.
    CTxtFile out(path.c_str(), "r+b");
    ASSERT_TRUE(out.SeekToEnd());
    EXPECT_TRUE(out.WriteText("", true));
    EXPECT_TRUE(out.WriteText("", false));
    EXPECT_TRUE(out.WriteText("ab", true));
    EXPECT_TRUE(out.WriteText("c", false));
    EXPECT_FALSE(out.WriteText(nullptr, true));
    EXPECT_FALSE(out.IsFileChanged());
    out.Close();
    EXPECT_EQ(ReadFile(path), "1\n2\n3\n4\n\r\nab\r\nc");
}

// Each edit finds a leftover at the temporary name (on POSIX a symbolic link, never written
// through) and leaves the edited text there, with the file's own permission bits. The
// file's name is UTF-8 beyond ASCII and any ANSI code page ("Grüße-日本"), and a mode
// without "b" or with "t" still writes "\r\n" as two bytes.
TEST(TxtFileEdit, EachEditRewritesTheFileAsTheTableSays) {
    TempDir dir;
    const std::string path = dir.File("Gr\u00FC\u00DFe-\u65E5\u672C"), temp = path + "~tmp";
    WriteFile(dir.File("v"), "keep");
    for (const auto& row : ReadTable("txt/edits.tsv")) {
        for (const char* mode : {"r+b", "r+", "r+t"}) {
            SCOPED_TRACE(row[0] + " " + row[1] + " " + row[2] + " " + mode);
            WriteFile(path, row[0]);
            WriteFile(temp, "an older and longer text");
#if !defined(_WIN32)  // POSIX permission bits and symbolic links
            ASSERT_EQ(::chmod(path.c_str(), 0640) + std::remove(temp.c_str()), 0);
            ASSERT_EQ(::symlink("v", temp.c_str()), 0);
#endif
            CTxtFile file(path.c_str(), mode);
            errno = 0;  // whatever an earlier call left there
            const int index = std::stoi(row[2]);
            EXPECT_TRUE(row[1] == "remove"
                            ? file.RemoveTextLine(index)
                            : file.InsertTextLine(index, row[3].c_str(), row[1] == "insert"));
            EXPECT_TRUE(file.WriteText("z", false)) << "a read-write stream at the end";
            file.Close();
            EXPECT_EQ(ReadFile(path), row[4] + "z");
            EXPECT_EQ(ReadFile(temp), row[4]);
            EXPECT_EQ(ReadFile(dir.File("v")), "keep");
#if !defined(_WIN32)
            struct stat info[2];
            ASSERT_EQ(::lstat(path.c_str(), &info[0]) + ::lstat(temp.c_str(), &info[1]), 0);
            EXPECT_EQ(info[0].st_mode, S_IFREG | 0640u);
            EXPECT_EQ(info[1].st_mode, S_IFREG | 0640u) << "the temporary file";
#endif
        }
    }
}

TEST(TxtFileEdit, RefusesWhatItCannotRewriteAndLeavesTheFile) {
    TempDir dir;
    const std::string path = WriteFile(dir.File("f"), "a\nb\n");
    for (const char* mode : {"rb", "ab"}) {
        EXPECT_FALSE(CTxtFile(path.c_str(), mode).InsertTextLine(0, "x", true)) << mode;
    }
    CTxtFile file(path.c_str(), "r+b"), none, unnamed(std::fopen(path.c_str(), "r+b"));
    // Without a stream nothing reads, seeks or edits.
    EXPECT_EQ(none.SeekToLine("", nullptr) + none.SeekToLine("", nullptr, 8), -2);
    EXPECT_FALSE(none.SeekToBegin());
    EXPECT_FALSE(none.SeekToEnd());
    EXPECT_FALSE(none.Seek(0, SEEK_SET));
    EXPECT_FALSE(file.InsertTextLine(0, nullptr, true));
    EXPECT_FALSE(file.RemoveTextLine(-1));
    EXPECT_FALSE(none.RemoveTextLine(0));
    EXPECT_FALSE(none.InsertTextLine(0, "x", true));
    EXPECT_FALSE(unnamed.RemoveTextLine(0));
    EXPECT_FALSE(unnamed.InsertTextLine(0, "x", true));
    unnamed.Close();  // Windows moves no file that the C runtime's fopen holds open
    CIniFile saved;   // bound to a name, its stream closed by the save
    ASSERT_TRUE(saved.Attach(path.c_str()));
    ASSERT_FALSE(saved.SetChangeFlag(true));
    ASSERT_TRUE(saved.Save());
    WriteFile(path, "a\nb\n");
    EXPECT_FALSE(saved.RemoveTextLine(0));
    EXPECT_EQ(ReadFile(path), "a\nb\n");
#if !defined(_WIN32)  // Windows tells an append stream apart only when reading it fails,
                      // once "~tmp" is made
    EXPECT_FALSE(FileExists(path + "~tmp"));
#endif
    // A read-only stream can lose a line: the file is opened anew for writing.
    CTxtFile readOnly(path.c_str(), "rb");
    EXPECT_TRUE(readOnly.RemoveTextLine(0));
    EXPECT_TRUE(readOnly.WriteText("z", true));
    EXPECT_TRUE(readOnly.InsertTextLine(-1, readOnly.ReadTextLine(1), true));
    readOnly.Close();
    EXPECT_EQ(ReadFile(path), "z\r\nb\r\nz\r\n");
#if !defined(_WIN32)  // Windows renames no file over one that a stream holds open
    // An edit writes back only over the file it read, not over one put in its place since.
    CTxtFile stale(path.c_str(), "r+b");
    WriteFile(dir.File("g"), "new\n");
    ASSERT_EQ(std::rename(dir.File("g").c_str(), path.c_str()), 0);
    EXPECT_FALSE(stale.InsertTextLine(0, "x", true));
    EXPECT_EQ(ReadFile(path), "new\n");
#endif
}

TEST(TxtFileEdit, GetTempleFileNameWritesOnlyWhatFits) {
    TempDir dir;
    const std::string name = dir.File("abc");
    const int n = static_cast<int>(name.size());
    WriteFile(name, "");
    CTxtFile file;
    char out[300] = "###";
    EXPECT_EQ(file.GetTempleFileName(nullptr, out, sizeof out), nullptr);
    ASSERT_TRUE(file.Open(name.c_str(), "rb"));
    for (const auto& row : ReadTable("txt/tempnames.tsv")) {
        std::strcpy(out, "###");
        const int size = row[1][0] == 'n' ? n + std::atoi(&row[1][1]) : std::stoi(row[1]);
        EXPECT_EQ(file.GetTempleFileName(Arg(row[0]), out, size), row[2] == "out" ? out : nullptr);
        EXPECT_EQ(out, row[3].find("NAME") ? row[3] : name + row[3].substr(4)) << row[1];
    }
}

}  // namespace
