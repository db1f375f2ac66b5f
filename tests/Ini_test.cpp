#include "Ini.h"

#include <gtest/gtest.h>

#include <string>
#include <type_traits>
#include <vector>

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
