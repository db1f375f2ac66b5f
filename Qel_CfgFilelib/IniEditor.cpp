#include "IniEditor.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <utility>

#include "Ini.h"
#include "IniLineReader.h"
#include "IniPair.h"
#include "IniText.h"
#include "StrScan.h"
#include "SysIo.h"
#include "TreeAccess.h"

namespace {

using qelcfg::detail::SysContents;
using qelcfg::detail::SysFileState;
using qelcfg::detail::SysLockedFile;

constexpr std::size_t kNone = std::string::npos;
constexpr std::size_t kReadBlock = 64 * 1024;

// One physical line: [begin, end) holds it with its line end, [begin, textEnd) the text
// that the reader sees.
struct LineSpan {
    std::size_t begin;
    std::size_t textEnd;
    std::size_t end;
};

LineSpan SpanAt(const std::string& text, std::size_t begin) {
    std::size_t lf = text.find('\n', begin);
    std::size_t end = lf == kNone ? text.size() : lf + 1;
    return {begin, begin + qelcfg::detail::LineTextLength(text.data() + begin, end - begin), end};
}

bool HasLoneCr(std::string_view text) {
    for (std::size_t at = text.find('\r'); at != kNone; at = text.find('\r', at + 1)) {
        if (at + 1 == text.size() || text[at + 1] != '\n') {
            return true;
        }
    }
    return false;
}

// Whether the last line of the non-empty `text` is blank as the reader sees it.
bool EndsInBlankLine(const std::string& text) {
    const std::size_t stop = text.back() == '\n' ? text.size() - 1 : text.size();
    const std::size_t lf = stop > 0 ? text.rfind('\n', stop - 1) : kNone;
    const LineSpan last = SpanAt(text, lf == kNone ? 0 : lf + 1);
    for (std::size_t at = last.begin; at < last.textEnd; ++at) {
        if (!qelcfg::detail::IsBlank(text[at])) {
            return false;
        }
    }
    return true;
}

// The line end of the file's lines that most often have one; CR LF, the library's own text
// format, when the two are as common or no line has one.
std::string CommonestLineEnd(const std::string& text) {
    std::size_t lf = 0;
    std::size_t crlf = 0;
    for (std::size_t at = text.find('\n'); at != kNone; at = text.find('\n', at + 1)) {
        ++(at > 0 && text[at - 1] == '\r' ? crlf : lf);
    }
    return lf > crlf ? "\n" : "\r\n";
}

bool Matches(const char* text, std::size_t length, const char* name) {
    return std::strlen(name) == length && std::memcmp(text, name, length) == 0;
}

std::size_t Indentation(const char* text, std::size_t length) {
    std::size_t blanks = 0;
    while (blanks < length && qelcfg::detail::IsBlank(text[blanks])) {
        ++blanks;
    }
    return blanks;
}

// A key line or a line without "=": its text, indentation included.
bool HasText(const CIniLineReader::Line& line) {
    return line.kind == CIniLineReader::kKeyLine || line.kind == CIniLineReader::kNoEquals;
}

// A line of a text as the reader reads it, with the index of the line whose value it
// continues for other readers (-1: none).
struct WalkedLine {
    LineSpan span;
    const CIniLineReader::Line* read;
    int of;
    const std::string* bytes;  // what `read` points into
};
// Calls visit(line) for each line of `text` in order, until it returns false.
template <class F>
void WalkLines(const std::string& text, F&& visit) {
    CIniLineReader reader;
    CIniContinuation continuation;
    std::string bytes;
    for (std::size_t at = 0; at < text.size();) {
        const LineSpan span = SpanAt(text, at);
        at = span.end;
        bytes.assign(text, span.begin, span.textEnd - span.begin);
        const CIniLineReader::Line& read = reader.Read(bytes.c_str());
        if (!visit(WalkedLine{span, &read, continuation.Continues(read), &bytes})) {
            return;
        }
    }
}

// Where the line end of the line [begin, end) begins: its LF, or the CR before it.
std::size_t LineEndAt(const std::string& text, const LineSpan& span) {
    std::size_t at = span.end;
    if (at > span.begin && text[at - 1] == '\n') {
        --at;
        if (at > span.textEnd && text[at - 1] == '\r') {
            --at;
        }
    }
    return at;
}

class TextContents : public SysContents {
public:
    explicit TextContents(const std::string& text) : m_text(text) {}
    bool WriteTo(FILE* fp) override {
        return m_text.empty() ||
               qelcfg::detail::SysWrite(m_text.data(), m_text.size(), fp) == m_text.size();
    }

private:
    const std::string& m_text;
};

}  // namespace

