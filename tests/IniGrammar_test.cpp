#include "IniGrammar.h"

#include <gtest/gtest.h>

namespace {

TEST(CIniLineScanner, ClassifiesByTheFirstRuleThatApplies) {
    using K = CIniLineScanner::LineKind;
    struct Case {
        const char* line;
        K kind;
        const char* text;  // the header name, or the key line as a section takes it
    } cases[] = {
        {"", K::kBlank, ""},
        {" \t ", K::kBlank, ""},
        {"\r", K::kKeyLine, "\r"},
        {"# note", K::kComment, ""},
        {"#", K::kComment, ""},
        {"#[", K::kComment, ""},
        {" #[Old] ", K::kCommentedHeader, ""},
        {"#[]", K::kCommentedHeader, ""},
        {"[A]", K::kHeader, "A"},
        {"\t[ A b ]  ", K::kHeader, " A b "},
        {"[]", K::kHeader, ""},
        {"[[x]]", K::kHeader, "[x]"},
        {"[", K::kKeyLine, "["},
        {"[x=1", K::kKeyLine, "[x=1"},
        {"  key = v  \t", K::kKeyLine, "  key = v"},
        {";k=v", K::kKeyLine, ";k=v"},
        {"x]", K::kKeyLine, "x]"},
    };
    for (const Case& c : cases) {
        CIniLineScanner scanner;
        scanner.Scan("");
        K kind = scanner.Scan(c.line);
        EXPECT_EQ(kind, c.kind) << '"' << c.line << '"';
        if (kind == K::kHeader) {
            EXPECT_EQ(scanner.HeaderName(), c.text) << '"' << c.line << '"';
        } else if (kind == K::kKeyLine) {
            EXPECT_STREQ(scanner.KeyLine(), c.text) << '"' << c.line << '"';
        }
    }
}

TEST(CIniLineScanner, PassesOverAByteOrderMarkOnTheFirstLineOnly) {
    CIniLineScanner scanner;
    EXPECT_EQ(scanner.Scan("\xEF\xBB\xBF[A]"), CIniLineScanner::kHeader);
    EXPECT_EQ(scanner.HeaderName(), "A");
    EXPECT_EQ(scanner.Scan("\xEF\xBB\xBF[B]"), CIniLineScanner::kKeyLine);
}

}  // namespace
