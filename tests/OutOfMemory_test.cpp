// Exhausted memory while loading and saving: std::bad_alloc from the tree reaches the
// caller unchanged, the object stays usable and destructible, and no file is lost or left
// behind. This program replaces the global operator new, so that its n-th call can be made
// to fail; the line buffer's own allocation failures are swept through the I/O seam.
#include <gtest/gtest.h>
#if defined(_WIN32)
#include <io.h>
#else
#include <dirent.h>
#endif

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <new>
#include <string>

#include "CountingNew.h"
#include "IniFile.h"
#include "TestUtil.h"

namespace {

using qeltest::g_newCalls;
using qeltest::g_newsLeft;
using qeltest::ReadFile;
using qeltest::TempDir;
using qeltest::WriteFile;

const std::string kFile =
    "[A]\nx=1, 2, 3\nname=" + std::string(100, 'n') + "\n[B]\ny=2\n[A]\nz=3\n";

// Runs `operation` with the n-th operator new failing and then `check(n)` on what it left,
// for n = 1, 2, ... until a run makes fewer than n calls. Returns how many runs threw
// std::bad_alloc.
int ForEachFailingNew(const std::function<void(long n)>& check,
                      const std::function<void()>& operation) {
    int threw = 0;
    for (long n = 1;; ++n) {
        g_newCalls = 0;
        g_newsLeft = n;
        try {
            operation();
        } catch (const std::bad_alloc&) {
            ++threw;
        }
        g_newsLeft = 0;
        long calls = g_newCalls;
        check(n);
        if (calls < n) {
            return threw;
        }
    }
}

#if defined(_WIN32)
// The C runtime's descriptors: the streams of the runtime stand on them.
int OpenDescriptors() {
    int count = 0;
    for (int fd = 0; fd < 2048; ++fd) {
        count += ::_get_osfhandle(fd) != -1 ? 1 : 0;
    }
    return count;
}
#else
int OpenDescriptors() {
    int count = 0;
    DIR* fds = ::opendir("/proc/self/fd");
    while (fds != nullptr && ::readdir(fds) != nullptr) {
        ++count;
    }
    if (fds != nullptr) {
        ::closedir(fds);
    }
    return count;
}
#endif

bool HoldsTheWholeFile(CIniFile& ini) {
    char value[513];
    return ini.GetCfg().size() == 3 && ini.GetValue("A", "x", value) &&
           std::string(value) == "1,2,3" && ini.GetValue("B", "y", value) &&
           ini.GetCfg().GetValuePtr(2)->FindKey("z") != nullptr;
}

TEST(OutOfMemory, BadAllocWhileLoadingReachesTheCallerAndTheObjectStaysUsable) {
    TempDir dir;
    const std::string path = dir.File("a.ini");
    WriteFile(path, kFile);
    auto ini = std::make_unique<CIniFile>();
    bool attached = false;
    int threw = ForEachFailingNew(
        [&](long n) {
            // What was read before the failure stays in the tree, in file order.
            const char* names[] = {"A", "B", "A"};
            EXPECT_LE(ini->GetCfg().size(), 3u) << "failing call " << n;
            for (unsigned i = 0; i < ini->GetCfg().size() && i < 3; ++i) {
                EXPECT_EQ(ini->GetCfg().GetValuePtr(static_cast<int>(i))->GetKey(), names[i])
                    << "failing call " << n;
            }
            EXPECT_TRUE(!attached || HoldsTheWholeFile(*ini)) << "failing call " << n;
            EXPECT_TRUE(ini->Attach(path.c_str()) && HoldsTheWholeFile(*ini))
                << "failing call " << n;
            ini = std::make_unique<CIniFile>();
            attached = false;
        },
        [&] { attached = ini->Attach(path.c_str()); });
    EXPECT_GT(threw, 5);
}

TEST(OutOfMemory, BadAllocWhileLookingUpASectionInTheFileLeavesTheLookupUsable) {
    TempDir dir;
    const std::string path = dir.File("a.ini");
    WriteFile(path, kFile);
    CIniFile ini;
    ASSERT_TRUE(ini.Open(path.c_str(), "rb"));
    int threw = ForEachFailingNew(
        [&](long n) {
            CIniSection* found = ini.FindSection("A");
            EXPECT_TRUE(found != nullptr && found->size() == 2u) << "failing call " << n;
        },
        [&] { ini.FindSection("A"); });
    EXPECT_GT(threw, 2);
}

// However a save ends, by a result or by an exception, the file holds its old or its new
// text and no temporary file stays beside it.
TEST(OutOfMemory, BadAllocWhileSavingKeepsTheFileAndLeavesNoTemporary) {
    const std::string saved = "[A]\r\nx=1,2,3\r\nname=" + std::string(100, 'n') +
                              "\r\n\r\n[B]\r\ny=2\r\n\r\n[A]\r\nz=3\r\n\r\n[C]\r\n\r\n";
    TempDir dir;
    const std::string path = dir.File("a.ini");
    auto setUp = [&] {
        WriteFile(path, kFile);
        CIniFile ini;
        EXPECT_TRUE(ini.Attach(path.c_str()));
        ini.GetCfg().AddSection("C");
        return ini;
    };
    CIniFile ini = setUp();
    int threw = ForEachFailingNew(
        [&](long n) {
            std::string text = ReadFile(path);
            EXPECT_TRUE(text == kFile || text == saved) << "failing call " << n;
            EXPECT_EQ(qeltest::ListDir(dir.Path()), "a.ini\n") << "failing call " << n;
            ini = setUp();
        },
        [&] { ini.Save(path.c_str()); });
    EXPECT_GT(threw, 0);
}

// A stream handed to a save, or opened by it, is closed however the save ends.
TEST(OutOfMemory, BadAllocWhileSavingClosesEveryStream) {
    TempDir dir;
    const std::string path = dir.File("a.ini");
    const int before = OpenDescriptors();
    auto ini = std::make_unique<CIniFile>();
    int threw = ForEachFailingNew(
        [&](long n) {
            ini = std::make_unique<CIniFile>();
            EXPECT_EQ(OpenDescriptors(), before) << "failing call " << n;
        },
        [&] {
            ini->GetCfg().AddSection("A")->AddKV("k", std::string(200, 'v').c_str(), false);
            FILE* out = std::fopen(dir.File("b.ini").c_str(), "w+b");
            ini->Save(static_cast<void*>(out));
            ini->Save(path.c_str());
        });
    EXPECT_GT(threw, 2);
}

}  // namespace