int CIniContinuation::Continues(const CIniLineReader::Line& line) {
    if (line.kind == CIniLineReader::kHeader) {
        m_value = -1;
        m_backslash = false;
        return -1;
    }
    if (line.kind == CIniLineReader::kBlank) {
        m_backslash = false;
        return -1;
    }
    const std::size_t indent = HasText(line) ? Indentation(line.text, line.length) : 0;
    if (!HasText(line) || line.text[indent] == ';') {
        return -1;  // a comment, inside a value or not
    }
    const bool continues = m_value >= 0 && (m_backslash || indent > m_indent);
    if (!continues) {
        m_value = line.index;
        m_indent = indent;
    }
    m_backslash = line.text[line.length - 1] == '\\';
    return continues ? m_value : -1;
}

// Where a section and a key stand in the text, as offsets; kNone where there is none.
struct CIniEditor::Place {
    std::size_t header = kNone;      // the first header of the section's name
    std::size_t sectionEnd = kNone;  // the next header, or the end of the text
    std::size_t lastTaken = kNone;   // the end of the section's last key line and the lines
                                     // that continue it, or of its header
    std::string indent;              // the indentation of the section's last key line
    std::size_t keyBegin = kNone;    // the key's first line
    std::size_t keyLineEnd = kNone;  // the end of that line, line end included
    std::size_t keyEnd = kNone;      // the end of the last line that continues its value
    std::size_t valueBegin = kNone;  // after the "=" and the blanks after it
    std::size_t valueEnd = kNone;    // where the reader's text of that line ends
    std::size_t writtenEnd = kNone;  // where the value ends, before the blanks after it
    CIniPair entry;                  // the key's entry as loading builds it
};

// The bound file: held open and locked from the read to the save, and the state in which
// it was read or last saved. A copy has the state but not the file, which its Save opens.
struct CIniEditor::Binding {
    SysLockedFile file;
    SysFileState state;
    bool held = false;
};

CIniEditor::CIniEditor() = default;
CIniEditor::~CIniEditor() = default;
CIniEditor::CIniEditor(CIniEditor&& other) noexcept = default;
CIniEditor& CIniEditor::operator=(CIniEditor&& other) noexcept = default;

CIniEditor::CIniEditor(const CIniEditor& other)
    : m_path(other.m_path),
      m_text(other.m_text),
      m_bound(other.m_bound),
      m_changed(other.m_changed),
      m_wait(other.m_wait) {
    if (other.m_binding) {
        m_binding = std::make_unique<Binding>();
        m_binding->state = other.m_binding->state;
    }
}

CIniEditor& CIniEditor::operator=(const CIniEditor& other) {
    if (this != &other) {
        CIniEditor copy(other);
        *this = std::move(copy);
    }
    return *this;
}

bool CIniEditor::Read(const char* path, bool mayBeMissing) {
    Close();
    m_text.clear();
    m_changed = false;
    auto binding = std::make_unique<Binding>();
    if (path == nullptr) {
        errno = EINVAL;
        return false;
    }
    if (!binding->file.Open(path, static_cast<long>(m_wait.count()), mayBeMissing)) {
        return false;
    }
    std::string text;
    for (long long got = 1; got > 0;) {
        const std::size_t had = text.size();
        text.resize(had + kReadBlock);
        got = binding->file.Read(&text[had], kReadBlock);
        text.resize(had + static_cast<std::size_t>(std::max(got, 0LL)));
        if (got < 0) {
            return false;
        }
    }
    binding->state = binding->file.State();
    binding->held = true;
    m_binding = std::move(binding);
    m_text = std::move(text);
    m_path = path;
    m_bound = true;
    return true;
}

bool CIniEditor::View(const char* path) {
    Close();
    m_text.clear();
    m_changed = false;
    FILE* fp = path != nullptr ? qelcfg::detail::SysOpen(path, "rb") : nullptr;
    if (fp == nullptr) {
        return false;
    }
    // Closed however the read ends, a failed allocation of the text included.
    std::unique_ptr<FILE, decltype(&qelcfg::detail::SysClose)> stream(fp, qelcfg::detail::SysClose);
    std::string text;
    std::size_t got = 0;
    do {
        text.resize(text.size() + kReadBlock);
        got = qelcfg::detail::SysRead(&text[text.size() - kReadBlock], kReadBlock, fp);
        text.resize(text.size() - kReadBlock + got);
    } while (got == kReadBlock);
    const bool complete = qelcfg::detail::SysEof(fp);
    if (qelcfg::detail::SysClose(stream.release()) != 0 || !complete) {
        errno = errno != 0 ? errno : EIO;
        return false;
    }
    m_text = std::move(text);
    return true;
}

