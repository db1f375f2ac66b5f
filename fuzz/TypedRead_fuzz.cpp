// Reads arbitrary items through the typed reads and holds them to the C library's own
// conversions ("%d", "%u", "%lf" in the "C" locale) within the types' ranges; writes
// values and reads them back.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "FuzzSupport.h"
#include "IniPair.h"

namespace {

using List = CIniValue<std::string, std::string>;

// "%lld" accepts what "%d" and "%u" accept; an item it reads and whose value fits the
// type (for "%u", a magnitude of at most 32 bits, negated modulo 2^32) is a number.
bool ScanWide(const std::string& item, long long& wide) {
    return std::sscanf(item.c_str(), "%lld", &wide) == 1 && wide != LLONG_MIN && wide != LLONG_MAX;
}

void CheckInt(CIniPair& pair, int index, const std::string& item) {
    long long wide = 0;
    bool fits = ScanWide(item, wide) && wide >= INT_MIN && wide <= INT_MAX;
    int value = -1;
    QELFUZZ_CHECK(pair.GetInt(index, value) == (item.empty() || fits));
    QELFUZZ_CHECK(value == (fits ? wide : 0));
}

void CheckUnsigned(CIniPair& pair, int index, const std::string& item) {
    long long wide = 0;
    bool fits = ScanWide(item, wide) && wide >= -0xFFFFFFFFll && wide <= 0xFFFFFFFFll;
    std::uint32_t expected = fits ? static_cast<std::uint32_t>(wide) : 0;
    unsigned int value = 7;
    QELFUZZ_CHECK(pair.GetUnsignedInt(index, value) == (item.empty() || fits));
    QELFUZZ_CHECK(value == expected);
    unsigned long colour = 7;
    QELFUZZ_CHECK(pair.GetColor(index, colour) == (item.empty() || fits));
    QELFUZZ_CHECK(colour == (fits ? expected : 0xFFFFFFFFul));
}

bool SameDouble(double a, double b) {
    return (std::isnan(a) && std::isnan(b)) || std::memcmp(&a, &b, sizeof a) == 0;
}

void CheckFloat(CIniPair& pair, int index, const std::string& item) {
    double expected = 0.0;
    bool read = std::sscanf(item.c_str(), "%lf", &expected) == 1;
    double value = -1.0;
    QELFUZZ_CHECK(pair.GetFloat(index, value) == (item.empty() || read));
    QELFUZZ_CHECK(SameDouble(value, read ? expected : 0.0));
}

void CheckBoolAndString(CIniPair& pair, int index, const std::string& item, int size) {
    char first = item.empty() ? 'y' : item[0];
    bool known = std::strchr("yYnN", first) != nullptr;
    bool value = false;
    QELFUZZ_CHECK(pair.GetBool(index, value) == known);
    QELFUZZ_CHECK(value == (first != 'n' && first != 'N'));
    char buffer[300];
    std::memset(buffer, 'x', sizeof buffer);
    bool fits = item.size() < static_cast<std::size_t>(size);
    QELFUZZ_CHECK(pair.GetString(index, buffer, size) == fits);
    QELFUZZ_CHECK(size == 0 || (fits ? item == buffer : buffer[0] == '\0'));
}

// Every value written is read back as it was, where it was written.
void CheckWrites(CIniPair& pair, FuzzedDataProvider& provider) {
    int index = provider.ConsumeIntegralInRange<int>(0, 6);
    // A write at or past the end appends, so where it lands depends on the size then.
    auto at = [&pair, index] { return std::min(index, static_cast<int>(pair.size()) - 1); };
    int i = provider.ConsumeIntegral<int>();
    int readInt = 0;
    QELFUZZ_CHECK(pair.WriteInt(index, i) && pair.GetInt(at(), readInt) && readInt == i);
    unsigned u = provider.ConsumeIntegral<unsigned>();
    unsigned readUnsigned = 0;
    QELFUZZ_CHECK(pair.WriteUnsignedInt(index, u) && pair.GetUnsignedInt(at(), readUnsigned) &&
                  readUnsigned == u);
    unsigned long colour = provider.ConsumeIntegral<std::uint32_t>();
    unsigned long readColour = 0;
    QELFUZZ_CHECK(pair.WriteColor(index, colour) && pair.GetColor(at(), readColour) &&
                  readColour == colour);
    bool b = provider.ConsumeBool();
    bool readBool = !b;
    QELFUZZ_CHECK(pair.WriteBool(index, b) && pair.GetBool(at(), readBool) && readBool == b);
    double d = 0.0;
    std::uint64_t bits = provider.ConsumeIntegral<std::uint64_t>();
    std::memcpy(&d, &bits, sizeof d);
    if (pair.WriteFloat(index, d)) {
        char text[400];
        std::snprintf(text, sizeof text, "%lf", d);
        QELFUZZ_CHECK(pair.GetValue(at()) == text);
        CheckFloat(pair, at(), text);
    }
}

}  // namespace

// The input is up to four items, each a short text ended by a backslash and one more
// byte, then the buffer size for GetString and the values to write.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider provider(data, size);
    CIniPair pair("k");
    int count = provider.ConsumeIntegralInRange<int>(1, 4);
    for (int i = 0; i < count; ++i) {
        std::string item = provider.ConsumeRandomLengthString(64).c_str();
        static_cast<List&>(pair).AddValue(item, -1);
    }
    int bufferSize = provider.ConsumeIntegralInRange<int>(0, 300);
    for (int i = 0; i < count; ++i) {
        const std::string item = pair.GetValue(i);
        CheckInt(pair, i, item);
        CheckUnsigned(pair, i, item);
        CheckFloat(pair, i, item);
        CheckBoolAndString(pair, i, item, bufferSize);
    }
    int value = 1;
    QELFUZZ_CHECK(!pair.GetInt(count, value) && value == 0);
    CheckWrites(pair, provider);
    return 0;
}
