// qelcfg check and fmt: the reader's view of a file, reported and written.
#include <gtest/gtest.h>

#include <algorithm>
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
                        "\n[C]\n;k=1\ns = a , b,\nc=x\\\n  y\n[D] # note\nd=1\n");
    ToolResult r = RunTool({"check", file});
    EXPECT_EQ(r.status, 1);
    const std::string at = file + ":";
    EXPECT_EQ(
        r.out,
        at + "1: key line before the first section header is dropped\n" + at +
            "4: line without \"=\" is dropped\n" + at +
            "5: key 'k' repeats the one on line 3: lookups find only that one\n" + at +
            "7: key line after a commented-out section header is dropped\n" + at +
            "9: key line after a section header with an empty name is dropped\n" + at +
            "10: section 'A' repeats the one on line 2: lookups find only that one\n" + at +
            "13: key '" + longKey +
            "' is longer than 30 characters: the fixed-size lookups cannot hand it out\n" + at +
            "14: value of 'v' is longer than 512 characters: the fixed-size lookups cannot "
            "hand it out\n" +
            at + "15: text after a CR is dropped\n" + at +
            "16: text after a NUL byte is dropped\n" + at +
            "21: key ';k' begins with \";\": only \"#\" begins a comment\n" + at +
            "22: value of 's' is written back as 'a,b': blanks around items and a comma at "
            "the end are not kept\n" +
            at + "23: value of 'c' ends with \"\\\": the next line does not continue it\n" + at +
            "24: indented line without \"=\" is dropped: lines do not continue a value\n" + at +
            "25: '[D] # note' is no section header, since text follows \"]\": the key "
            "lines after it join section 'C'\n");
    ToolResult json = RunTool({"check", "--format", "json", file});
    EXPECT_EQ(json.status, 1);
    EXPECT_EQ(json.out.substr(0, json.out.find('\n')),
              "[{\"file\": \"" + file +
                  "\", \"line\": 1, \"kind\": \"dropped\", \"message\": \"key line before the "
                  "first section header is dropped\"},");
    EXPECT_EQ(std::count(json.out.begin(), json.out.end(), '\n'), 15);
}

TEST(QelcfgCheck, SaysNothingOfAFileTheReaderTakesWhole) {
    TempDir dir;
    WriteFile(dir.File("c.ini"), "# c\n\n#[off]\n[A]\nk = 1,2\n# semi=1\n[B]\nk=3\r\n");
    ToolResult r = RunTool({"check", dir.File("c.ini")});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");
}

const char kMessy[] = "# about\n[A]\n k = 1 , 2 \n# B\nx=1\n\n[C]\n";
const char kNormal[] = "[A]\r\nk=1,2\r\nx=1\r\n\r\n[C]\r\n\r\n";

TEST(QelcfgFmt, RewritesTheFileInTheLibrarysNormalForm) {
    TempDir dir;
    std::string file = dir.File("c.ini");
    WriteFile(file, kMessy);
    ToolResult r = RunTool({"fmt", file});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(ReadFile(file), kNormal);
    EXPECT_EQ(RunTool({"fmt", file, "-o", dir.File("again.ini")}).status, 0);
    EXPECT_EQ(ReadFile(dir.File("again.ini")), kNormal);
    WriteFile(dir.File("out.ini"), std::string(200, 'x'));
    EXPECT_EQ(RunTool({"fmt", dir.File("c.ini"), "-o", dir.File("out.ini")}).status, 0);
    EXPECT_EQ(ReadFile(dir.File("out.ini")), kNormal);
}

// Dropping comments is fmt's job; dropping key lines or sections needs --force.
TEST(QelcfgFmt, RefusesToLoseKeyLinesOrSectionsUnlessForced) {
    struct Case {
        std::string text;
        int line;
        std::string normal;
    };
    const Case cases[] = {
        {"early=1\n[A]\n", 1, "[A]\r\n\r\n"},
        {"[A]\n#[B]\nx=1\n", 3, "[A]\r\n\r\n"},
        {"[]\nx=1\n", 2, "[]\r\n\r\n"},
        {"[A]\nk=1\n[B] # note\nx=1\n", 3, "[A]\r\nk=1\r\nx=1\r\n\r\n"},
        {"[A]\nk=1\n  more\n", 3, "[A]\r\nk=1\r\n\r\n"},
        {"[A]\nk=1\rk=2\n", 2, "[A]\r\nk=1\r\n\r\n"},
    };
    TempDir dir;
    std::string file = dir.File("c.ini");
    for (const Case& c : cases) {
        for (const std::string& out : {std::string(), std::string("-")}) {
            WriteFile(file, c.text);
            ToolResult r = RunTool(out.empty() ? std::vector<std::string>{"fmt", file}
                                               : std::vector<std::string>{"fmt", "-o", out, file});
            EXPECT_EQ(r.status, 1) << c.text;
            EXPECT_EQ(r.out, "") << c.text;
            EXPECT_EQ(r.err.substr(0, 8 + file.size() + 3),
                      "qelcfg: " + file + ":" + std::to_string(c.line) + ":")
                << r.err;
            EXPECT_EQ(ReadFile(file), c.text);
        }
        ToolResult forced = RunTool({"fmt", "--force", file});
        EXPECT_EQ(forced.status, 0) << c.text;
        EXPECT_EQ(ReadFile(file), c.normal) << c.text;
    }
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
