// qelcfg check and fmt: the reader's view of a file, reported and written.
#include <gtest/gtest.h>

#include <string>

#include "ToolRunner.h"

namespace {

using qeltest::ReadFile;
using qeltest::RunOptions;
using qeltest::RunTool;
using qeltest::TempDir;
using qeltest::ToolResult;
using qeltest::WriteFile;

TEST(QelcfgCheck, ReportsEveryLineTheReaderDropsOrChanges) {
    const std::string longKey(31, 'K');
    const std::string longValue(513, 'v');
    TempDir dir;
    std::string file = dir.File("c.ini");
    WriteFile(file, "early=1\n[A]\nk=1\nnoeq\nk=2\n#[old]\nx=1\n[]\ny=2\n[A]\nz=1\n[B]\n" +
                        longKey + "=1\nv=" + longValue + "\nfine=1\rtail\n" +
                        std::string("n=\0x\n", 5) + "# comment\n\nok=" + std::string(512, 'o') +
                        "\n");
    ToolResult r = RunTool({"check", file});
    EXPECT_EQ(r.status, 1);
    const std::string at = file + ":";
    EXPECT_EQ(r.out,
              at + "1: key line before the first section header is dropped\n" + at +
                  "4: line without \"=\" is dropped\n" + at +
                  "5: key 'k' repeats the one on line 3: lookups find only that one\n" + at +
                  "7: key line after a commented-out section header is dropped\n" + at +
                  "9: key line after a section header with an empty name is dropped\n" + at +
                  "10: section 'A' repeats the one on line 2: lookups find only that one\n" + at +
                  "13: key '" + longKey +
                  "' is longer than 30 characters: the fixed-size lookups cannot hand it out\n" +
                  at +
                  "14: value of 'v' is longer than 512 characters: the fixed-size lookups cannot "
                  "hand it out\n" +
                  at + "15: text after a CR is dropped\n" + at +
                  "16: text after a NUL byte is dropped\n");
}

TEST(QelcfgCheck, SaysNothingOfAFileTheReaderTakesWhole) {
    TempDir dir;
    WriteFile(dir.File("c.ini"), "# c\n\n#[off]\n[A]\nk = 1, 2\n; semi=1\n[B]\nk=3\r\n");
    ToolResult r = RunTool({"check", dir.File("c.ini")});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");
}

const char kMessy[] = "# about\nearly=1\n[A]\n k = 1 , 2 \n#[B]\nx=1\n\n[C]\n";
const char kNormal[] = "[A]\r\nk=1,2\r\n\r\n[C]\r\n\r\n";

TEST(QelcfgFmt, RewritesTheFileInTheLibrarysNormalForm) {
    TempDir dir;
    std::string file = dir.File("c.ini");
    WriteFile(file, kMessy);
    ToolResult r = RunTool({"fmt", file});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(ReadFile(file), kNormal);
    EXPECT_EQ(RunTool({"fmt", file, "-o", dir.File("again.ini")}).status, 0);
    EXPECT_EQ(ReadFile(dir.File("again.ini")), kNormal);
}

TEST(QelcfgFmt, WritesAnotherFileLeavingTheSource) {
    TempDir dir;
    WriteFile(dir.File("c.ini"), kMessy);
    WriteFile(dir.File("out.ini"), std::string(200, 'x'));
    EXPECT_EQ(RunTool({"fmt", dir.File("c.ini"), "-o", dir.File("out.ini")}).status, 0);
    EXPECT_EQ(ReadFile(dir.File("out.ini")), kNormal);
    EXPECT_EQ(ReadFile(dir.File("c.ini")), kMessy);
}

// Standard output redirected by a shell already holds what came before; writing must
// go after it, not over it.
TEST(QelcfgFmt, WritesStandardOutputAfterWhatIsThere) {
    TempDir dir;
    WriteFile(dir.File("c.ini"), kMessy);
    RunOptions options;
    options.outputBefore = "earlier output\n";
    ToolResult r = RunTool({"fmt", "-o", "-", dir.File("c.ini")}, options);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "earlier output\n" + std::string(kNormal));
    EXPECT_EQ(ReadFile(dir.File("c.ini")), kMessy);
}

}  // namespace