void CIniEditor::Close() {
    m_binding.reset();
    m_path.clear();
    m_bound = false;
}

bool CIniEditor::SetText(std::string_view text) {
    if (HasLoneCr(text)) {
        return false;
    }
    m_text.assign(text.data(), text.size());
    m_changed = false;
    return true;
}

bool CIniEditor::ReplaceText(std::string_view text) {
    if (m_text != text) {
        m_text.assign(text.data(), text.size());
        m_changed = true;
    }
    return true;
}

CIniEditor::Place CIniEditor::Locate(const char* section, const char* key) const {
    Place place;
    int header = -1;
    int keyLine = -1;
    int lastLine = -1;
    WalkLines(m_text, [&](const WalkedLine& walked) {
        const CIniLineReader::Line& read = *walked.read;
        const LineSpan& span = walked.span;
        if (header >= 0 && walked.of >= 0) {
            place.keyEnd = walked.of == keyLine ? span.end : place.keyEnd;
            place.lastTaken = walked.of == lastLine ? span.end : place.lastTaken;
        } else if (read.kind == CIniLineReader::kHeader) {
            if (header >= 0) {
                place.sectionEnd = span.begin;
                return false;
            }
            if (Matches(read.text, read.length, section)) {
                header = read.index;
                place.header = span.begin;
                place.lastTaken = span.end;
            }
        } else if (header >= 0 && walked.of < 0 && read.kind == CIniLineReader::kKeyLine &&
                   read.intake == CIniLineReader::kTaken && read.header == header) {
            lastLine = read.index;
            place.lastTaken = span.end;
            place.indent.assign(read.text, Indentation(read.text, read.length));
            if (key != nullptr && keyLine < 0 && Matches(read.key, read.keyLength, key)) {
                keyLine = read.index;
                place.keyBegin = span.begin;
                place.keyLineEnd = place.keyEnd = span.end;
                const std::size_t value =
                    span.begin + static_cast<std::size_t>(read.value - walked.bytes->c_str());
                place.valueBegin = value + Indentation(read.value, read.valueLength);
                place.valueEnd = span.textEnd;
                place.writtenEnd = value + read.valueLength;
                qelcfg::detail::TreeAccess::FillEntry(
                    place.entry, {read.key, read.keyLength, read.value, read.valueLength});
            }
        }
        return true;
    });
    if (header >= 0 && place.sectionEnd == kNone) {
        place.sectionEnd = m_text.size();
    }
    return place;
}

bool CIniEditor::GetValue(const char* section, const char* key, std::string& value) const {
    if (section == nullptr || key == nullptr) {
        return false;
    }
    Place place = Locate(section, key);
    if (place.keyBegin == kNone) {
        return false;
    }
    value = place.entry.GetWholeValue();
    return true;
}

bool CIniEditor::HasSection(const char* name) const {
    return name != nullptr && Locate(name, nullptr).header != kNone;
}

bool CIniEditor::GetWrittenValue(const char* section, const char* key, std::string& value,
                                 bool* continues) const {
    if (section == nullptr || key == nullptr) {
        return false;
    }
    const Place place = Locate(section, key);
    if (place.keyBegin == kNone) {
        return false;
    }
    value.assign(m_text, place.valueBegin, place.writtenEnd - place.valueBegin);
    if (continues != nullptr) {
        *continues = place.keyEnd != place.keyLineEnd;
    }
    return true;
}

void CIniEditor::FillTree(CIni& tree, const char* section) const {
    CIniSection* current = nullptr;
    std::string name;
    WalkLines(m_text, [&](const WalkedLine& walked) {
        const CIniLineReader::Line& read = *walked.read;
        if (read.kind == CIniLineReader::kHeader) {
            if (current != nullptr && section != nullptr) {
                return false;
            }
            name.assign(read.text, read.length);
            const bool wanted = section == nullptr || name == section;
            current = wanted ? tree.AddSection(name.c_str()) : nullptr;
        } else if (current != nullptr && read.kind == CIniLineReader::kKeyLine &&
                   read.intake == CIniLineReader::kTaken) {
            qelcfg::detail::TreeAccess::AddEntry(
                *current, {read.key, read.keyLength, read.value, read.valueLength}, false);
            const std::size_t blanks = Indentation(read.value, read.valueLength);
            current->GetValuePtr(static_cast<int>(current->size()) - 1)
                ->SetWholeValue(std::string(read.value + blanks, read.valueLength - blanks));
        }
        return true;
    });
}

