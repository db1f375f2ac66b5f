#include "IniPair.h"

#include <climits>
#include <clocale>
#include <cmath>
#include <limits>
#include <string_view>
#include <variant>

#include "TestUtil.h"

namespace {

using S = std::string;
using Items = std::vector<S>;

// An entry holding exactly these items (the list's own add: nothing trimmed), joined.
CIniPair WithItems(const Items& items) {
    CIniPair pair("K");
    for (const S& item : items) {
        pair.CIniValue<S, S>::AddValue(item, -1);
    }
    pair.WholeValue();
    return pair;
}

// The whole value, then each item as the indexed reads see it (bounded by the count).
S Dump(const CIniPair& pair) {
    S dump = pair.GetWholeValue();
    for (int i = 0; const S* item = pair.GetValuePtr(i); ++i) {
        dump += "|" + *item;
    }
    return dump;
}

// A whole value with a comma is left as it was; one without is trimmed
// (tests/data/pair/divisions.tsv).
TEST(CIniPair, DivValueSplitsTheWholeValue) {
    for (const auto& row : qeltest::ReadTable("pair/divisions.tsv")) {
        SCOPED_TRACE('"' + row[0] + '"');
        CIniPair pair = WithItems({"old", "items"});
        pair.GetNextValue();
        pair.SetWholeValue(row[0]);
        pair.DivValue();
        EXPECT_EQ(Dump(pair), row[1]);
        EXPECT_EQ(pair.GetNextValue(), pair.GetValuePtr(0));  // cursor back at 0
    }
    EXPECT_EQ(WithItems({" x ", "y,z", ""}).GetStringIniPair(), "K= x ,y,z,");  // joined as is
    CIniPair pair("a=b");                                                       // a key, not a line
    pair.SetWholeValue("x");
    pair.WholeValue();  // no items: unchanged
    EXPECT_EQ(pair.GetStringIniPair(), "a=b=x");
    pair.AddValue("1, 2", -1);
    pair.Clear();  // keeps the key only
    EXPECT_EQ(Dump(pair) + pair.GetStringIniPair(), "a=b=");
}

// AddValue inserts the items of its text at an index (appends at or beyond the end), or
// adds those not yet present; RemoveValue reports the last item of its text.
TEST(CIniPair, TextFormsSplitChangeAndJoin) {
    const std::tuple<Items, S, std::variant<int, bool>, S> adds[] = {
        {{}, "10, 20", -1, "10,20|10|20"},
        {{"a", "b", "c"}, "x,y", 1, "a,x,y,b,c|a|x|y|b|c"},
        {{"a", "b", "c"}, "x,y", 0, "x,y,a,b,c|x|y|a|b|c"},
        {{"a", "b", "c"}, "x,y", 3, "a,b,c,x,y|a|b|c|x|y"},
        {{"a"}, "", -1, "a,|a|"},
        {{"a"}, S(" x\0y , z\0", 10), 0, "x,z,a|x|z|a"},
        {{"a", "b"}, "b, c, c", true, "a,b,c|a|b|c"},
        {{"a", "b"}, "b, c, c", false, "a,b,b,c,c|a|b|b|c|c"},
        {{"a"}, "A", true, "a,A|a|A"}};
    for (const auto& [before, text, where, after] : adds) {
        CIniPair pair = WithItems(before);
        std::visit([&, &text = text](auto at) { pair.AddValue(text, at); }, where);
        EXPECT_EQ(Dump(pair), after) << '"' << text << '"';
    }
    const std::tuple<Items, S, bool, S> removes[] = {
        {{"a", "b", "a"}, "a", true, "b,a|b|a"},
        {{"a", "b"}, "a, x", false, "b|b"},
        {{"a", "b"}, "x, b", true, "a|a"},
        {{"a", "b"}, "A", false, "a,b|a|b"},
        {{"a", "b"}, S("b\0a", 3), true, "a|a"},  // an item ends at its first NUL
        {{"a", "b"}, "b,a", true, ""}};           // a removed item does not stay in the whole value
    for (const auto& [before, text, result, after] : removes) {
        CIniPair pair = WithItems(before);
        EXPECT_EQ(pair.RemoveValue(text), result) << '"' << text << '"';
        EXPECT_EQ(Dump(pair), after) << '"' << text << '"';
    }
    CIniPair unsplit("K");
    unsplit.SetWholeValue("x");
    EXPECT_FALSE(unsplit.RemoveValue("x"));  // nothing removed: the whole value stays
    EXPECT_EQ(Dump(unsplit), "x");
    CIniPair self = WithItems({"a", "b"});  // texts that are items of the entry itself
    self.AddValue(*self.GetValuePtr(1), false);
    self.AddValue(*self.GetValuePtr(0), 2);
    EXPECT_TRUE(self.RemoveValue(*self.GetValuePtr(1)));
    EXPECT_EQ(Dump(self), "a,a,b|a|a|b");
}

template <class T>
using Reads = std::tuple<S, bool, T>;  // an entry's only item, the result, the value

// A read, here its const form, stores its default first, and keeps it when there is no item at the
// index or the item holds no value; an empty item reads as true with the default. Values are
// compared bit for bit, so that -0.0 is not 0.0 and a NaN is itself.
template <class T, std::size_t N>
void ExpectReads(bool (CIniPair::*get)(int, T&) const, T fallback, T start,
                 const Reads<T> (&rows)[N]) {
    for (const auto& [item, ok, expected] : rows) {
        CIniPair pair = WithItems({item});
        for (int index : {0, 1, -1}) {
            T value = start;
            EXPECT_EQ((pair.*get)(index, value), ok && index == 0) << '"' << item << '"' << index;
            const T want = index == 0 ? expected : fallback;
            EXPECT_EQ(std::memcmp(&value, &want, sizeof value), 0) << '"' << item << '"' << value;
        }
    }
    T value = start;
    EXPECT_TRUE((WithItems({""}).*get)(0, value));
    EXPECT_EQ(value, fallback);
}

// One table per typed read. Numbers beyond their type read as false on every target,
// whatever the width of the C library's long; "%u" negates a leading "-" modulo 2^32;
// "%lf" takes the longest valid prefix, infinite or zero beyond the range of double
// however long the mantissa. "." is the decimal point whatever the process locale.
TEST(CIniPair, TypedReads) {
    const S saved = std::setlocale(LC_NUMERIC, nullptr);
    std::setlocale(LC_NUMERIC, "de_DE.UTF-8") || std::setlocale(LC_NUMERIC, "de_DE.utf8");
    const Reads<int> ints[] = {{"42", true, 42},
                               {"x", false, 0},
                               {"0x1F", true, 0},
                               {" \t\n-45px", true, -45},
                               {"+8", true, 8},
                               {"\xA0+7", false, 0},
                               {"-2147483648", true, INT_MIN},
                               {"2147483648", false, 0},
                               {"-2147483649", false, 0},
                               {"000000000000000000002147483647", true, INT_MAX}};
    ExpectReads(&CIniPair::GetInt, 0, 5, ints);
    const Reads<unsigned> uints[] = {{"+42", true, 42},
                                     {"-1", true, UINT_MAX},
                                     {"-4294967295", true, 1},
                                     {"-4294967296", false, 0},
                                     {"000000000000000000004294967295", true, UINT_MAX},
                                     {"18446744073709551615", false, 0}};
    ExpectReads(&CIniPair::GetUnsignedInt, 0u, 5u, uints);
    const unsigned long kAll = 0xFFFFFFFFul;
    const Reads<unsigned long> colors[] = {
        {"255", true, 255}, {"x", false, kAll}, {"4294967296", false, kAll}};
    ExpectReads(&CIniPair::GetColor, kAll, 5ul, colors);
    const S zeros(400, '0');
    const Reads<double> floats[] = {{"2.5", true, 2.5},
                                    {"abc", false, 0.0},
                                    {" ", false, 0.0},
                                    {"-0.25x", true, -0.25},
                                    {"1e", true, 1.0},
                                    {"1e-2", true, 0.01},
                                    {"1E+2", true, 100.0},
                                    {"0x1p3", true, 8.0},
                                    {"0x", false, 0.0},
                                    {"nan", true, std::numeric_limits<double>::quiet_NaN()},
                                    {"-Infinity", true, -HUGE_VAL},
                                    {"infinit", false, 0.0},
                                    {"1e400", true, HUGE_VAL},
                                    {"-1e-400", true, -0.0},
                                    {"1e99999999999999999999", true, HUGE_VAL},
                                    {"1" + zeros, true, HUGE_VAL},
                                    {"1" + zeros + "e-100", true, 1e300},
                                    {"1." + zeros + "5e-330", true, 0.0},
                                    {"1" + zeros + "e-10", true, HUGE_VAL},
                                    {".", false, 0.0},
                                    {"0." + zeros + "5e10", true, 0.0},
                                    {"0x1" + zeros, true, HUGE_VAL}};
    ExpectReads(&CIniPair::GetFloat, 0.0, 5.0, floats);
    const Reads<bool> bools[] = {{"Yes", true, true}, {"y", true, true},      {"No", true, false},
                                 {"n", true, false},  {"maybe", false, true}, {" Y", false, true}};
    ExpectReads(&CIniPair::GetBool, true, false, bools);
    std::setlocale(LC_NUMERIC, saved.c_str());
}

// The item with its NUL when both fit in `size` bytes, else the empty text. Nothing is
// written past the NUL, and a buffer of no bytes is not touched.
TEST(CIniPair, GetStringCopiesOneItemWithinSize) {
    const std::tuple<S, int, int, bool> cases[] = {
        {"abc", 0, 4, true},  {"abc", 0, 3, false},  {"abc", 0, 0, false},       {"", 0, 1, true},
        {"abc", 1, 9, false}, {"abc", -1, 9, false}, {S(600, 'v'), 0, 601, true}};
    for (const auto& [item, index, size, ok] : cases) {
        CIniPair pair = WithItems({item});
        S buffer(size + 2, '#');
        EXPECT_EQ(pair.GetString(index, &buffer[0], size), ok) << item << index << size;
        S expected = ok ? item + '\0' : size > 0 ? S(1, '\0') : "";
        expected.resize(buffer.size(), '#');
        EXPECT_EQ(buffer, expected) << item << index << size;
    }
    EXPECT_FALSE(WithItems({"abc"}).GetString(0, nullptr, 4));
}

template <class T>
using Writes = std::tuple<int, T, S>;  // the index, the value, the whole value after

// A write into the items "a", "b" inserts the items of its text at the index (appends at
// or beyond the end) and reports true; a refused write reports false and changes nothing.
template <class T, std::size_t N>
void ExpectWrites(bool (CIniPair::*write)(int, T), const Writes<T> (&rows)[N]) {
    for (const auto& [index, value, whole] : rows) {
        CIniPair pair = WithItems({"a", "b"});
        EXPECT_EQ((pair.*write)(index, value), whole != "a,b") << whole;
        S items = whole;
        std::replace(items.begin(), items.end(), ',', '|');
        EXPECT_EQ(Dump(pair), whole + "|" + items);
    }
}

TEST(CIniPair, TypedWritesInsertTheirText) {
    const S saved = std::setlocale(LC_NUMERIC, nullptr);
    std::setlocale(LC_NUMERIC, "de_DE.UTF-8") || std::setlocale(LC_NUMERIC, "de_DE.utf8");
    const Writes<int> ints[] = {{0, 5, "5,a,b"}, {2, INT_MIN, "a,b,-2147483648"}, {-1, 3, "a,b"}};
    ExpectWrites(&CIniPair::WriteInt, ints);
    const Writes<unsigned> uints[] = {{9, UINT_MAX, "a,b,4294967295"}, {-1, 1, "a,b"}};
    ExpectWrites(&CIniPair::WriteUnsignedInt, uints);
    const bool wide = sizeof(unsigned long) > 4;  // only 32 bits of a colour are written
    const Writes<unsigned long> colors[] = {
        {0, 0xFFFFFFFFul, "4294967295,a,b"},
        {1, 65536ul, "a,65536,b"},
        {-1, 1ul, "a,b"},
        {0, 0xFFFFFFFFul + wide, wide ? "a,b" : "4294967295,a,b"}};
    ExpectWrites(&CIniPair::WriteColor, colors);
    const Writes<double> floats[] = {{0, 1.5, "1.500000,a,b"},
                                     {1, -0.0, "a,-0.000000,b"},
                                     {2, 9.9999995, "a,b,9.999999"},
                                     {2, 1.0000005, "a,b,1.000001"},
                                     {2, 1e22, "a,b,10000000000000000000000.000000"},
                                     {-1, 1.5, "a,b"}};
    ExpectWrites(&CIniPair::WriteFloat, floats);
    const Writes<bool> bools[] = {{0, true, "Y,a,b"}, {5, false, "a,b,N"}, {-1, true, "a,b"}};
    ExpectWrites(&CIniPair::WriteBool, bools);
    const Writes<const char*> texts[] = {
        {1, "x, y", "a,x,y,b"},
        {9, "", "a,b,"},
        {-1, "x", "a,b"},
        {0, nullptr, "a,b"},
        {2, "c,d,e,f,g,h,i,j,k,l,m,n,o,p,q,r,s", "a,b,c,d,e,f,g,h,i,j,k,l,m,n,o,p,q,r,s"}};
    ExpectWrites<const char*>(&CIniPair::WriteString, texts);
    const Writes<std::string_view> views[] = {{1, "x, y", "a,x,y,b"},
                                              {0, std::string_view("x\0y", 3), "a,b"}};
    ExpectWrites<std::string_view>(&CIniPair::WriteString, views);
    CIniPair pair;  // every digit of the largest double is written
    double d = 0;
    EXPECT_TRUE(pair.WriteFloat(0, -1.7976931348623157e308));
    EXPECT_TRUE(pair.GetFloat(0, d));
    EXPECT_EQ(d, -1.7976931348623157e308);
    EXPECT_EQ(pair.GetWholeValue().size(), 317u);
    std::setlocale(LC_NUMERIC, saved.c_str());
}

}  // namespace
