// The configuration tree in memory: the keyed value list, sections and the section set.
#include "Ini.h"

#include <optional>
#include <string_view>

#include "TestUtil.h"

namespace {

using S = std::string;
using List = CIniValue<S, S>;

// A list as its key, then its values (bounded by the count) in braces; an entry's whole
// value follows its braces.
S Dump(const S& text) {
    return text;
}
S Dump(const CIniPair& pair);
template <class V>
S Dump(const CIniValue<S, V>& list) {
    S dump = list.GetKey() + "{";
    for (int i = 0; const V* value = list.GetValuePtr(i); ++i) {
        dump += Dump(*value) + ";";
    }
    return dump + "}";
}
S Dump(const CIniPair& pair) {
    return Dump<S>(pair) + pair.GetWholeValue();
}

// Matching is exact and the first match wins; a position that is no value's appends. The
// cursor is an index: removing below it passes over a value, inserting below it hands one
// out again. A list shrunk behind the count's back is not read past its end.
TEST(CIniValue, AddFindRemoveAndTheCursor) {
    List list("L");
    EXPECT_EQ(list.FindV("a"), -1);
    EXPECT_EQ(list.FindValue("a"), nullptr);
    EXPECT_EQ(list.Find("a"), list.end());
    EXPECT_EQ(list.GetValuePtr(0), nullptr);
    EXPECT_EQ(list.GetNextValue(), nullptr);
    EXPECT_FALSE(list.RemoveValue("a"));
    const std::pair<const char*, int> adds[] = {{"a", 0}, {"c", 1},  {"b", 1}, {"d", 3},
                                                {"e", 7}, {"f", -1}, {"a", 0}};
    for (const auto& [value, pos] : adds) {
        const S* added = list.AddValue(value, pos);
        EXPECT_EQ(added, list.GetValuePtr(list.FindV(value))) << value;
    }
    EXPECT_EQ(Dump(list), "L{a;a;b;c;d;e;f;}");
    EXPECT_TRUE(list.RemoveValue("a"));
    EXPECT_FALSE(list.RemoveValue("A"));
    EXPECT_EQ(list.FindValue(" b"), nullptr);
    const S* replaced = list.AddValue("c", true);
    EXPECT_EQ(replaced, list.GetValuePtr(2));
    EXPECT_EQ(list.Find("c"), list.begin() + 2);
    for (int i : {6, -1, 1}) {
        list.ReplaceValue("x", i);
    }
    list[0] = "changed";  // a copy
    S out = "untouched";
    EXPECT_FALSE(list.GetValue(6, out));
    EXPECT_FALSE(list.GetValue(-1, out));
    EXPECT_TRUE(list.GetNextValue(out, 2));
    EXPECT_EQ(out, "c");
    EXPECT_EQ(list.GetValue(1), "x");
    EXPECT_TRUE(list.GetNextValue(out, 9));
    EXPECT_EQ(out, "a");  // else: under the cursor
    EXPECT_TRUE(list.GetNextValue(out, -1));
    EXPECT_EQ(out, "x");
    list.RemoveValue("a");
    EXPECT_EQ(*list.GetNextValue(), "d");
    list.AddValue("a", 0);
    EXPECT_EQ(*list.GetNextValue(), "d");
    list.GetVecValue()->resize(2);
    list.ReplaceValue("y", 4);
    EXPECT_FALSE(list.GetValue(2, out));
    EXPECT_EQ(list.FindV("c"), -1);
    EXPECT_EQ(list.GetNextValue(), nullptr);
    EXPECT_EQ(Dump(list), "L{a;x;}");
    list.Clear();  // keeps the key, restarts the cursor
    list.AddValue("n", -1);
    EXPECT_EQ(list.GetNextValue(), list.GetValuePtr(0));
    EXPECT_EQ(Dump(list), "L{n;}");
}

// Copies are deep and carry the cursor; a move leaves its source empty, with count and
// cursor 0. The copy assignments of CIniValue and CIniPair return a copy.
TEST(Tree, CopiesAreDeepAndMovesEmptyTheSource) {
    CIni ini;
    ini.AddSection("A")->AddKV("k=1, 2", false);
    ini.FindSection("A")->AddKV("j=x", false);
    ini.AddSection("B");
    const CIniSection section = *ini.GetValuePtr(0);
    const CIniPair pair = *section.GetValuePtr(0);
    auto check = [](auto source) {
        using T = decltype(source);
        source.GetNextValue();
        const S dump = Dump(source);
        SCOPED_TRACE(dump);
        T copied(source);
        T assigned, moveAssigned;
        T returned = (assigned = source);
        T moved(std::move(copied));
        moveAssigned = std::move(assigned);
        for (T* copy : {&returned, &moved, &moveAssigned}) {
            EXPECT_EQ(Dump(*copy), dump);
            EXPECT_EQ(copy->GetNextValue(), copy->GetValuePtr(1));  // the cursor came along
            copy->SetKey("changed");
            *copy->GetValuePtr(0) = *copy->GetValuePtr(1);
            EXPECT_EQ(Dump(*copy->GetValuePtr(0)), Dump(*copy->GetValuePtr(1)));
        }
        EXPECT_EQ(Dump(source), dump);
        for (T* from : {&copied, &assigned}) {
            EXPECT_EQ(Dump(*from), Dump(T()));
            from->AddValue(*source.GetValuePtr(0), -1);
            EXPECT_EQ(from->GetNextValue(), from->GetValuePtr(0));
        }
    };
    check(List(pair));
    check(pair);
    check(section);
    check(ini);
}

// A key line is split at its first "=", the key trimmed and the value split into trimmed
// items; the key-and-value form stores the key as passed (tests/data/tree/keylines.tsv).
TEST(CIniSection, AddKVTakesAKeyLineApart) {
    for (const auto& row : qeltest::ReadTable("tree/keylines.tsv")) {
        SCOPED_TRACE(row[0] + " / " + row[1]);
        const char* first = row[0] == "~" ? nullptr : row[0].c_str();
        CIniSection section("S");
        EXPECT_EQ(row[1] == "~" ? section.AddKV(first, false)
                                : section.AddKV(first, row[1].c_str(), false),
                  !row[2].empty());
        EXPECT_EQ(Dump(section), row[2].empty() ? "S{}" : "S{" + row[2] + ";}");
    }
    CIniSection section;
    EXPECT_TRUE(section.AddKV(std::string_view(" a="), S("x, y"), false));
    EXPECT_FALSE(section.AddKV("k", nullptr, false));
    EXPECT_FALSE(section.AddKV(S("k\0", 2), "v", false));
    EXPECT_EQ(Dump(section), "{ a={x;y;}x,y;}");
}

// Keys are matched whole, byte for byte: case counts and nothing is trimmed.
TEST(CIniSection, LookupsFindTheFirstEntryOfExactlyThatKey) {
    CIniSection section("S");
    section.AddKV("k=1, 2", false);
    section.AddKV("k=second", false);
    section.AddKV(" a ", "x", false);
    section.AddKV("=e", false);
    const std::tuple<const char*, int, const char*> cases[] = {
        // the entry found
        {"k", 0, "k{1;2;}1,2"}, {" a ", 2, " a {x;}x"}, {"", 3, "{e;}e"},      {"K", -1, nullptr},
        {" k", -1, nullptr},    {"a", -1, nullptr},     {nullptr, -1, nullptr}};
    for (const auto& [key, index, entry] : cases) {
        const CIniPair* found = section.FindKey(key);
        EXPECT_EQ(found ? found - section.GetValuePtr(0) : -1, index) << index;
        EXPECT_EQ(std::as_const(section).FindKey(key), found);
        EXPECT_EQ(key ? section.FindKey(S(key)) : nullptr, found) << index;
        char value[513] = "untouched";
        EXPECT_EQ(section.FindKV(key, value), entry != nullptr);
        EXPECT_EQ(value, entry ? S(std::strrchr(entry, '}') + 1) : "untouched") << index;
        CIniPair copy("other"), pointed("other");
        EXPECT_EQ(section.GetIniPair(key, copy) + section.GetIniPair(key, &pointed), entry ? 2 : 0);
        EXPECT_EQ(Dump(copy) + "/" + Dump(pointed),
                  entry ? S(entry) + "/" + entry : "other{}/other{}");
    }
    EXPECT_EQ(section.FindKey(std::string_view("k\0", 2)), nullptr);  // compared whole
    CIniPair copy;
    section.GetIniPair("k", copy);
    copy.WriteInt(0, 9);
    section.FindKey("k")->WriteInt(0, 7);  // the stored entry itself
    EXPECT_EQ(Dump(section), "S{k{7;1;2;}7,1,2;k{second;}second; a {x;}x;{e;}e;}");
}

TEST(CIniSection, DuplicatesReplacingAndRemoving) {
    CIniSection section(S("S"));
    section.SetSectionName("[Main]");  // stored as given
    section.SetSectionName(nullptr);
    for (const char* line : {"k=1", "k=2,3", "j=4"}) {  // a second entry of that key
        section.AddKV(line, false);
    }
    section.AddKV("k=5", true);  // the first, wholesale, where it stands
    section.AddKV("i", "6", true);
    EXPECT_EQ(Dump(section), "[Main]{k{5;}5;k{2;3;}2,3;j{4;}4;i{6;}6;}");
    EXPECT_TRUE(section.RemoveKV("k"));
    EXPECT_TRUE(section.RemoveKV(S("j")));
    EXPECT_TRUE(section.RemoveKV("i"));
    EXPECT_FALSE(section.RemoveKV("K"));
    EXPECT_FALSE(section.RemoveKV(nullptr));
    EXPECT_FALSE(section.RemoveKV(S("x")));
    EXPECT_EQ(Dump(section), "[Main]{k{2;3;}2,3;}");
    EXPECT_STREQ(section.GetSectionName(), "[Main]");
    CIniSection grown;  // texts that lie inside the entries, while adding moves them
    grown.AddKV("k=1", false);
    grown.AddKV(grown.FindKey("k")->GetKey().c_str(), "2", false);
    grown.AddKV("j", grown.GetValuePtr(1)->GetKey().c_str(), false);
    EXPECT_EQ(Dump(grown), "{k{1;}1;k{2;}2;j{k;}k;}");
}

// GetNextKV hands out keys of at most 30 characters and whole values of at most 512, as
// FindKV does; beyond them it gives false (null: the buffer untouched), and the cursor
// moves on all the same. Nothing is written past the NUL of a copy.
TEST(CIniSection, TheWalkHandsOutBoundedTexts) {
    const S v512(512, 'v'), k30(30, 'k');
    CIniSection section;
    section.AddKV("a", v512.c_str(), false);
    section.AddKV(S(31, 'L').c_str(), "long key", false);
    section.AddKV(k30.c_str(), "x, y", false);
    section.AddKV("m", (v512 + "w").c_str(), false);
    section.AddKV("z=last", false);
    const std::tuple<bool, const char*, const char*> steps[] = {
        // null: untouched
        {true, "a", v512.c_str()}, {false, nullptr, nullptr}, {true, k30.c_str(), "x,y"},
        {false, "m", nullptr},     {true, "z", "last"},       {false, nullptr, nullptr}};
    auto image = [](const char* text, std::size_t size) {
        S bytes = text ? S(text) + '\0' : "";
        bytes.resize(size, '#');
        return bytes;
    };
    for (int sized = 0; sized < 2; ++sized) {  // the sized form leaves "" in both on false
        EXPECT_TRUE(section.StartGetKV());
        for (const auto& [ok, key, value] : steps) {
            S k(32, '#'), v(514, '#');
            EXPECT_EQ(
                sized ? section.GetNextKV(&k[0], 31, &v[0], 513) : section.GetNextKV(&k[0], &v[0]),
                ok);
            if (sized && !ok) {
                EXPECT_EQ(k[0], '\0');
                EXPECT_EQ(v[0], '\0');
                EXPECT_EQ(k[31], '#');
                EXPECT_EQ(v[513], '#');
            } else {
                EXPECT_EQ(k + v, image(key, 32) + image(value, 514));
            }
        }
    }
    S value(514, '#');
    EXPECT_TRUE(section.FindKV("a", &value[0]));
    EXPECT_EQ(value, image(v512.c_str(), 514));
    value.assign(514, '#');
    EXPECT_FALSE(section.FindKV("m", &value[0]));
    EXPECT_EQ(value, image(nullptr, 514));
}

// Names are matched whole, byte for byte: case counts and nothing is trimmed.
TEST(CIni, SectionsAreFoundByExactName) {
    CIni ini;
    for (const char* name : {"S", "S", "", " S"}) {  // a second section of that name
        const CIniSection* added = ini.AddSection(name);
        EXPECT_EQ(added, ini.GetValuePtr(ini.size() - 1));
    }
    EXPECT_EQ(ini.AddSection(nullptr), nullptr);
    EXPECT_EQ(ini.AddSection(S("S\0", 2)), nullptr);
    EXPECT_NE(ini.AddSection(S("V")), nullptr);
    const std::pair<const char*, int> cases[] = {{"S", 0},  {"", 2},    {" S", 3},   {"V", 4},
                                                 {"s", -1}, {"S ", -1}, {"[S]", -1}, {nullptr, -1}};
    for (const auto& [name, index] : cases) {
        const CIniSection* found = ini.FindSection(name);
        EXPECT_EQ(found ? found - ini.GetValuePtr(0) : -1, index) << index;
        EXPECT_EQ(std::as_const(ini).FindSection(name), found);
        EXPECT_EQ(name ? std::as_const(ini).FindSection(std::string_view(name)) : nullptr, found);
    }
    EXPECT_EQ(ini.FindSection(S("S\0", 2)), nullptr);  // compared whole
    for (int i = 0; i < 7; ++i) {  // the section cursor: the sections in order, then null
        EXPECT_EQ(ini.GetNextSection(), ini.GetValuePtr(i));
    }
    ini.StartGetSection();
    EXPECT_EQ(ini.GetNextSection(), ini.GetValuePtr(0));
    ini.GetValuePtr(1)->SetKey("T");
    EXPECT_TRUE(ini.RemoveSection("S"));  // the first only
    EXPECT_TRUE(ini.RemoveSection(S(" S")));
    EXPECT_FALSE(ini.RemoveSection("S"));
    EXPECT_FALSE(ini.RemoveSection(nullptr));
    EXPECT_FALSE(ini.RemoveSection(S("s")));
    EXPECT_EQ(Dump(ini), "{T{};{};V{};}");
}

// Keys are added to the first section of that name only, and a lookup gives the whole
// value of the first key of that name there. The 513-byte form leaves its buffer untouched
// on false; the sized form has no 512-character limit and leaves "" on false; Get moves
// no cursor.
TEST(CIni, KeysAreAddedToAndFoundInTheFirstSectionOfThatName) {
    const S longValue(600, 'v');
    CIni ini;
    for (const char* name : {"S", "S", ""}) {
        ini.AddSection(name);
    }
    ini.GetValuePtr(1)->AddKV("other=1", false);
    EXPECT_TRUE(ini.AddKeyValue("S", "k", "0", false));
    EXPECT_TRUE(ini.AddKeyValue("S", " k = 1 , 2", true));
    EXPECT_TRUE(ini.AddKeyValue("S", "k=second", false));
    EXPECT_TRUE(ini.AddKeyValue(S("S"), S("long"), longValue, false));
    EXPECT_TRUE(ini.AddKeyValue("S", "empty=", false));
    EXPECT_TRUE(ini.AddKeyValue("", "", "unnamed", false));
    EXPECT_FALSE(ini.AddKeyValue("T", "k", "1", false));
    EXPECT_FALSE(ini.AddKeyValue("T", "k=1", false));
    EXPECT_FALSE(ini.AddKeyValue(S("T"), "k", "1", false));
    EXPECT_FALSE(ini.AddKeyValue(S("S"), "k", S("a\0b", 3), false));
    EXPECT_FALSE(ini.AddKeyValue(nullptr, "k", "1", false));
    EXPECT_FALSE(ini.AddKeyValue("S", nullptr, "1", false));
    EXPECT_FALSE(ini.AddKeyValue("S", "k", nullptr, false));
    EXPECT_FALSE(ini.AddKeyValue(nullptr, "k=1", false));
    EXPECT_FALSE(ini.AddKeyValue("S", nullptr, false));
    EXPECT_EQ(Dump(*ini.GetValuePtr(1)) + Dump(*ini.GetValuePtr(2)),
              "S{other{1;}1;}{{unnamed;}unnamed;}");
    const std::tuple<const char*, const char*, std::optional<S>> cases[] = {
        {"S", "k", "1,2"},  {"S", "long", longValue}, {"S", "empty", ""}, {"", "", "unnamed"},
        {"S", "other", {}}, {"S", "K", {}},           {"s", "k", {}},     {"S ", "k", {}},
        {nullptr, "k", {}}, {"S", nullptr, {}}};
    ini.StartGetSection();
    for (const auto& [section, key, expected] : cases) {
        SCOPED_TRACE(S(section ? section : "null") + "/" + (key ? key : "null"));
        if (section && key) {
            EXPECT_EQ(std::as_const(ini).Get(section, key), expected);
        }
        const bool fits = expected && expected->size() <= 512;
        char value[513] = "untouched";
        EXPECT_EQ(ini.GetKeyValue(section, key, value), fits);
        EXPECT_EQ(S(value), fits ? *expected : "untouched");
        S sized(702, '#');
        EXPECT_EQ(std::as_const(ini).GetKeyValue(section, key, &sized[0], 701), bool(expected));
        EXPECT_EQ(sized.substr(0, sized.find('#')), expected.value_or("") + '\0');
        S one(2, '#');
        EXPECT_EQ(std::as_const(ini).GetKeyValue(section, key, &one[0], 1), expected == "");
        EXPECT_FALSE(std::as_const(ini).GetKeyValue(section, key, &one[1], 0));
        EXPECT_EQ(one, S("\0#", 2));
    }
    EXPECT_EQ(ini.GetNextSection(), ini.GetValuePtr(0));
}

}  // namespace
