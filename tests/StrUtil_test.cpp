#include "StrUtil.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(SkipBeginAndTailBlank, BufferAndStringForms) {
    struct Case {
        std::string text;
        int start;            // offset of the buffer form's result, -1 for null
        std::string after;    // the buffer afterwards
        std::string trimmed;  // the string form's result
    } cases[] = {
        {"  a b \t", 2, std::string("  a b\0\t", 7), "a b"},
        {"x", 0, "x", "x"},
        {" \t ", -1, " \t ", ""},
        {"", -1, "", ""},
        {"a \n", 0, "a \n", "a \n"},  // line ends are not blanks
        {"\ta\r", 1, "\ta\r", "a\r"},
        {std::string(" x \0 y", 6), 1, std::string(" x\0\0 y", 6), "x"},  // up to the NUL
    };
    for (const Case& c : cases) {
        std::string buffer = c.text;
        const char* result = SkipBeginAndTailBlank(&buffer[0]);
        EXPECT_EQ(result ? result - &buffer[0] : -1, c.start) << '"' << c.text << '"';
        EXPECT_EQ(buffer, c.after) << '"' << c.text << '"';
        std::string argument = c.text;
        EXPECT_EQ(SkipBeginAndTailBlank(argument), c.trimmed) << '"' << c.text << '"';
        EXPECT_EQ(argument, c.text);
    }
    EXPECT_EQ(SkipBeginAndTailBlank(static_cast<char*>(nullptr)), nullptr);
}

TEST(String2Int, ReadsLikePercentDWithinRange) {
    struct Case {
        const char* text;
        bool ok;
        int value;  // starting from 7
    } cases[] = {
        {"", false, 7},  // empty: untouched
        {"abc", false, 0},
        {"   ", false, 0},
        {"- 1", false, 0},
        {"12px", true, 12},
        {"  -45", true, -45},
        {"+8", true, 8},
        {"\n\t3", true, 3},
        {"0x1F", true, 0},
        {"2147483647", true, 2147483647},
        {"-2147483648", true, -2147483647 - 1},
        // Digits beyond int fail with 0 instead of a platform's value.
        {"2147483648", false, 0},
        {"-2147483649", false, 0},
        {"99999999999", false, 0},
    };
    for (const Case& c : cases) {
        int value = 7;
        EXPECT_EQ(String2Int(c.text, value), c.ok) << '"' << c.text << '"';
        EXPECT_EQ(value, c.value) << '"' << c.text << '"';
    }
}

}  // namespace
