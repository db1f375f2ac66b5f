#include "IniLineReader.h"

#include "TestUtil.h"

namespace {

using R = CIniLineReader;

// A line's kind; the text of a header, a key line or a line without "="; a key line's key
// and value text; then what becomes of it and the index of the header that takes it.
std::string Describe(const R::Line& line) {
    static const char* const kKinds[] = {"blank", "comment", "#header", "header", "key", "no="};
    static const char* const kIntakes[] = {"", " early", " after []", " after #[]", " refused"};
    std::string text = kKinds[line.kind];
    if (line.kind == R::kHeader || line.kind == R::kKeyLine || line.kind == R::kNoEquals) {
        text += " " + std::string(line.text, line.length);
    }
    if (line.kind == R::kKeyLine) {
        text += ": " + std::string(line.key, line.keyLength) + "|" +
                std::string(line.value, line.valueLength);
    }
    return text + kIntakes[line.intake] +
           (line.header != -1 ? " @" + std::to_string(line.header) : "");
}

// Lines fed in order, as from one file (tests/data/reader/lines.tsv). Each is sorted by the
// first rule that applies; bytes with the high bit set are never blanks, brackets or comment
// marks, and a UTF-8 byte-order mark is passed over at the very start of the first line only.
// "R" after a header tells the reader that its section could not be added.
TEST(CIniLineReader, ClassifiesEachLineAndTellsWhichHeaderTakesIt) {
    R reader;
    int index = 0;
    for (const auto& row : qeltest::ReadTable("reader/lines.tsv")) {
        if (row[0] == "R") {
            reader.RefuseSection();
            continue;
        }
        SCOPED_TRACE('"' + row[0] + '"');
        const char* text = row[0].c_str();
        const R::Line& line = reader.Read(text);
        EXPECT_EQ(Describe(line), row[1]);
        EXPECT_EQ(line.bytes, text);
        EXPECT_EQ(line.index, index++);
    }
    EXPECT_EQ(Describe(R().Read("\xEF\xBB[A]")), "no= \xEF\xBB[A] early");
}

}  // namespace
