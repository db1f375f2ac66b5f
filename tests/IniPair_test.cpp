#include "IniPair.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "TestUtil.h"

namespace {

using Items = std::vector<std::string>;

Items ItemsOf(const CIniPair& pair) {
    return {pair.begin(), pair.end()};
}

// An entry holding exactly these items (the list's own add: nothing trimmed), joined.
CIniPair WithItems(const Items& items) {
    CIniPair pair("K");
    for (const std::string& item : items) {
        pair.CIniValue<std::string, std::string>::AddValue(item, -1);
    }
    pair.WholeValue();
    return pair;
}

TEST(CIniPair, DivValue) {
    struct Case {
        std::string whole;
        Items items;
        std::string after;
    } cases[] = {
        {"", {""}, ""},
        {"  abc  ", {"abc"}, "abc"},
        {"1,2", {"1", "2"}, "1,2"},
        {" a , b ", {"a", "b"}, " a , b "},  // with a comma: left as it was
        {"a,,b", {"a", "", "b"}, "a,,b"},
        {",a", {"", "a"}, ",a"},
        {"a,", {"a"}, "a,"},
        {"a, ", {"a", ""}, "a, "},
        {",", {""}, ","},
        {"a\r, b\n", {"a\r", "b\n"}, "a\r, b\n"},
        {std::string(" x\0y , z", 8), {"x", "z"}, std::string(" x\0y , z", 8)},
    };
    for (const Case& c : cases) {
        CIniPair pair = WithItems({"old", "items"});
        pair.GetNextValue();
        pair.SetWholeValue(c.whole);
        pair.DivValue();
        EXPECT_EQ(ItemsOf(pair), c.items) << '"' << c.whole << '"';
        EXPECT_EQ(pair.GetWholeValue(), c.after);
        EXPECT_EQ(pair.GetNextValue(), pair.GetValuePtr(0));  // cursor back at 0
    }
    EXPECT_EQ(WithItems({" x ", "y,z", ""}).GetStringIniPair(), "K= x ,y,z,");  // joined as is
    CIniPair unsplit("a=b");                                                    // a key, not a line
    unsplit.SetWholeValue("x");
    unsplit.WholeValue();  // no items: unchanged
    EXPECT_EQ(unsplit.GetStringIniPair(), "a=b=x");
}

TEST(CIniPair, AddAndRemoveText) {
    struct Case {
        Items before;
        std::string text;
        int index;
        std::string whole;
    } adds[] = {
        {{}, "10, 20", -1, "10,20"},
        {{"a", "b", "c"}, "x,y", 1, "a,x,y,b,c"},
        {{"a", "b", "c"}, "x,y", 0, "x,y,a,b,c"},
        {{"a", "b", "c"}, "x,y", 3, "a,b,c,x,y"},
        {{"a", "b", "c"}, "x,y", 9, "a,b,c,x,y"},
        {{"a"}, "", -1, "a,"},
        {{"a"}, "a", -1, "a,a"},
        // An item ends at its first NUL, as the string form of trimming cuts it.
        {{"a"}, std::string(" x\0y , z\0", 10), 1, "a,x,z"},
    };
    for (const Case& c : adds) {
        CIniPair pair = WithItems(c.before);
        pair.AddValue(c.text, c.index);
        EXPECT_EQ(pair.GetWholeValue(), c.whole) << '"' << c.text << "\" at " << c.index;
    }
    CIniPair pair = WithItems({"a", "b"});
    pair.AddValue("b, c, c", true);  // only what is not yet there, once
    EXPECT_EQ(pair.GetWholeValue(), "a,b,c");
    pair.AddValue("b, c", false);
    pair.AddValue(*pair.GetValuePtr(1), 0);  // an item of the entry itself
    EXPECT_EQ(pair.GetWholeValue(), "b,a,b,c,b,c");

    struct RemoveCase {
        Items before;
        std::string text;
        bool result;  // for the last item of the text
        std::string whole;
    } removes[] = {
        {{"a", "b", "a"}, "a", true, "b,a"},
        {{"a", "b"}, "a, x", false, "b"},
        {{"a", "b"}, "x, b", true, "a"},
        {{"a", "b"}, "A", false, "a,b"},
        // Removing the last item leaves the empty whole value.
        {{"a"}, "a", true, ""},
        {{"a", "b"}, "b,a", true, ""},
    };
    for (const RemoveCase& c : removes) {
        CIniPair entry = WithItems(c.before);
        EXPECT_EQ(entry.RemoveValue(c.text), c.result) << '"' << c.text << '"';
        EXPECT_EQ(entry.GetWholeValue(), c.whole) << '"' << c.text << '"';
    }
    CIniPair unsplit("K");
    unsplit.SetWholeValue("x");
    EXPECT_FALSE(unsplit.RemoveValue("x"));  // nothing removed: the whole value stays
    EXPECT_EQ(unsplit.GetWholeValue(), "x");
}

TEST(CIniPair, TypedReads) {
    const unsigned long kAll = 0xFFFFFFFFul;
    struct Case {
        std::string item;
        bool intOk;
        int i;
        bool uintOk;
        unsigned u;
        bool colorOk;
        unsigned long color;
    } cases[] = {
        {"42", true, 42, true, 42, true, 42},
        {"", true, 0, true, 0, true, kAll},  // empty item: true, the default
        {"x", false, 0, false, 0, false, kAll},
        {"12px", true, 12, true, 12, true, 12},
        {"0x1F", true, 0, true, 0, true, 0},
        {" \t7", true, 7, true, 7, true, 7},
        {"-1", true, -1, true, 4294967295u, true, kAll},  // "-" keeps the C result
        {"4294967295", false, 0, true, 4294967295u, true, kAll},
        // Digits beyond the type fail with the default on every platform.
        {"2147483648", false, 0, true, 2147483648u, true, 2147483648ul},
        {"4294967296", false, 0, false, 0, false, kAll},
        {"99999999999", false, 0, false, 0, false, kAll},
    };
    for (const Case& c : cases) {
        CIniPair pair = WithItems({c.item});
        int i = 5;
        unsigned u = 5;
        unsigned long color = 5;
        EXPECT_EQ(pair.GetInt(0, i), c.intOk) << '"' << c.item << '"';
        EXPECT_EQ(pair.GetUnsignedInt(0, u), c.uintOk) << '"' << c.item << '"';
        EXPECT_EQ(pair.GetColor(0, color), c.colorOk) << '"' << c.item << '"';
        EXPECT_EQ(i, c.i);
        EXPECT_EQ(u, c.u);
        EXPECT_EQ(color, c.color);
    }
    struct BoolCase {
        std::string item;
        bool ok, value;
    } bools[] = {{"Yes", true, true}, {"y", true, true},  {"No", true, false},
                 {"n", true, false},  {"", true, true},   {"maybe", false, true},
                 {"0", false, true},  {" Y", false, true}};
    for (const BoolCase& c : bools) {
        bool b = !c.value;
        EXPECT_EQ(WithItems({c.item}).GetBool(0, b), c.ok) << '"' << c.item << '"';
        EXPECT_EQ(b, c.value) << '"' << c.item << '"';
    }
    CIniPair pair = WithItems({"42"});
    int i = 5;
    double d = 5;
    bool b = false;
    char text[4] = "abc";
    EXPECT_FALSE(pair.GetInt(1, i) || pair.GetFloat(-1, d) || pair.GetBool(1, b));
    EXPECT_TRUE(i == 0 && d == 0.0 && b);
    EXPECT_FALSE(pair.GetString(1, text, 4));
    EXPECT_STREQ(text, "");
    EXPECT_TRUE(WithItems({"abc"}).GetString(0, text, 4));
    EXPECT_STREQ(text, "abc");
    EXPECT_FALSE(WithItems({"abcd"}).GetString(0, text, 4));
    EXPECT_STREQ(text, "");
    EXPECT_FALSE(pair.GetString(0, nullptr, 4));
}

TEST(CIniPair, GetStringNeverWritesPastItsSize) {
    for (const std::string& item : {std::string(), std::string("abc"), std::string(600, 'v')}) {
        CIniPair pair = WithItems({item, "next"});
        qeltest::ExpectBoundedCopy(item, [&](char* buffer, std::size_t size) {
            return pair.GetString(0, buffer, static_cast<int>(size));
        });
    }
}

TEST(CIniPair, WriteStringTakesAView) {
    struct Case {
        int index;
        std::string text;
        bool ok;
        std::string whole;
    } cases[] = {
        {1, "x, y", true, "a,x,y,b"},
        {9, "", true, "a,b,"},
        {-1, "x", false, "a,b"},
        {0, std::string("x\0y", 3), false, "a,b"},
    };
    for (const Case& c : cases) {
        CIniPair pair = WithItems({"a", "b"});
        EXPECT_EQ(pair.WriteString(c.index, std::string_view(c.text)), c.ok) << c.index;
        EXPECT_EQ(pair.GetWholeValue(), c.whole) << c.index;
    }
}

// GetFloat reads as the C library's "%lf" in the "C" locale, without calling it.
TEST(CIniPair, GetFloatReadsAsScanfInTheCLocale) {
    struct Case {
        const char* item;
        bool ok;
        double value;
    } cases[] = {{"2.5", true, 2.5}, {"abc", false, 0.0},     {"-0.25x", true, -0.25},
                 {"1e", true, 1.0},  {".", false, 0.0},       {"0x1p3", true, 8.0},
                 {"0x", false, 0.0}, {"infinit", false, 0.0}, {"1e999", true, HUGE_VAL},
                 {"1,5", true, 1.0}};
    for (const Case& c : cases) {
        double d = 5;
        EXPECT_EQ(WithItems({c.item}).GetFloat(0, d), c.ok) << c.item;
        EXPECT_EQ(d, c.value) << c.item;
    }
#ifdef __GLIBC__
    std::mt19937 random(12345);
    const char alphabet[] = "0123456789.eEpPxX+- \tinfatyINF(";
    for (int n = 0; n < 20000; ++n) {
        std::string item;
        for (int length = random() % 8; length > 0; --length) {
            item += alphabet[random() % (sizeof alphabet - 1)];
        }
        double expected = 0.0;
        const bool ok = item.empty() || std::sscanf(item.c_str(), "%lf", &expected) == 1;
        double d = 5;
        ASSERT_EQ(WithItems({item}).GetFloat(0, d), ok) << '"' << item << '"';
        ASSERT_TRUE(std::isnan(expected) ? std::isnan(d) : d == (ok ? expected : 0.0)) << item;
    }
#endif
}

TEST(CIniPair, TypedWritesInsert) {
    struct Case {
        Items before;
        bool (*write)(CIniPair&);
        bool ok;
        std::string whole;
    } cases[] = {
        {{},
         [](CIniPair& p) { return p.WriteBool(0, true) && p.WriteBool(5, false); },
         true,
         "Y,N"},
        {{"1", "2"}, [](CIniPair& p) { return p.WriteInt(0, 5); }, true, "5,1,2"},
        {{}, [](CIniPair& p) { return p.WriteInt(0, -7); }, true, "-7"},
        {{"1"}, [](CIniPair& p) { return p.WriteInt(-1, 3); }, false, "1"},
        {{}, [](CIniPair& p) { return p.WriteUnsignedInt(0, 4294967295u); }, true, "4294967295"},
        {{}, [](CIniPair& p) { return p.WriteFloat(0, -0.25); }, true, "-0.250000"},
        // 1e22 and beyond are written in full.
        {{},
         [](CIniPair& p) { return p.WriteFloat(0, 1e22); },
         true,
         "10000000000000000000000.000000"},
        {{}, [](CIniPair& p) { return p.WriteColor(0, 0xFFFFFFFFul); }, true, "4294967295"},
        {{"a", "b"}, [](CIniPair& p) { return p.WriteString(1, "x, y"); }, true, "a,x,y,b"},
    };
    for (const Case& c : cases) {
        CIniPair pair = WithItems(c.before);
        EXPECT_EQ(c.write(pair), c.ok) << c.whole;
        EXPECT_EQ(pair.GetWholeValue(), c.whole);
    }
    CIniPair pair;
    double d = 0;
    EXPECT_TRUE(pair.WriteFloat(0, -1.7976931348623157e308) && pair.GetFloat(0, d));
    EXPECT_EQ(d, -1.7976931348623157e308);
    if (sizeof(unsigned long) > 4) {  // A colour has 32 bits.
        EXPECT_FALSE(pair.WriteColor(0, static_cast<unsigned long>(0xFFFFFFFFull + 1)));
        EXPECT_EQ(pair.size(), 1u);
    }
}

// "." is the decimal point whatever the process locale.
TEST(CIniPair, FloatsIgnoreTheLocale) {
    const std::string saved = std::setlocale(LC_NUMERIC, nullptr);
    const char* comma = nullptr;
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "de_DE", "fr_FR.UTF-8", "fr_FR.utf8",
                             "nl_NL.UTF-8", "ru_RU.UTF-8"}) {
        if (std::setlocale(LC_NUMERIC, name) &&
            std::strcmp(std::localeconv()->decimal_point, ",") == 0) {
            comma = name;
            break;
        }
    }
    CIniPair pair = WithItems({"2.5"});
    double d = 0;
    const bool ok = comma && pair.WriteFloat(1, 1.5) && pair.GetFloat(0, d);
    std::setlocale(LC_NUMERIC, saved.c_str());
    if (!comma) {
        GTEST_SKIP() << "no decimal-comma locale is installed";
    }
    EXPECT_TRUE(ok) << comma;
    EXPECT_EQ(pair.GetWholeValue(), "2.5,1.500000") << comma;
    EXPECT_EQ(d, 2.5) << comma;
}

}  // namespace
