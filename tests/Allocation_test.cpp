// Heap use of the tree: lookups and typed reads allocate nothing, and an entry added from
// texts that lie inside the section's own entries is built from those texts intact.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>

#include "CountingNew.h"
#include "IniFile.h"
#include "TestUtil.h"

namespace {

// Counts the allocations made while `f` runs, in this program and in the library alike.
template <class F>
long AllocationsOf(F f) {
    qeltest::g_newCalls = 0;
    f();
    return qeltest::g_newCalls;
}

// Names and values longer than any string keeps without the heap, so that a copy of one
// would show.
const char kFile[] =
    "[first_section_with_a_long_name]\n"
    "first_key_with_a_long_name = 1234567,  -42 , 3.25 , yes, 4294967295\n"
    "[second_section_with_a_long_name]\n"
    "an_ordinary_key_of_some_length=a value long enough to need the heap\n"
    "another_key_of_considerable_size =   000000000000000000017,0.000000000000000125\n";

TEST(Allocation, LookupsAndTypedReadsAllocateNothing) {
    qeltest::TempDir dir;
    const std::string path = dir.File("a.ini");
    qeltest::WriteFile(path, kFile);
    CIniFile ini;
    ASSERT_TRUE(ini.Attach(path.c_str()));
    const char* const section = "second_section_with_a_long_name";
    const char* const key = "another_key_of_considerable_size";
    char value[513];
    int i = 0;
    unsigned u = 0;
    double d = 0;
    bool b = false;
    unsigned long c = 0;
    char text[64];
    bool ok = true;
    long allocations = AllocationsOf([&] {
        ok = ini.GetValue(section, key, value) && ok;
        ok = !ini.GetValue(section, "missing_key_of_a_long_name", value) && ok;
        ok = ini.GetCfg().GetKeyValue("first_section_with_a_long_name",
                                      "first_key_with_a_long_name", value) &&
             ok;
        CIniSection* found = ini.GetCfg().FindSection(section);
        ok = found != nullptr && found->FindKV(key, value) && ok;
        CIniPair* pair = found != nullptr ? found->FindKey(key) : nullptr;
        ok = pair != nullptr && pair->GetInt(0, i) && pair->GetUnsignedInt(0, u) &&
             pair->GetColor(0, c) && pair->GetFloat(1, d) && !pair->GetBool(0, b) &&
             pair->GetString(1, text, sizeof text) && ok;
    });
    EXPECT_TRUE(ok);
    EXPECT_EQ(allocations, 0);
    EXPECT_STREQ(value, "000000000000000000017,0.000000000000000125");
    EXPECT_EQ(i, 17);
    EXPECT_EQ(u, 17u);
    EXPECT_EQ(c, 17ul);
    EXPECT_DOUBLE_EQ(d, 1.25e-16);
    EXPECT_STREQ(text, "0.000000000000000125");
}

TEST(Allocation, AddingFromTextsHeldInTheSectionCopiesThemIntact) {
    struct Case {
        const char* what;
        bool lineForm;
    } cases[] = {{"key and value", false}, {"key line", true}};
    for (const Case& c : cases) {
        CIniSection section("s");
        // Short texts live inside their entry, which moves when the list grows.
        section.AddKV("k=v", "1", false);
        for (int n = 0; n < 40; ++n) {
            const char* held = section.GetValuePtr(0)->GetKey().c_str();
            if (c.lineForm) {
                ASSERT_TRUE(section.AddKV(held, false)) << c.what;
            } else {
                ASSERT_TRUE(section.AddKV(held, held, false)) << c.what;
            }
        }
        ASSERT_EQ(section.size(), 41u) << c.what;
        const CIniPair& last = *section.GetValuePtr(40);
        EXPECT_EQ(last.GetKey(), c.lineForm ? "k" : "k=v") << c.what;
        EXPECT_EQ(last.GetWholeValue(), c.lineForm ? "v" : "k=v") << c.what;
    }
}

}  // namespace
