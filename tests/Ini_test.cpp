#include "Ini.h"

#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "TestUtil.h"

namespace {

template <class T>
constexpr bool kMovesWithoutThrowing =
    std::is_nothrow_move_constructible<T>::value&& std::is_nothrow_move_assignable<T>::value;
static_assert(kMovesWithoutThrowing<CIniValue<std::string, std::string>> &&
                  kMovesWithoutThrowing<CIniPair> && kMovesWithoutThrowing<CIniSection> &&
                  kMovesWithoutThrowing<CIni>,
              "growing lists move their elements");
template <class T>
using CopyAssigned = decltype(std::declval<T&>() = std::declval<const T&>());
static_assert(std::is_same<CopyAssigned<CIniValue<std::string, CIniPair>>,
                           CIniValue<std::string, CIniPair>>::value &&
                  std::is_same<CopyAssigned<CIniPair>, CIniPair>::value &&
                  std::is_same<CopyAssigned<CIniSection>, CIniSection&>::value &&
                  std::is_same<CopyAssigned<CIni>, CIni&>::value,
              "copy assignments return as specified");

template <class A, class B, class C, class = void>
struct ThreeArgAddKeyValue : std::false_type {};
template <class A, class B, class C>
struct ThreeArgAddKeyValue<A, B, C,
                           decltype(void(std::declval<CIni&>().AddKeyValue(
                               std::declval<A>(), std::declval<B>(), std::declval<C>())))>
    : std::true_type {};
static_assert(ThreeArgAddKeyValue<const char*, const char*, bool>::value &&
                  !ThreeArgAddKeyValue<const char*, const char*, const char*>::value,
              "AddKeyValue(section, key, value) must not become the line form");

static_assert(!ThreeArgAddKeyValue<std::string, std::string, const char*>::value, "nor with views");

template <class Name>
using FoundByName = decltype(std::declval<CIni&>().FindSection(std::declval<Name>()));
template <class Name>
using ConstFoundByName = decltype(std::declval<const CIni&>().FindSection(std::declval<Name>()));
static_assert(std::is_same<FoundByName<const char (&)[2]>, CIniSection*>::value &&
                  std::is_same<FoundByName<std::nullptr_t>, CIniSection*>::value &&
                  std::is_same<FoundByName<std::string>, CIniSection*>::value &&
                  std::is_same<ConstFoundByName<const char*>, const CIniSection*>::value &&
                  std::is_same<ConstFoundByName<std::string_view>, const CIniSection*>::value,
              "FindSection overloads");

std::vector<std::string> Names(CIni& ini) {
    std::vector<std::string> names;
    ini.StartGetSection();
    while (CIniSection* section = ini.GetNextSection()) {
        names.push_back(section->GetSectionName());
    }
    return names;
}

TEST(CIni, SectionsByName) {
    CIni ini;
    ini.AddSection("S")->AddKV("k=first", false);
    CIniSection* second = ini.AddSection("S");  // a second section of that name
    EXPECT_EQ(second, ini.GetValuePtr(1));
    second->AddKV("k=second", false);
    ini.AddSection("");
    char value[513];
    EXPECT_EQ(ini.FindSection("S"), ini.GetValuePtr(0));
    EXPECT_EQ(ini.FindSection(""), ini.GetValuePtr(2));
    for (const char* other : {"s", "S ", " S", "[S]"}) {
        EXPECT_EQ(ini.FindSection(other), nullptr) << other;
    }
    EXPECT_TRUE(ini.GetKeyValue("S", "k", value));
    EXPECT_STREQ(value, "first");
    EXPECT_TRUE(ini.RemoveSection("S"));  // the first only
    EXPECT_TRUE(ini.GetKeyValue("S", "k", value));
    EXPECT_STREQ(value, "second");
    EXPECT_FALSE(ini.RemoveSection("missing"));
    EXPECT_EQ(Names(ini), (std::vector<std::string>{"S", ""}));
}

TEST(CIni, KeysBySectionAndNullArguments) {
    CIni ini;
    ini.AddSection("S");
    char value[513] = "";
    EXPECT_TRUE(ini.AddKeyValue("S", "k", "1, 2", false));
    EXPECT_TRUE(ini.AddKeyValue("S", " k = 3", true));
    EXPECT_TRUE(ini.GetKeyValue("S", "k", value));
    EXPECT_STREQ(value, "3");
    EXPECT_FALSE(ini.AddKeyValue("T", "k", "1", false) || ini.AddKeyValue("T", "k=1", false) ||
                 ini.GetKeyValue("T", "k", value));          // no such section: none made
    EXPECT_FALSE(ini.AddKeyValue("S", "k", nullptr, true));  // A null value.
    EXPECT_FALSE(ini.AddKeyValue(nullptr, "k", "1", false) ||
                 ini.AddKeyValue("S", nullptr, "1", false) ||
                 ini.AddKeyValue(nullptr, "k=1", false) || ini.AddKeyValue("S", nullptr, false) ||
                 ini.GetKeyValue(nullptr, "k", value) || ini.GetKeyValue("S", nullptr, value) ||
                 ini.FindSection(nullptr) || ini.AddSection(nullptr) || ini.RemoveSection(nullptr));
    EXPECT_EQ(ini.size(), 1u);
    EXPECT_EQ(ini.FindSection("S")->size(), 1u);
}

TEST(CIni, GetReturnsTheWholeValueOfTheFirstMatch) {
    const std::string longValue(600, 'v');
    CIni ini;
    ini.AddSection("S")->AddKV("k = 1 , 2", false);
    ini.FindSection("S")->AddKV("k=second", false);
    ini.FindSection("S")->AddKV("long", longValue.c_str(), false);
    ini.FindSection("S")->AddKV("empty=", false);
    ini.AddSection("S")->AddKV("other=1", false);
    ini.AddSection("")->AddKV("", "in the unnamed", false);
    struct Case {
        std::string section;
        std::string key;
        std::optional<std::string> value;
    } cases[] = {
        {"S", "k", "1,2"},
        {"S", "long", longValue},
        {"S", "empty", ""},
        {"", "", "in the unnamed"},
        {"S", "other", std::nullopt},  // only in the second section of
                                       // that name
        {"S", "K", std::nullopt},
        {"s", "k", std::nullopt},
        {"S ", "k", std::nullopt},
        {"T", "k", std::nullopt},
    };
    ini.StartGetSection();
    const CIni& constant = ini;
    for (const Case& c : cases) {
        EXPECT_EQ(constant.Get(c.section, c.key), c.value) << c.section << "/" << c.key;
    }
    EXPECT_EQ(ini.GetNextSection(), ini.GetValuePtr(0));  // the cursor did not move

    char value[513];
    EXPECT_FALSE(ini.GetKeyValue("S", "long", value));  // the fixed-size form cannot
    qeltest::ExpectBoundedCopy(longValue, [&](char* buffer, std::size_t size) {
        return constant.GetKeyValue("S", "long", buffer, size);
    });
    qeltest::ExpectBoundedCopy("1,2", [&](char* buffer, std::size_t size) {
        return constant.GetKeyValue("S", "k", buffer, size);
    });
    for (const char* section : {"T", static_cast<const char*>(nullptr)}) {
        std::strcpy(value, "-");
        EXPECT_FALSE(constant.GetKeyValue(section, "k", value, sizeof value));
        EXPECT_STREQ(value, "");
    }
}

TEST(CIni, ViewFormsMatchTheTextForms) {
    CIni ini;
    ini.AddSection(std::string("S"))->AddKV("k=1", false);
    ini.AddSection(std::string_view("S"));
    ini.AddSection(std::string(""));
    const std::string nul("S\0", 2);
    EXPECT_EQ(ini.AddSection(nul), nullptr);
    EXPECT_EQ(Names(ini), (std::vector<std::string>{"S", "S", ""}));

    const CIni& constant = ini;
    for (const char* name : {"S", "", "s", " S", "missing"}) {
        const CIniSection* found = ini.FindSection(name);
        EXPECT_EQ(ini.FindSection(std::string(name)), found) << name;
        EXPECT_EQ(constant.FindSection(name), found) << name;
        EXPECT_EQ(constant.FindSection(std::string_view(name)), found) << name;
    }
    EXPECT_EQ(constant.FindSection(nullptr), nullptr);
    EXPECT_EQ(ini.FindSection(nul), nullptr);  // compared whole

    EXPECT_TRUE(ini.AddKeyValue(std::string("S"), std::string("k"), std::string("2, 3"), true));
    EXPECT_TRUE(ini.AddKeyValue(std::string("S"), "j", std::string_view("4"), false));
    EXPECT_FALSE(ini.AddKeyValue(std::string("T"), "k", "1", false) ||
                 ini.AddKeyValue(std::string("S"), "k", nul, false));
    EXPECT_EQ(ini.Get("S", "k"), "2,3");
    EXPECT_EQ(ini.Get("S", "j"), "4");
    EXPECT_EQ(ini.FindSection("S")->size(), 2u);

    EXPECT_TRUE(ini.RemoveSection(std::string("S")));  // the first only
    EXPECT_FALSE(ini.RemoveSection(std::string("T")));
    EXPECT_EQ(ini.size(), 2u);
    EXPECT_EQ(ini.FindSection("S")->size(), 0u);
}

TEST(CIni, CursorCopiesAndMoves) {
    CIni ini;
    ini.AddSection("a")->AddKV("k=1", false);
    ini.AddSection("b");
    ini.AddSection("c");
    EXPECT_EQ(ini.GetNextSection()->GetKey(), "a");
    CIni copy;
    EXPECT_EQ(&(copy = ini), &copy);
    ini.RemoveSection("a");  // the cursor is an index: "b" is passed over
    EXPECT_EQ(ini.GetNextSection()->GetKey(), "c");
    EXPECT_EQ(ini.GetNextSection(), nullptr);
    EXPECT_EQ(ini.GetNextSection(), nullptr);
    EXPECT_EQ(copy.GetNextSection()->GetKey(), "b");  // the copy's cursor came along
    copy.FindSection("a")->AddKV("k=2", true);

    CIni moved(std::move(copy));
    EXPECT_EQ(copy.size(), 0u);
    EXPECT_EQ(copy.GetNextSection(), nullptr);
    char value[513];
    EXPECT_TRUE(moved.GetKeyValue("a", "k", value));
    EXPECT_STREQ(value, "2");

    // Growing the set moves its sections: a moved name keeps its heap buffer.
    const std::string name(100, 'n');
    const char* stored = moved.AddSection(name.c_str())->GetKey().data();
    for (int i = 0; i < 1000; ++i) {
        moved.AddSection("x");
    }
    EXPECT_EQ(moved.FindSection(name.c_str())->GetKey().data(), stored);
}

}  // namespace
