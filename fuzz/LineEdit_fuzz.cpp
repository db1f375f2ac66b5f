// Removes or inserts one line in a file of arbitrary bytes and compares the file line by
// line with the lines the reader delivered before the edit: a removal drops exactly the
// line asked for, an insertion adds exactly one line, every line of the result ends with
// "\r\n", and the "~tmp" copy holds the same edited text.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "TxtFile.h"

namespace {

using Lines = std::vector<std::string>;

// The lines as a fresh reader delivers them.
Lines ReadLines(const std::string& path) {
    _CFG::CTxtFile file(path.c_str(), "rb");
    Lines lines;
    while (const char* line = file.GetTextLine(nullptr)) {
        lines.push_back(line);
    }
    return lines;
}

std::string Written(const Lines& lines) {
    std::string bytes;
    for (const std::string& line : lines) {
        bytes += line + "\r\n";
    }
    return bytes;
}

}  // namespace

// The input ends with the edit (remove or insert, the index, the line end), which
// libFuzzer's data provider takes from the back; the text to insert (a short text ended
// by a backslash and one more byte) and then the file's bytes come from the front.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider provider(data, size);
    const bool insert = provider.ConsumeBool();
    const int index = provider.ConsumeIntegralInRange<int>(-2, 40);
    const bool lineEnd = provider.ConsumeBool();
    std::string text = provider.ConsumeRandomLengthString(32);
    text = text.substr(0, text.find_first_of(std::string("\r\n\0", 3)));
    const std::string bytes = provider.ConsumeRemainingBytesAsString();

    const std::string& path = qelfuzz::WorkFile();
    qelfuzz::WriteBytes(path, bytes);
    const Lines before = ReadLines(path);
    QELFUZZ_CHECK(before == qelfuzz::ReaderLines(bytes));
    bool edited = false;
    {
        _CFG::CTxtFile file(path.c_str(), "r+b");
        edited =
            insert ? file.InsertTextLine(index, text.c_str(), lineEnd) : file.RemoveTextLine(index);
    }
    if (!insert && index < 0) {
        QELFUZZ_CHECK(!edited && qelfuzz::ReadBytes(path) == bytes);
        return 0;
    }
    // Before line `at` (at the end when there is none) for an insertion; line `at` itself
    // for a removal.
    std::size_t at = index < 0 ? 0 : static_cast<std::size_t>(index) + (insert ? 1 : 0);
    at = at < before.size() ? at : before.size();
    Lines expected = before;
    std::string expectedBytes;
    if (insert) {
        expected.insert(expected.begin() + static_cast<long>(at), text);
        expectedBytes = Written(Lines(before.begin(), before.begin() + static_cast<long>(at))) +
                        text + (lineEnd ? "\r\n" : "") +
                        Written(Lines(before.begin() + static_cast<long>(at), before.end()));
    } else {
        if (at < before.size()) {
            expected.erase(expected.begin() + static_cast<long>(at));
        }
        expectedBytes = Written(expected);
    }
    QELFUZZ_CHECK(edited);
    const std::string after = qelfuzz::ReadBytes(path);
    // The copy holds the edited text as written; writing it back ends every line of the
    // file with "\r\n", an inserted text at the very end without a line end included.
    QELFUZZ_CHECK(after == Written(qelfuzz::ReaderLines(expectedBytes)));
    QELFUZZ_CHECK(qelfuzz::ReadBytes(path + "~tmp") == expectedBytes);
    if (!insert || lineEnd) {
        QELFUZZ_CHECK(ReadLines(path) == expected);
    }
    return 0;
}
