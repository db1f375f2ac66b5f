// Results that must not depend on the target: whether char is signed (it is on x86-64,
// not on 32-bit ARM), how wide long and long double are, and what the C library's
// conversions do with numbers beyond their type. The suite runs on both targets.
#include "IniGrammar.h"
#include "IniPair.h"
#include "IniSection.h"
#include "StrUtil.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>

namespace {

// Bytes with the high bit set, the blanks and white space with 0x80 added among them,
// are text wherever they stand: at the ends of a line, a key or an item, and before a
// number.
TEST(Portability, HighBytesAreNeverBlanks) {
    for (const char* high : {"\xA0", "\x89", "\x8A", "\x8B", "\x8D", "\x80", "\xFF"}) {
        const std::string h = high;
        std::string buffer = " " + h + "x" + h + "\t";
        const char* trimmed = SkipBeginAndTailBlank(&buffer[0]);
        ASSERT_NE(trimmed, nullptr);
        EXPECT_EQ(std::string(trimmed), h + "x" + h);
        std::string text = "\t" + h + " ";
        EXPECT_EQ(SkipBeginAndTailBlank(text), h);

        CIniLineReader reader;
        EXPECT_EQ(reader.Read((" " + h).c_str()).kind, CIniLineReader::kNoEquals);
        EXPECT_EQ(reader.Read((h + "[S]").c_str()).kind, CIniLineReader::kNoEquals);
        EXPECT_EQ(reader.Read(("[S]" + h).c_str()).kind, CIniLineReader::kNoEquals);
        EXPECT_EQ(reader.Read((h + "#c").c_str()).kind, CIniLineReader::kNoEquals);

        CIniSection section("S");
        ASSERT_TRUE(section.AddKV(
            (" " + h + "k" + h + " = " + h + "v" + h + " , " + h + "7").c_str(), false));
        CIniPair* pair = section.FindKey((h + "k" + h).c_str());
        ASSERT_NE(pair, nullptr);
        EXPECT_EQ(pair->GetWholeValue(), h + "v" + h + "," + h + "7");
        ASSERT_TRUE(pair->WriteString(9, ("\t" + h + " ," + h + " ").c_str()));
        EXPECT_EQ(pair->GetWholeValue(), h + "v" + h + "," + h + "7," + h + "," + h);

        int i = 5;
        unsigned u = 5;
        unsigned long color = 5;
        double d = 5;
        EXPECT_FALSE(String2Int(h + "7", i));
        EXPECT_FALSE(pair->GetInt(1, i) || pair->GetUnsignedInt(1, u) || pair->GetColor(1, color) ||
                     pair->GetFloat(1, d));
        EXPECT_TRUE(i == 0 && u == 0 && color == 0xFFFFFFFFul && d == 0.0);
    }
}

// The C library reads digits beyond 32 bits differently where long has 32 bits (it
// saturates) and where it has 64 (it wraps); the library reads them as false everywhere.
TEST(Portability, NumbersBeyondTheirTypeReadTheSameEverywhere) {
    const unsigned long kAll = 0xFFFFFFFFul;
    struct Case {
        const char* item;
        bool intOk;
        int i;
        bool uintOk;
        unsigned u;
        bool colorOk;
        unsigned long color;
    } cases[] = {
        {"-2147483649", false, 0, true, 2147483647u, true, 2147483647ul},
        {"-4294967295", false, 0, true, 1u, true, 1ul},
        {"-4294967296", false, 0, false, 0u, false, kAll},
        {"+4294967296", false, 0, false, 0u, false, kAll},
        {"18446744073709551615", false, 0, false, 0u, false, kAll},
        {"18446744073709551616", false, 0, false, 0u, false, kAll},
        {"-9223372036854775809", false, 0, false, 0u, false, kAll},
        {"000000000000000000002147483647", true, INT_MAX, true, 2147483647u, true, 2147483647ul},
        {"-00000000000000000002147483648", true, INT_MIN, true, 2147483648u, true, 2147483648ul},
        {"000000000000000000004294967295", false, 0, true, 4294967295u, true, kAll},
    };
    for (const Case& c : cases) {
        CIniPair pair("K");
        ASSERT_TRUE(pair.WriteString(0, c.item));
        int i = 5;
        unsigned u = 5;
        unsigned long color = 5;
        EXPECT_EQ(pair.GetInt(0, i), c.intOk) << c.item;
        EXPECT_EQ(pair.GetUnsignedInt(0, u), c.uintOk) << c.item;
        EXPECT_EQ(pair.GetColor(0, color), c.colorOk) << c.item;
        EXPECT_EQ(i, c.i) << c.item;
        EXPECT_EQ(u, c.u) << c.item;
        EXPECT_EQ(color, c.color) << c.item;
        int value = 5;
        EXPECT_EQ(String2Int(c.item, value), c.intOk) << c.item;
        EXPECT_EQ(value, c.i) << c.item;
    }
}

// Written texts are the same bytes on every target, including the rounding of the sixth
// decimal, which must come from the double itself (long double is 80 bits wide on x86
// but as wide as double on ARM), and each text reads back as the value written.
TEST(Portability, TypedWritesGiveTheSameTextEverywhere) {
    CIniPair pair("K");
    ASSERT_TRUE(pair.WriteInt(9, INT_MIN) && pair.WriteInt(9, INT_MAX));
    ASSERT_TRUE(pair.WriteUnsignedInt(9, UINT_MAX) && pair.WriteColor(9, 0xFFFFFFFFul) &&
                pair.WriteColor(9, 0ul));
    for (double d : {-0.0, 0.1, -123456.789, 5e-7, 9.9999995, 1.0000005}) {
        ASSERT_TRUE(pair.WriteFloat(99, d));
    }
    EXPECT_EQ(pair.GetWholeValue(),
              "-2147483648,2147483647,4294967295,4294967295,0,"
              "-0.000000,0.100000,-123456.789000,0.000000,9.999999,1.000001");

    int i = 0;
    unsigned u = 0;
    unsigned long color = 0;
    double d = 0;
    EXPECT_TRUE(pair.GetInt(0, i) && i == INT_MIN);
    EXPECT_TRUE(pair.GetInt(1, i) && i == INT_MAX);
    EXPECT_TRUE(pair.GetUnsignedInt(2, u) && u == UINT_MAX);
    EXPECT_TRUE(pair.GetColor(3, color) && color == 0xFFFFFFFFul);
    EXPECT_TRUE(pair.GetColor(4, color) && color == 0ul);
    EXPECT_TRUE(pair.GetFloat(6, d) && d == 0.1);
    EXPECT_TRUE(pair.GetFloat(7, d) && d == -123456.789);
}

}  // namespace
