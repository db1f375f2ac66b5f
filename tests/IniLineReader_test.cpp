#include "IniLineReader.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using R = CIniLineReader;

// A line's kind; the text of a header, a key line or a line without "="; a key line's key
// and value text; then what becomes of it and the index of the header that takes it.
std::string Describe(const R::Line& line) {
    static const char* const kKinds[] = {"blank", "comment", "#header", "header", "key", "no="};
    static const char* const kIntakes[] = {"", " early", " after []", " after #[]", " refused"};
    std::string text = kKinds[line.kind];
    if (line.kind == R::kHeader || line.kind == R::kKeyLine || line.kind == R::kNoEquals) {
        text += " " + std::string(line.text, line.length);
    }
    if (line.kind == R::kKeyLine) {
        text += ": " + std::string(line.key, line.keyLength) + "|" +
                std::string(line.value, line.valueLength);
    }
    return text + kIntakes[line.intake] +
           (line.header != -1 ? " @" + std::to_string(line.header) : "");
}

// Lines fed in order, as from one file. Each is sorted by the first rule that applies;
// bytes with the high bit set are never blanks, brackets or comment marks, and a UTF-8
// byte-order mark is passed over at the very start of the first line only. "R" after a
// header tells the reader that its section could not be added.
TEST(CIniLineReader, ClassifiesEachLineAndTellsWhichHeaderTakesIt) {
    const std::pair<const char*, const char*> lines[] = {
        {"\xEF\xBB\xBF k=1", "key  k=1: k|1 early"},
        {"\xEF\xBB\xBF[B]", "no= \xEF\xBB\xBF[B] early"},
        {" \t ", "blank early"},
        {"\r", "no= \r early"},
        {"#[", "comment early"},
        {"\t[ A b ]  ", "header  A b "},
        {"[x=1", "key [x=1: [x|1 @5"},
        {"  key = v  \t", "key   key = v: key| v @5"},
        {";k=v", "key ;k=v: ;k|v @5"},
        {"\xA0[S]", "no= \xA0[S] @5"},
        {"\xA0#c", "no= \xA0#c @5"},
        {"[", "no= [ @5"},
        {"# comment", "comment"},
        {" #[Old] ", "#header after #[]"},
        {"x=1", "key x=1: x|1 after #[]"},
        {"[]", "header  after []"},
        {"y=2", "key y=2: y|2 after []"},
        {"[C]", "header C"},
        {"R", ""},
        {"w=4", "key w=4: w|4 refused"},
        {"[]", "header  after []"},
        {"R", ""},
        {"w=4", "key w=4: w|4 after []"},
        {"[D]", "header D"},
        {"", "blank"},
        {"z=3", "key z=3: z|3 @21"}};
    R reader;
    int index = 0;
    for (const auto& [text, description] : lines) {
        if (text == std::string("R")) {
            reader.RefuseSection();
            continue;
        }
        const R::Line& line = reader.Read(text);
        EXPECT_EQ(Describe(line), description) << '"' << text << '"';
        EXPECT_EQ(line.bytes, text);
        EXPECT_EQ(line.index, index++);
    }
    EXPECT_EQ(Describe(R().Read("\xEF\xBB[A]")), "no= \xEF\xBB[A] early");
}

}  // namespace
