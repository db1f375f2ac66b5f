#include "IniValue.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using List = CIniValue<std::string, std::string>;
using Texts = std::vector<std::string>;

List Make(const Texts& values) {
    List list("key");
    for (const std::string& v : values) {
        list.AddValue(v, -1);
    }
    return list;
}

Texts Values(const List& list) {
    return {list.begin(), list.end()};
}

// What the cursor hands out from where it stands, up to the first null.
Texts Walk(List& list) {
    Texts seen;
    while (const std::string* v = list.GetNextValue()) {
        seen.push_back(*v);
    }
    return seen;
}

TEST(CIniValue, AddValueAtPosition) {
    struct Case {
        Texts before;
        int pos;
        Texts after;
        int index;  // where the result points
    } cases[] = {
        {{}, 0, {"v"}, 0},
        {{"a", "b", "c"}, 1, {"a", "v", "b", "c"}, 1},
        {{"a", "b", "c"}, 0, {"v", "a", "b", "c"}, 0},
        {{"a", "b", "c"}, 3, {"a", "b", "c", "v"}, 3},
        {{"a", "b", "c"}, 7, {"a", "b", "c", "v"}, 3},
        {{"a", "b", "c"}, -1, {"a", "b", "c", "v"}, 3},
        {{"v"}, -1, {"v", "v"}, 1},  // no search: a duplicate
    };
    for (const Case& c : cases) {
        List list = Make(c.before);
        const std::string* added = list.AddValue("v", c.pos);
        EXPECT_EQ(Values(list), c.after) << "pos " << c.pos;
        EXPECT_EQ(added, list.GetValuePtr(c.index)) << "pos " << c.pos;
    }
}

TEST(CIniValue, ReplaceFindAndRemove) {
    List list = Make({"a", "b"});
    EXPECT_EQ(list.AddValue("b", true), list.GetValuePtr(1));  // overwritten in place
    list.AddValue("c", true);                                  // no match: appended
    list.AddValue("a", false);
    EXPECT_EQ(Values(list), (Texts{"a", "b", "c", "a"}));
    EXPECT_EQ(list.FindV("a"), 0);
    EXPECT_TRUE(list.RemoveValue("a"));  // the first match only
    EXPECT_EQ(Values(list), (Texts{"b", "c", "a"}));
    EXPECT_EQ(list.FindV("A"), -1);  // exact: case and blanks count
    EXPECT_EQ(list.FindValue(" a"), nullptr);
    EXPECT_TRUE(list.Find("x") == list.end());
    EXPECT_FALSE(list.RemoveValue("B"));
    list.ReplaceValue("x", 3);
    list.ReplaceValue("x", -1);
    list.ReplaceValue("x", 0);
    list[1] = "changed";  // a copy
    EXPECT_EQ(Values(list), (Texts{"x", "c", "a"}));
}

TEST(CIniValue, CursorIsAnIndex) {
    List list = Make({"a", "b", "c"});
    std::string out;
    EXPECT_TRUE(list.GetNextValue(out, 1) && out == "b");  // by index: cursor stays
    EXPECT_TRUE(list.GetNextValue(out, 5) && out == "a");  // else: under the cursor
    EXPECT_TRUE(list.GetNextValue(out, -1) && out == "b");
    list.RemoveValue("a");  // removal below the cursor passes over "c"
    EXPECT_EQ(Walk(list), Texts{});
    EXPECT_FALSE(list.GetNextValue(out, -1));
    list.AddValue("x", 0);  // insertion below it brings "c" under it
    EXPECT_EQ(Walk(list), Texts{"c"});
    list.Clear();  // keeps the key, restarts the cursor
    list.AddValue("n", -1);
    EXPECT_EQ(list.GetKey(), "key");
    EXPECT_EQ(Walk(list), Texts{"n"});
}

TEST(CIniValue, ShrunkListIsNotReadPastItsEnd) {
    List list = Make({"a", "b", "c"});
    list.GetVecValue()->resize(1);  // the count stays 3
    std::string out = "untouched";
    EXPECT_EQ(list.GetValuePtr(1), nullptr);
    EXPECT_FALSE(list.GetValue(2, out));
    EXPECT_EQ(list.FindV("c"), -1);
    list.ReplaceValue("x", 2);
    EXPECT_EQ(Walk(list), Texts{"a"});
    EXPECT_FALSE(list.GetNextValue(out, 2));
    EXPECT_EQ(out, "untouched");
}

TEST(CIniValue, CopiesKeepTheCursorMovesEmptyTheSource) {
    List list = Make({"a", "b", "c"});
    list.GetNextValue();
    List assigned;
    List result = (assigned = list);  // by value, as specified
    for (List copy : {List(list), assigned, result}) {
        EXPECT_EQ(copy.GetKey(), "key");
        EXPECT_EQ(Walk(copy), (Texts{"b", "c"}));
    }
    List moved(std::move(list));
    EXPECT_EQ(Walk(moved), (Texts{"b", "c"}));
    EXPECT_EQ(list.size(), 0u);
    EXPECT_EQ(list.GetKey(), "");
    list.AddValue("z", -1);  // count and cursor were 0
    EXPECT_EQ(Walk(list), Texts{"z"});
}

}  // namespace
