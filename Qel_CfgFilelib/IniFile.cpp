#include "IniFile.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "IniLineReader.h"
#include "IniText.h"
#include "SysIo.h"
#include "TreeAccess.h"

namespace {

// The INI text of a tree, as every save writes it. Text is gathered into blocks, so that a
// save makes one write call per block rather than several per line.
class TreeText final : public qelcfg::detail::SysContents {
public:
    explicit TreeText(CIni& tree) : m_tree(tree) {}

    bool WriteTo(FILE* fp) override {
        m_fp = fp;
        m_block.clear();
        m_block.reserve(kBlockSize);
        return WriteTree() && WriteBlock();
    }

    // The whole text, gathered into one string rather than written in blocks.
    std::string Text() {
        m_fp = nullptr;
        m_block.clear();
        WriteTree();
        return std::move(m_block);
    }

private:
    static constexpr std::size_t kBlockSize = 64 * 1024;

    bool WriteTree() {
        m_tree.StartGetSection();
        while (CIniSection* section = m_tree.GetNextSection()) {
            if (!WriteSection(*section)) {
                return false;
            }
        }
        return true;
    }

    // Appends the text up to its first NUL, as fputs writes it.
    bool Put(const char* text) { return Put(text, std::strlen(text)); }
    bool Put(const std::string& text) { return Put(text.c_str()); }
    bool Put(const char* text, std::size_t length) {
        if (m_fp != nullptr && m_block.size() + length > kBlockSize && !WriteBlock()) {
            return false;
        }
        if (m_fp != nullptr && length > kBlockSize) {
            return qelcfg::detail::SysWrite(text, length, m_fp) == length;
        }
        m_block.append(text, length);
        return true;
    }
    bool EndLine() { return Put("\r\n", 2); }

    bool WriteBlock() {
        bool ok = m_block.empty() ||
                  qelcfg::detail::SysWrite(m_block.data(), m_block.size(), m_fp) == m_block.size();
        m_block.clear();
        return ok;
    }

    bool WriteSection(CIniSection& section) {
        if (!Put("[", 1) || !Put(section.GetSectionName()) || !Put("]", 1) || !EndLine()) {
            return false;
        }
        // Entries are walked by the section's own cursor rather than through the bounded
        // copies of GetNextKV, so keys and values of any length are written whole; the walk
        // leaves the cursor past the last entry, as a bounded walk would.
        section.StartGetKV();
        while (CIniPair* pair = section.GetNextValue()) {
            if (!Put(pair->GetKey()) || !Put("=", 1) || !Put(qelcfg::detail::WholeValueOf(*pair)) ||
                !EndLine()) {
                return false;
            }
        }
        return EndLine();
    }

    CIni& m_tree;
    FILE* m_fp = nullptr;
    std::string m_block;
};

using qelcfg::detail::HasLineBreak;

bool SectionHasLineBreak(CIniSection& section) {
    if (HasLineBreak(section.GetKey())) {
        return true;
    }
    for (const CIniPair& pair : section) {
        if (HasLineBreak(pair.GetKey()) || HasLineBreak(qelcfg::detail::WholeValueOf(pair))) {
            return true;
        }
    }
    return false;
}

// The entries of the key lines that a section takes, gathered apart while its lines are
// read and then handed to it, so that its list is allocated once, at its size. The room of
// the gathered list is reused from one section to the next.
class SectionIntake {
public:
    // Adds a key line the reader lets the section take, as AddKV(line, false) adds it.
    void Add(const CIniLineReader::Line& line) {
        CIniPair& entry = m_entries.emplace_back();
        try {
            qelcfg::detail::TreeAccess::FillEntry(
                entry, {line.key, line.keyLength, line.value, line.valueLength});
        } catch (...) {
            m_entries.pop_back();
            throw;
        }
    }
    // Hands the entries gathered to `*section`, which holds none yet, and forgets it.
    void HandTo(CIniSection*& section) noexcept {
        if (section != nullptr) {
            qelcfg::detail::TreeAccess::HandOverEntries(m_entries, *section);
            section = nullptr;
        }
    }

private:
    std::vector<CIniPair> m_entries;
};

// Leaves the list of sections without room beyond its sections.
void FitSections(CIni& tree) {
    std::vector<CIniSection>& sections = *tree.GetVecValue();
    if (sections.capacity() != sections.size()) {
        sections.shrink_to_fit();
    }
}

}  // namespace

