#include "Platform.h"

#include <gtest/gtest.h>

namespace {

TEST(Stricmp, FoldsAsciiLettersOnly) {
    struct Case {
        const char* a;
        const char* b;
        int sign;
    } cases[] = {
        {"name", "NAME", 0}, {"Name=1", "name=1", 0}, {"", "", 0},       {"a", "b", -1},
        {"B", "a", 1},       {"abc", "ab", 1},        {"ab", "abc", -1}, {"\xC4", "\xE4", -1},
        {"[", "{", -1},      {"name ", "name", 1},
    };
    for (const Case& c : cases) {
        int r = qelcfg::detail::Stricmp(c.a, c.b);
        int sign = (r > 0) - (r < 0);
        EXPECT_EQ(sign, c.sign) << '"' << c.a << "\" vs \"" << c.b << '"';
    }
}

}  // namespace
