#include "IniGrammar.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

namespace {

using R = CIniLineReader;

// A line's kind, then the text of a header, a key line or a line without "=", then a key
// line's key and value text.
std::string Describe(const R::Line& line) {
    // Indexed by LineKind.
    static const char* const kKinds[] = {"blank", "comment", "#header", "header", "key", "no="};
    std::string text = kKinds[line.kind];
    if (line.kind == R::kHeader || line.kind == R::kKeyLine || line.kind == R::kNoEquals) {
        text += " " + std::string(line.text, line.length);
    }
    if (line.kind == R::kKeyLine) {
        text += ": " + std::string(line.key, line.keyLength) + "|" +
                std::string(line.value, line.valueLength);
    }
    return text;
}

// Bytes with the high bit set are never blanks, brackets or comment marks. A UTF-8
// byte-order mark is passed over at the very start of the first line only.
TEST(CIniLineReader, ClassifiesByTheFirstRuleThatApplies) {
    const std::pair<const char*, const char*> cases[] = {
        {" \t ", "blank"},
        {"\r", "no= \r"},
        {"#[", "comment"},
        {" #[Old] ", "#header"},
        {"\t[ A b ]  ", "header  A b "},
        {"[]", "header "},
        {"[", "no= ["},
        {"[x=1", "key [x=1: [x|1"},
        {"  key = v  \t", "key   key = v: key| v"},
        {";k=v", "key ;k=v: ;k|v"},
        {"\xA0[S]", "no= \xA0[S]"},
        {"\xA0#c", "no= \xA0#c"},
        {"\xEF\xBB\xBF[B]", "no= \xEF\xBB\xBF[B]"}};
    for (const auto& [text, description] : cases) {
        R reader;
        reader.Read("");
        const R::Line& line = reader.Read(text);
        EXPECT_EQ(Describe(line), description) << '"' << text << '"';
        EXPECT_EQ(line.bytes, text);
    }
    EXPECT_EQ(Describe(R().Read("\xEF\xBB\xBF[A]")), "header A");
    EXPECT_EQ(Describe(R().Read("\xEF\xBB[A]")), "no= \xEF\xBB[A]");
}

// Which section takes each line, or why none does, line by line through a file: the
// intake and the index of the header whose section takes the line.
TEST(CIniLineReader, TellsWhichHeaderTakesEachKeyLineOrWhyNoneDoes) {
    const std::pair<const char*, std::pair<R::Intake, int>> steps[] = {
        {"early=1", {R::kBeforeFirstHeader, -1}},
        {"[A]", {R::kTaken, -1}},
        {"k=1", {R::kTaken, 1}},
        {"# comment", {R::kTaken, -1}},
        {"#[old]", {R::kAfterCommentedHeader, -1}},
        {"x=1", {R::kAfterCommentedHeader, -1}},
        {"[]", {R::kAfterEmptyHeader, -1}},
        {"y=2", {R::kAfterEmptyHeader, -1}},
        {"[B]", {R::kTaken, -1}},
        {"", {R::kTaken, -1}},
        {"z=3", {R::kTaken, 8}}};
    R reader;
    int index = 0;
    for (const auto& [text, expected] : steps) {
        const R::Line& line = reader.Read(text);
        EXPECT_EQ(std::make_pair(line.intake, line.header), expected) << text;
        EXPECT_EQ(line.index, index++);
    }
    reader.Read("[C]");
    reader.RefuseSection();
    EXPECT_EQ(reader.Read("w=4").intake, R::kAfterRefusedHeader);
    reader.Read("[]");
    reader.RefuseSection();
    EXPECT_EQ(reader.Read("w=4").intake, R::kAfterEmptyHeader);
    EXPECT_EQ(reader.Read("[D]").intake, R::kTaken);
    EXPECT_EQ(reader.Read("w=4").header, 15);
}

}  // namespace
