#include "StrUtil.h"

#include "TestUtil.h"

namespace {

using S = std::string;

// Only the space and the tab are blanks: line ends and bytes with the high bit set (the
// blanks and white space plus 0x80 among them) are text wherever they stand.
TEST(SkipBeginAndTailBlank, BufferAndStringForms) {
    // The text; the offset of the buffer form's result (-1: null) and the buffer after it;
    // the string form's result, which ends at a NUL.
    const std::tuple<S, int, S, S> cases[] = {
        {"  a b \t", 2, S("  a b\0\t", 7), "a b"},
        {"x", 0, "x", "x"},
        {" \t ", -1, " \t ", ""},
        {"", -1, "", ""},
        {"a \n", 0, "a \n", "a \n"},
        {"\ta\r", 1, "\ta\r", "a\r"},
        {S(" x \0 y", 6), 1, S(" x\0\0 y", 6), "x"},
        {" \xA0x\x89\t", 1, S(" \xA0x\x89\0", 5), "\xA0x\x89"},
        {"\t\x8A \x80 \xFF ", 1, S("\t\x8A \x80 \xFF\0", 7), "\x8A \x80 \xFF"}};
    for (const auto& [text, start, after, trimmed] : cases) {
        S buffer = text, argument = text;
        const char* result = SkipBeginAndTailBlank(&buffer[0]);
        EXPECT_EQ(result ? result - &buffer[0] : -1, start) << '"' << text << '"';
        EXPECT_EQ(buffer, after) << '"' << text << '"';
        EXPECT_EQ(SkipBeginAndTailBlank(argument), trimmed) << '"' << text << '"';
        EXPECT_EQ(argument, text);
    }
    EXPECT_EQ(SkipBeginAndTailBlank(static_cast<char*>(nullptr)), nullptr);
}

// "%d" within the range of int, as GetInt reads an item (its table has the number texts);
// the value starts as 7, which only the empty text leaves.
TEST(String2Int, ReadsLikePercentDWithinRange) {
    const std::tuple<S, bool, int> cases[] = {
        {"", false, 7},  {"abc", false, 0},  {"   ", false, 0},        {"  -45", true, -45},
        {"+8", true, 8}, {"12px", true, 12}, {"2147483648", false, 0}, {S("5\0006", 3), true, 5}};
    for (const auto& [text, ok, expected] : cases) {
        int value = 7;
        EXPECT_EQ(String2Int(text, value), ok) << '"' << text << '"';
        EXPECT_EQ(value, expected) << '"' << text << '"';
    }
}

}  // namespace