bool CIniEditor::IsValidSectionName(const char* name) {
    return name != nullptr && *name != '\0' && !qelcfg::detail::HasLineBreak(name);
}

bool CIniEditor::IsValidKey(const char* key) {
    if (key == nullptr || *key == '\0' || qelcfg::detail::HasLineBreak(key) ||
        std::strchr(key, '=') != nullptr) {
        return false;
    }
    const char last = key[std::strlen(key) - 1];
    return !qelcfg::detail::IsBlank(key[0]) && !qelcfg::detail::IsBlank(last) && key[0] != '#' &&
           key[0] != '[';
}

bool CIniEditor::IsValidValue(const char* value) {
    if (value == nullptr || qelcfg::detail::HasLineBreak(value)) {
        return false;
    }
    const std::size_t length = std::strlen(value);
    return length == 0 ||
           (!qelcfg::detail::IsBlank(value[0]) && !qelcfg::detail::IsBlank(value[length - 1]));
}

bool CIniEditor::TakesLineEdits() const {
    if (HasLoneCr(m_text)) {
        errno = EILSEQ;
        return false;
    }
    return true;
}

bool CIniEditor::SetValue(const char* section, const char* key, const char* value) {
    if (!IsValidSectionName(section) || !IsValidKey(key) || !IsValidValue(value) ||
        !TakesLineEdits()) {
        return false;
    }
    Place place = Locate(section, key);
    if (place.keyBegin == kNone) {
        return false;
    }
    if (place.keyEnd != place.keyLineEnd) {
        EraseLines(place.keyLineEnd, place.keyEnd);
    }
    const std::size_t length = place.valueEnd - place.valueBegin;
    if (m_text.compare(place.valueBegin, length, value) != 0) {
        m_text.replace(place.valueBegin, length, value);
        m_changed = true;
    }
    return true;
}

bool CIniEditor::SetOrAdd(const char* section, const char* key, const char* value) {
    if (!IsValidSectionName(section) || !IsValidKey(key) || !IsValidValue(value) ||
        !TakesLineEdits()) {
        return false;
    }
    if (Locate(section, key).keyBegin != kNone) {
        return SetValue(section, key, value);
    }
    return (HasSection(section) || AddSection(section)) && AddKey(section, key, value);
}

bool CIniEditor::AddItems(const char* section, const char* key, const char* items) {
    if (items == nullptr) {
        return false;
    }
    CIniPair entry = Locate(section != nullptr ? section : "", key).entry;
    entry.AddValue(std::string(items), true);
    return SetOrAdd(section, key, entry.GetWholeValue().c_str());
}

bool CIniEditor::RemoveItems(const char* section, const char* key, const char* items) {
    if (section == nullptr || key == nullptr || items == nullptr) {
        return false;
    }
    const Place place = Locate(section, key);
    CIniPair entry = place.entry;
    entry.RemoveValue(std::string(items));
    return place.keyBegin != kNone && entry.GetWholeValue() != place.entry.GetWholeValue() &&
           SetValue(section, key, entry.GetWholeValue().c_str());
}

bool CIniEditor::AddKey(const char* section, const char* key, const char* value) {
    if (!IsValidSectionName(section) || !IsValidKey(key) || !IsValidValue(value) ||
        !TakesLineEdits()) {
        return false;
    }
    Place place = Locate(section, nullptr);
    if (place.header == kNone) {
        return false;
    }
    InsertLine(place.lastTaken, place.indent + key + "=" + value);
    return true;
}

bool CIniEditor::AddSection(const char* name) {
    if (!IsValidSectionName(name) || !TakesLineEdits()) {
        return false;
    }
    const std::string header = std::string("[") + name + "]";
    const std::string end = NewLineEnd(m_text.size());
    if (m_text.empty()) {
        m_text = header + end;
    } else {
        const std::string blank = EndsInBlankLine(m_text) ? "" : end;
        // Without a final line end the file keeps going without one.
        m_text += m_text.back() == '\n' ? blank + header + end : end + blank + header;
    }
    m_changed = true;
    return true;
}