struct CIniFile::CFileStamp {
    qelcfg::detail::SysFileState state;
};

CIniFile::CIniFile() = default;
CIniFile::~CIniFile() = default;
CIniFile::CIniFile(const CIniFile& other) = default;
CIniFile& CIniFile::operator=(const CIniFile& other) = default;
CIniFile::CIniFile(CIniFile&& other) noexcept = default;
CIniFile& CIniFile::operator=(CIniFile&& other) noexcept = default;

bool CIniFile::Open(const char* path, const char* mode) {
    auto stamp = std::make_shared<CFileStamp>();
    m_stamp.reset();
    if (!CTxtFile::Open(path, mode)) {
        return false;
    }
    if (qelcfg::detail::SysStateOf(static_cast<FILE*>(GetStream()), stamp->state)) {
        m_stamp = std::move(stamp);
    }
    Unload();
    return true;
}

bool CIniFile::Set(void* stream) {
    if (stream != nullptr && stream == GetStream()) {
        return false;
    }
    if (!CTxtFile::Set(stream)) {
        return false;
    }
    Unload();
    return Load();
}

bool CIniFile::Attach(const char* path) {
    if (path == nullptr || !Open(path, "rb")) {
        return false;
    }
    return Load();
}

void CIniFile::Dettach() {
    Close();
    Unload();
}

void CIniFile::Unload() {
    m_cfg.Clear();
}

bool CIniFile::Load() {
    if (GetStream() == nullptr || !SeekToBegin()) {
        return false;
    }
    CIniLineReader reader;
    SectionIntake intake;
    CIniSection* current = nullptr;
    std::string name;
    try {
        while (const char* text = GetTextLine(nullptr)) {
            const CIniLineReader::Line& line = reader.Read(text);
            if (line.kind == CIniLineReader::kHeader) {
                intake.HandTo(current);  // before the list of sections may move
                name.assign(line.text, line.length);
                current = m_cfg.AddSection(name.c_str());
                if (current == nullptr) {
                    reader.RefuseSection();
                }
            } else if (line.kind == CIniLineReader::kKeyLine &&
                       line.intake == CIniLineReader::kTaken) {
                intake.Add(line);
            }
        }
    } catch (...) {
        intake.HandTo(current);  // what was read before stays in the tree
        throw;
    }
    intake.HandTo(current);
    FitSections(m_cfg);
    return !ReadFailed();
}

std::string CIniFile::GetText() {
    return TreeText(m_cfg).Text();
}

CIni& CIniFile::GetCfg() {
    return m_cfg;
}

bool CIniFile::GetValue(const char* section, const char* key, char* value) {
    return m_cfg.GetKeyValue(section, key, value);
}

bool CIniFile::Save(void* stream) {
    if (stream == nullptr || stream == GetStream()) {
        return false;
    }
    TreeText text(m_cfg);
    return qelcfg::detail::SysWriteAndClose(static_cast<FILE*>(stream), text, false);
}

bool CIniFile::Save(const char* path) {
    if (path == nullptr && !IsFileChanged()) {
        return true;
    }
    const char* name = GetFileName();
    if (path == nullptr && name == nullptr) {
        return false;
    }
    // The object's own file, by its name or by another path that leads to it, is replaced
    // only while it is as this object last saw it.
    const bool own =
        path == nullptr ||
        (name != nullptr && (std::strcmp(path, name) == 0 ||
                             (m_stamp && qelcfg::detail::SysNamesFile(path, m_stamp->state))));
    const std::string target = path != nullptr ? path : name;
    // A save to the object's own file lets go of its stream: some platforms (Windows)
    // replace no file that a stream holds open, and elsewhere the stream would go on
    // reading the file that was replaced.
    if (own) {
        CloseStream();
    }
    TreeText text(m_cfg);
    // Made before the file changes, so that no failure comes after it.
    auto written = std::make_shared<CFileStamp>();
    if (!qelcfg::detail::SysReplaceFile(
            target.c_str(), text, own && m_stamp ? &m_stamp->state : nullptr, &written->state)) {
        CloseStream();
        return false;
    }
    if (own) {
        m_stamp = std::move(written);
    }
    SetChangeFlag(false);
    return true;
}

