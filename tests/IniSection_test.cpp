#include "IniSection.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "TestUtil.h"

namespace {

using Texts = std::vector<std::string>;

// Each entry as key "=" whole value.
Texts Lines(const CIniSection& section) {
    Texts lines;
    for (const CIniPair& entry : section) {
        lines.push_back(entry.GetStringIniPair());
    }
    return lines;
}

// Whether AddKV(a, b) compiles: AddKV("k", "v") must not become the line form.
template <class A, class B, class = void>
struct TwoArgAddKV : std::false_type {};
template <class A, class B>
struct TwoArgAddKV<
    A, B, decltype(void(std::declval<CIniSection&>().AddKV(std::declval<A>(), std::declval<B>())))>
    : std::true_type {};
static_assert(TwoArgAddKV<const char*, bool>::value, "the line form");
static_assert(!TwoArgAddKV<const char*, const char*>::value, "no key-and-value pair of two");
static_assert(!TwoArgAddKV<std::string, const char*>::value &&
                  !TwoArgAddKV<std::string_view, std::string_view>::value,
              "nor of two views");

// Texts and null pointers keep the forms they took before the views came; the lookups
// of a const section are const.
template <class Key>
using FoundByKey = decltype(std::declval<CIniSection&>().FindKey(std::declval<Key>()));
template <class Key>
using ConstFoundByKey = decltype(std::declval<const CIniSection&>().FindKey(std::declval<Key>()));
static_assert(std::is_same<FoundByKey<const char (&)[2]>, CIniPair*>::value &&
                  std::is_same<FoundByKey<std::nullptr_t>, CIniPair*>::value &&
                  std::is_same<FoundByKey<const std::string&>, CIniPair*>::value &&
                  std::is_same<ConstFoundByKey<const char*>, const CIniPair*>::value &&
                  std::is_same<ConstFoundByKey<std::string_view>, const CIniPair*>::value,
              "FindKey overloads");

TEST(CIniSection, AddKVLineGrammar) {
    struct Case {
        const char* line;
        bool ok;
        std::string key;
        Texts items;
    } cases[] = {
        {"Width=640", true, "Width", {"640"}},
        {"  Width = 640  ", true, "Width", {"640"}},
        {"Pos = 10 , 20", true, "Pos", {"10", "20"}},
        {"a=b=c", true, "a", {"b=c"}},
        {"Name=", true, "Name", {""}},
        {"=5", true, "", {"5"}},
        {"List=x,,y,", true, "List", {"x", "", "y"}},
        {"\tK\t=\tv\r", true, "K", {"v\r"}},
        {"no equals sign", false, "", {}},
        {nullptr, false, "", {}},
    };
    for (const Case& c : cases) {
        CIniSection section("S");
        EXPECT_EQ(section.AddKV(c.line, false), c.ok) << (c.line ? c.line : "null");
        ASSERT_EQ(section.size(), c.ok ? 1u : 0u);
        if (c.ok) {
            const CIniPair& entry = *section.GetValuePtr(0);
            EXPECT_EQ(entry.GetKey(), c.key) << c.line;
            EXPECT_EQ(Texts(entry.begin(), entry.end()), c.items) << c.line;
        }
    }
}

TEST(CIniSection, DuplicatesReplacingAndExactKeys) {
    char value[513] = "";
    CIniSection section;
    section.AddKV("k=1", false);
    section.AddKV("k=2", false);  // a second entry of that key
    EXPECT_TRUE(section.FindKV("k", value));
    EXPECT_STREQ(value, "1");
    EXPECT_TRUE(section.RemoveKV("k"));
    EXPECT_TRUE(section.FindKV("k", value));
    EXPECT_STREQ(value, "2");

    section.AddKV("k=3,4", false);
    section.AddKV("k=5", true);          // overwrites the first wholesale, where it stands
    section.AddKV(" a ", "x, y", true);  // key stored as passed
    EXPECT_EQ(Lines(section), (Texts{"k=5", "k=3,4", " a =x,y"}));
    std::strcpy(value, "untouched");
    for (const char* other : {"K", " k", "a", "missing"}) {
        EXPECT_FALSE(section.FindKV(other, value)) << other;
        EXPECT_EQ(section.FindKey(other), nullptr) << other;
    }
    EXPECT_STREQ(value, "untouched");
    EXPECT_FALSE(section.RemoveKV("a"));

    CIniPair pair;
    EXPECT_FALSE(section.AddKV(nullptr, "v", false));
    EXPECT_FALSE(section.AddKV("k", nullptr, true));  // A null value.
    EXPECT_FALSE(section.FindKV(nullptr, value) || section.FindKey(nullptr) ||
                 section.GetIniPair(nullptr, pair) || section.GetIniPair(nullptr, &pair) ||
                 section.RemoveKV(nullptr));
    EXPECT_EQ(section.size(), 3u);
}

TEST(CIniSection, TextLimitsAndTheWalk) {
    char key[31];
    char value[513];
    CIniSection section;
    EXPECT_TRUE(section.StartGetKV());
    EXPECT_FALSE(section.GetNextKV(key, value));

    const std::string v512(512, 'v');
    section.AddKV("a", v512.c_str(), false);
    section.AddKV(std::string(31, 'L').c_str(), "long key", false);
    section.AddKV(std::string(30, 'k').c_str(), "x, y", false);
    section.AddKV("m", (v512 + "w").c_str(), false);
    section.AddKV("z=last", false);
    EXPECT_TRUE(section.FindKV("a", value));
    EXPECT_EQ(value, v512);
    std::strcpy(value, "untouched");
    EXPECT_FALSE(section.FindKV("m", value));
    EXPECT_STREQ(value, "untouched");
    for (int pass = 0; pass < 2; ++pass) {
        EXPECT_TRUE(section.StartGetKV());
        EXPECT_TRUE(section.GetNextKV(key, value));
        EXPECT_EQ(value, v512);
        std::strcpy(key, "-");
        EXPECT_FALSE(section.GetNextKV(key, value));  // a 31-character key: nothing written
        EXPECT_STREQ(key, "-");
        EXPECT_TRUE(section.GetNextKV(key, value));  // the cursor moved on all the same
        EXPECT_EQ(key + std::string("=") + value, std::string(30, 'k') + "=x,y");
        std::strcpy(value, "untouched");
        EXPECT_FALSE(section.GetNextKV(key, value));  // a 513-character value: key only
        EXPECT_STREQ(key, "m");
        EXPECT_STREQ(value, "untouched");
        EXPECT_TRUE(section.GetNextKV(key, value));
        EXPECT_STREQ(value, "last");
        EXPECT_FALSE(section.GetNextKV(key, value));
    }
}

TEST(CIniSection, BoundedCopiesNeverWritePastTheirSize) {
    const std::string longKey(40, 'k');
    const std::string texts[] = {"", "abc", std::string(600, 'v')};
    for (const std::string& text : texts) {
        CIniSection section;
        section.AddKV("k", text.c_str(), false);
        section.AddKV(text.c_str(), "key", false);
        section.AddKV(longKey.c_str(), "v", false);
        qeltest::ExpectBoundedCopy(text, [&](char* buffer, std::size_t size) {
            return section.FindKV("k", buffer, size);
        });
        char big[700];
        qeltest::ExpectBoundedCopy(text, [&](char* buffer, std::size_t size) {
            section.StartGetKV();
            return section.GetNextKV(big, sizeof big, buffer, size);
        });
        qeltest::ExpectBoundedCopy(text, [&](char* buffer, std::size_t size) {
            section.StartGetKV();
            section.GetNextKV(big, sizeof big, big, sizeof big);
            return section.GetNextKV(buffer, size, big, sizeof big);
        });
    }
}

TEST(CIniSection, BoundedFormsHaveNoFixedLimitsAndClearBothBuffersOnFalse) {
    const std::string longKey(40, 'k');
    const std::string longValue(600, 'v');
    CIniSection section;
    section.AddKV(longKey.c_str(), longValue.c_str(), false);
    section.AddKV("b=2", false);
    char key[64] = "-";
    char value[700] = "-";
    EXPECT_TRUE(section.FindKV(longKey.c_str(), value, sizeof value));
    EXPECT_EQ(value, longValue);
    EXPECT_TRUE(section.GetNextKV(key, sizeof key, value, sizeof value));
    EXPECT_EQ(key + std::string("=") + value, longKey + "=" + longValue);

    struct Case {
        bool keyBuffer;
        std::size_t keySize;
        std::size_t valueSize;
    } refusals[] = {{true, 41, 600}, {true, 40, 700}, {false, 0, 700}};
    for (const Case& c : refusals) {
        section.StartGetKV();
        std::strcpy(key, "-");
        std::strcpy(value, "-");
        EXPECT_FALSE(section.GetNextKV(c.keyBuffer ? key : nullptr, c.keySize, value, c.valueSize));
        EXPECT_STREQ(key, c.keyBuffer ? "" : "-") << c.keySize;
        EXPECT_STREQ(value, "") << c.valueSize;
        EXPECT_TRUE(section.GetNextKV(key, sizeof key, value, sizeof value));  // moved on
        EXPECT_STREQ(key, "b");
    }
    EXPECT_FALSE(section.GetNextKV(key, sizeof key, value, sizeof value));
    EXPECT_STREQ(value, "");
    std::strcpy(value, "-");
    EXPECT_FALSE(section.FindKV(nullptr, value, sizeof value) ||
                 section.FindKV("K", nullptr, sizeof value));
    EXPECT_STREQ(value, "");
}

TEST(CIniSection, ViewFormsMatchTheTextForms) {
    CIniSection section;
    section.AddKV("k=1", false);
    section.AddKV(std::string(" a "), std::string("x, y"), false);  // key stored as passed
    section.AddKV(std::string_view("k"), std::string_view("2"), false);
    section.AddKV(std::string("k"), std::string("3,4"), true);  // replaces the first "k"
    EXPECT_EQ(Lines(section), (Texts{"k=3,4", " a =x,y", "k=2"}));
    const std::string nul("a\0b", 3);
    EXPECT_FALSE(section.AddKV(nul, "v", false) || section.AddKV("k", nul, false));
    EXPECT_EQ(section.size(), 3u);

    const CIniSection& constant = section;
    for (const char* key : {"k", " a ", "a", "K", "missing"}) {
        const CIniPair* found = section.FindKey(key);
        EXPECT_EQ(section.FindKey(std::string(key)), found) << key;
        EXPECT_EQ(constant.FindKey(key), found) << key;
        EXPECT_EQ(constant.FindKey(std::string_view(key)), found) << key;
    }
    EXPECT_EQ(constant.FindKey(nullptr), nullptr);
    EXPECT_EQ(section.FindKey(std::string_view("k\0", 2)), nullptr);  // compared whole

    EXPECT_TRUE(section.RemoveKV(std::string("k")));
    EXPECT_FALSE(section.RemoveKV(std::string("a")));
    EXPECT_EQ(Lines(section), (Texts{" a =x,y", "k=2"}));
}

TEST(CIniSection, GetIniPairCopiesFindKeyDoesNot) {
    CIniSection section;
    section.AddKV("k=1", false);
    CIniPair copy("other");
    CIniPair pointed("other");
    EXPECT_TRUE(section.GetIniPair("k", copy));
    EXPECT_TRUE(section.GetIniPair("k", &pointed));  // Copies as the other form.
    EXPECT_TRUE(section.GetIniPair("k", static_cast<CIniPair*>(nullptr)));
    EXPECT_FALSE(section.GetIniPair("x", copy) || section.GetIniPair("x", &pointed));
    EXPECT_EQ(copy.GetStringIniPair(), "k=1");
    EXPECT_EQ(pointed.GetStringIniPair(), "k=1");
    copy.WriteInt(0, 9);
    section.FindKey("k")->WriteInt(0, 7);  // the stored entry itself
    EXPECT_EQ(Lines(section), Texts{"k=7,1"});
    EXPECT_TRUE(section.RemoveValue(CIniPair("k")));  // the list's own forms match by key
}

TEST(CIniSection, NameCopiesAndMoves) {
    CIniSection section("S");
    section.SetSectionName("[Main]");
    section.SetSectionName(nullptr);
    EXPECT_STREQ(section.GetSectionName(), "[Main]");
    section.AddKV("a=1", false);
    section.AddKV("b=2", false);
    char key[31];
    char value[513];
    section.GetNextKV(key, value);
    CIniSection copy;
    copy = section;
    copy.AddKV("c=3", false);
    EXPECT_TRUE(copy.GetNextKV(key, value));
    EXPECT_STREQ(key, "b");  // the cursor came along
    EXPECT_EQ(section.size(), 2u);

    CIniSection moved(std::move(copy));
    EXPECT_EQ(Lines(moved), (Texts{"a=1", "b=2", "c=3"}));
    EXPECT_STREQ(copy.GetSectionName(), "");
    EXPECT_FALSE(copy.GetNextKV(key, value));

    // Growing the list moves entries: a moved string keeps its heap buffer.
    const std::string longKey(100, 'k');
    moved.AddKV(longKey.c_str(), "v", false);
    const char* stored = moved.FindKey(longKey.c_str())->GetKey().data();
    for (int i = 0; i < 1000; ++i) {
        moved.AddKV("x=1", false);
    }
    EXPECT_EQ(moved.FindKey(longKey.c_str())->GetKey().data(), stored);
}

}  // namespace