bool CIniEditor::RemoveKey(const char* section, const char* key) {
    if (section == nullptr || key == nullptr || !TakesLineEdits()) {
        return false;
    }
    Place place = Locate(section, key);
    if (place.keyBegin == kNone) {
        return false;
    }
    EraseLines(place.keyBegin, place.keyEnd);
    return true;
}

bool CIniEditor::RemoveSection(const char* name) {
    if (name == nullptr || !TakesLineEdits()) {
        return false;
    }
    Place place = Locate(name, nullptr);
    if (place.header == kNone) {
        return false;
    }
    EraseLines(place.header, place.sectionEnd);
    return true;
}

// The line end of the line that ends at `before`, or the file's commonest one when that
// line has none or there is no line before.
std::string CIniEditor::NewLineEnd(std::size_t before) const {
    if (before > 0 && m_text[before - 1] == '\n') {
        return before > 1 && m_text[before - 2] == '\r' ? "\r\n" : "\n";
    }
    return CommonestLineEnd(m_text);
}

// Inserts `line` as a line of its own at `at`, the start of a line or the end of the text.
// After a last line without a line end, that line gets one and the new line goes without,
// so that a missing final line end stays missing.
void CIniEditor::InsertLine(std::size_t at, const std::string& line) {
    const std::string end = NewLineEnd(at);
    if (at > 0 && m_text[at - 1] != '\n') {
        m_text.insert(at, end + line);
    } else {
        m_text.insert(at, line + end);
    }
    m_changed = true;
}

// Removes the lines in [begin, end). When they run to the end of a text that has no final
// line end, the line end before them goes too, so that it still has none.
void CIniEditor::EraseLines(std::size_t begin, std::size_t end) {
    if (end == m_text.size() && end > begin && m_text[end - 1] != '\n' && begin > 0) {
        --begin;
        if (begin > 0 && m_text[begin - 1] == '\r') {
            --begin;
        }
    }
    m_text.erase(begin, end - begin);
    m_changed = true;
}

void CIniEditor::Normalize(bool crlf) {
    std::string text;
    text.reserve(m_text.size());
    WalkLines(m_text, [&](const WalkedLine& walked) {
        const CIniLineReader::Line& read = *walked.read;
        const LineSpan& span = walked.span;
        const std::size_t lineEnd = LineEndAt(m_text, span);
        // A byte-order mark stays before the first line's text.
        const std::size_t bom =
            read.index == 0 && m_text.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
        if (read.kind == CIniLineReader::kHeader) {
            text.append(m_text, 0, bom).append("[").append(read.text, read.length).append("]");
        } else if (read.kind == CIniLineReader::kKeyLine && read.intake == CIniLineReader::kTaken) {
            CIniPair entry;
            qelcfg::detail::TreeAccess::FillEntry(
                entry, {read.key, read.keyLength, read.value, read.valueLength});
            text.append(m_text, 0, bom).append(entry.GetKey()).append("=");
            text.append(entry.GetWholeValue());
        } else if (HasText(read)) {
            return true;  // a line the reader drops
        } else {
            text.append(m_text, span.begin, lineEnd - span.begin);
        }
        if (lineEnd != span.end) {
            text.append(crlf ? "\r\n" : m_text.substr(lineEnd, span.end - lineEnd));
        }
        return true;
    });
    ReplaceText(text);
}

bool CIniEditor::Save() {
    if (!m_bound) {
        errno = EBADF;
        return false;
    }
    return !m_changed || WriteBound();
}

bool CIniEditor::SaveAs(const char* path) {
    if (path == nullptr) {
        errno = EINVAL;
        return false;
    }
    if (m_bound && (m_path == path || qelcfg::detail::SysNamesFile(path, m_binding->state))) {
        return WriteBound();
    }
    TextContents contents(m_text);
    return qelcfg::detail::SysReplaceFile(path, contents, nullptr, nullptr);
}

// Writes the text to the bound file while it is as it was read or last saved.
bool CIniEditor::WriteBound() {
    Binding& binding = *m_binding;
    if (!binding.held &&
        !binding.file.Open(m_path.c_str(), static_cast<long>(m_wait.count()), true)) {
        return false;
    }
    binding.held = true;
    TextContents contents(m_text);
    if (!binding.file.Replace(contents, binding.state)) {
        return false;
    }
    binding.state = binding.file.State();
    m_changed = false;
    return true;
}