bool CIniFile::AddSection(const char* name) {
    if (HasLineBreak(name) || m_cfg.AddSection(name) == nullptr) {
        return false;
    }
    SetChangeFlag(true);
    return Save(static_cast<const char*>(nullptr));
}

bool CIniFile::AddSection(CIniSection& section) {
    if (SectionHasLineBreak(section)) {
        return false;
    }
    m_cfg.AddValue(section, -1);
    SetChangeFlag(true);
    return Save(static_cast<const char*>(nullptr));
}

bool CIniFile::AddValue(const char* section, const char* key, const char* value, bool replace) {
    if (HasLineBreak(section) || HasLineBreak(key) || HasLineBreak(value) ||
        !m_cfg.AddKeyValue(section, key, value, replace)) {
        return false;
    }
    SetChangeFlag(true);
    return Save(static_cast<const char*>(nullptr));
}

bool CIniFile::AddValue(const char* section, const char* line, bool replace) {
    if (HasLineBreak(section) || HasLineBreak(line) || !m_cfg.AddKeyValue(section, line, replace)) {
        return false;
    }
    SetChangeFlag(true);
    return Save(static_cast<const char*>(nullptr));
}

CIniSection* CIniFile::FindSection(const char* name) {
    if (m_cfg.size() > 0) {
        return m_cfg.FindSection(name);
    }
    if (name == nullptr || GetStream() == nullptr || !SeekToBegin()) {
        return nullptr;
    }
    m_fileSection.Clear();
    const std::size_t nameLength = std::strlen(name);
    CIniLineReader reader;
    SectionIntake intake;
    CIniSection* section = &m_fileSection;  // handed its entries once the reading stops
    int found = -1;                         // the header of the section collected
    try {
        while (const char* text = GetTextLine(nullptr)) {
            const CIniLineReader::Line& line = reader.Read(text);
            if (line.kind == CIniLineReader::kHeader) {
                if (found >= 0) {
                    intake.HandTo(section);
                    return &m_fileSection;
                }
                if (line.length == nameLength && std::memcmp(line.text, name, nameLength) == 0) {
                    m_fileSection.SetSectionName(std::string(line.text, line.length).c_str());
                    found = line.index;
                }
            } else if (line.kind == CIniLineReader::kKeyLine &&
                       line.intake == CIniLineReader::kTaken && line.header == found) {
                intake.Add(line);
            }
        }
    } catch (...) {
        intake.HandTo(section);
        throw;
    }
    intake.HandTo(section);
    return found >= 0 && !ReadFailed() ? &m_fileSection : nullptr;
}

namespace {

bool HoldsNul(std::string_view text) {
    return text.find('\0') != std::string_view::npos;
}

}  // namespace

bool CIniFile::Save() {
    return Save(static_cast<const char*>(nullptr));
}

const CIni& CIniFile::GetCfg() const {
    return m_cfg;
}

bool CIniFile::GetValue(const char* section, const char* key, char* value, std::size_t size) const {
    return m_cfg.GetKeyValue(section, key, value, size);
}

// No header line of a file holds a NUL, so such a name can only be in the tree.
CIniSection* CIniFile::FindSection(std::string_view name) {
    if (HoldsNul(name)) {
        return m_cfg.FindSection(name);
    }
    return FindSection(std::string(name).c_str());
}

bool CIniFile::AddSection(std::string_view name) {
    return !HoldsNul(name) && AddSection(std::string(name).c_str());
}

bool CIniFile::AddValue(std::string_view section, std::string_view key, std::string_view value,
                        bool replace) {
    if (HoldsNul(section) || HoldsNul(key) || HoldsNul(value)) {
        return false;
    }
    return AddValue(std::string(section).c_str(), std::string(key).c_str(),
                    std::string(value).c_str(), replace);
}
