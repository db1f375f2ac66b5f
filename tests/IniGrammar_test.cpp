#include "IniGrammar.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using R = CIniLineReader;

TEST(CIniLineReader, ClassifiesByTheFirstRuleThatApplies) {
    struct Case {
        const char* line;
        R::LineKind kind;
        const char* text;  // the header name, or the key line as a section takes it
        const char* key;   // key lines: the key and the value text
        const char* value;
    } cases[] = {
        {"", R::kBlank, "", "", ""},
        {" \t ", R::kBlank, "", "", ""},
        {"\r", R::kNoEquals, "\r", "", ""},
        {"# note", R::kComment, "", "", ""},
        {"#", R::kComment, "", "", ""},
        {"#[", R::kComment, "", "", ""},
        {" #[Old] ", R::kCommentedHeader, "", "", ""},
        {"#[]", R::kCommentedHeader, "", "", ""},
        {"[A]", R::kHeader, "A", "", ""},
        {"\t[ A b ]  ", R::kHeader, " A b ", "", ""},
        {"[]", R::kHeader, "", "", ""},
        {"[[x]]", R::kHeader, "[x]", "", ""},
        {"[", R::kNoEquals, "[", "", ""},
        {"[x=1", R::kKeyLine, "[x=1", "[x", "1"},
        {"  key = v  \t", R::kKeyLine, "  key = v", "key", " v"},
        {";k=v", R::kKeyLine, ";k=v", ";k", "v"},
        {"a=b=c", R::kKeyLine, "a=b=c", "a", "b=c"},
        {"=5", R::kKeyLine, "=5", "", "5"},
        {"x]", R::kNoEquals, "x]", "", ""},
    };
    for (const Case& c : cases) {
        R reader;
        reader.Read("");
        const R::Line& line = reader.Read(c.line);
        EXPECT_EQ(line.kind, c.kind) << '"' << c.line << '"';
        EXPECT_EQ(line.bytes, c.line);
        if (line.kind == R::kHeader || line.kind == R::kKeyLine || line.kind == R::kNoEquals) {
            EXPECT_EQ(std::string(line.text, line.length), c.text) << '"' << c.line << '"';
        }
        if (line.kind == R::kKeyLine) {
            EXPECT_EQ(std::string(line.key, line.keyLength), c.key) << '"' << c.line << '"';
            EXPECT_EQ(std::string(line.value, line.valueLength), c.value) << '"' << c.line << '"';
        }
    }
}

TEST(CIniLineReader, PassesOverAByteOrderMarkOnTheFirstLineOnly) {
    R reader;
    const R::Line& first = reader.Read("\xEF\xBB\xBF[A]");
    EXPECT_EQ(first.kind, R::kHeader);
    EXPECT_EQ(std::string(first.text, first.length), "A");
    EXPECT_EQ(reader.Read("\xEF\xBB\xBF[B]").kind, R::kNoEquals);
}

// Which section takes each line, or why none does, line by line through a file.
TEST(CIniLineReader, TellsWhichHeaderTakesEachKeyLineOrWhyNoneDoes) {
    struct Step {
        const char* line;
        R::Intake intake;
        int header;
    } steps[] = {
        {"early=1", R::kBeforeFirstHeader, -1},
        {"[A]", R::kTaken, -1},
        {"k=1", R::kTaken, 1},
        {"no equals", R::kTaken, 1},
        {"# comment", R::kTaken, -1},
        {"#[old]", R::kAfterCommentedHeader, -1},
        {"x=1", R::kAfterCommentedHeader, -1},
        {"[]", R::kAfterEmptyHeader, -1},
        {"y=2", R::kAfterEmptyHeader, -1},
        {"[B]", R::kTaken, -1},
        {"", R::kTaken, -1},
        {"z=3", R::kTaken, 9},
    };
    R reader;
    for (const Step& s : steps) {
        const R::Line& line = reader.Read(s.line);
        EXPECT_EQ(line.intake, s.intake) << s.line;
        EXPECT_EQ(line.header, s.header) << s.line;
        EXPECT_EQ(line.index, static_cast<int>(&s - steps));
    }
    reader.Read("[C]");
    reader.RefuseSection();
    EXPECT_EQ(reader.Read("w=4").intake, R::kAfterRefusedHeader);
    reader.Read("[]");
    reader.RefuseSection();
    EXPECT_EQ(reader.Read("w=4").intake, R::kAfterEmptyHeader);
    EXPECT_EQ(reader.Read("[D]").intake, R::kTaken);
    EXPECT_EQ(reader.Read("w=4").header, 16);
}

}  // namespace
