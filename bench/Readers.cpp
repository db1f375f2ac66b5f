#include "Readers.h"

#include <cstring>

#include "IniFile.h"

#if QELCFG_HAVE_INIH
#include <ini.h>
#endif
#if QELCFG_HAVE_INIREADER
#include <INIReader.h>
#endif
#if QELCFG_HAVE_SIMPLEINI
// Compiled from its header with the same compiler and flags as this library. CSimpleIniA
// keeps 8-bit text as it stands; without a converter the header needs neither ICU nor
// ConvertUTF.
#define SI_IMPLEMENTATION
#define SI_NO_CONVERSION
#include <SimpleIni.h>
#endif
#if QELCFG_HAVE_GLIB
#include <glib.h>
#endif
#if QELCFG_HAVE_BOOST_PT
#include <ext/stdio_sync_filebuf.h>

#include <boost/property_tree/ini_parser.hpp>
#include <boost/property_tree/ptree.hpp>
#include <ostream>
#endif

namespace qelbench {
namespace {

class QelReader : public Reader {
public:
    const char* Name() const override { return "qelcfg"; }
    bool Load(const std::string& path) override {
        m_file.Dettach();
        return m_file.Attach(path.c_str());
    }
    CorpusCounts Count(const Catalog&) override {
        CorpusCounts counts;
        for (const CIniSection& section : m_file.GetCfg()) {
            ++counts.sections;
            for (const CIniPair& pair : section) {
                ++counts.keys;
                counts.kvBytes += pair.GetKey().size() + pair.GetWholeValue().size();
            }
        }
        return counts;
    }
    long LookUp(const char* section, const char* key) override {
        return m_file.GetValue(section, key, m_value) ? static_cast<long>(std::strlen(m_value))
                                                      : -1;
    }
    bool SaveTo(std::FILE* fp) override { return m_file.Save(static_cast<void*>(fp)); }
    bool SaveFile(const std::string& path) override { return m_file.Save(path.c_str()); }

private:
    CIniFile m_file;
    char m_value[513];
};

#if QELCFG_HAVE_INIH
// The C parser with a handler that does nothing: what parsing alone costs.
class InihFloor : public Reader {
public:
    const char* Name() const override { return "inih-parse"; }
    bool BuildsTree() const override { return false; }
    bool CanLookUp() const override { return false; }
    bool CanSave() const override { return false; }
    bool Load(const std::string& path) override {
        m_path = path;
        return ini_parse(path.c_str(), &Ignore, nullptr) == 0;
    }
    CorpusCounts Count(const Catalog&) override {
        Tally tally;
        ini_parse(m_path.c_str(), &Add, &tally);
        return tally.counts;
    }
    long LookUp(const char*, const char*) override { return -1; }
    bool SaveTo(std::FILE* fp) override {
        std::fclose(fp);
        return false;
    }
    bool SaveFile(const std::string&) override { return false; }

private:
    struct Tally {
        std::string section;
        CorpusCounts counts;
    };
    static int Ignore(void*, const char*, const char*, const char*) { return 1; }
    static int Add(void* user, const char* section, const char* key, const char* value) {
        Tally& tally = *static_cast<Tally*>(user);
        if (tally.counts.keys == 0 || tally.section != section) {
            tally.section = section;
            ++tally.counts.sections;
        }
        ++tally.counts.keys;
        tally.counts.kvBytes += std::strlen(key) + std::strlen(value);
        return 1;
    }

    std::string m_path;
};
#endif

#if QELCFG_HAVE_INIREADER
class IniReaderPeer : public Reader {
public:
    const char* Name() const override { return "INIReader"; }
    bool CanSave() const override { return false; }
    bool Load(const std::string& path) override {
        m_reader.reset();
        m_reader.reset(new INIReader(path));
        return m_reader->ParseError() == 0;
    }
    // INIReader cannot list what it holds: every section and key of the reference is
    // probed instead.
    CorpusCounts Count(const Catalog& reference) override {
        CorpusCounts counts;
        for (const auto& section : reference.sections) {
            counts.sections += m_reader->HasSection(section.first) ? 1 : 0;
            for (const std::string& key : section.second) {
                if (m_reader->HasValue(section.first, key)) {
                    ++counts.keys;
                    counts.kvBytes += key.size() + m_reader->Get(section.first, key, "").size();
                }
            }
        }
        return counts;
    }
    long LookUp(const char* section, const char* key) override {
        return static_cast<long>(m_reader->Get(section, key, "").size());
    }
    bool SaveTo(std::FILE* fp) override {
        std::fclose(fp);
        return false;
    }
    bool SaveFile(const std::string&) override { return false; }

private:
    std::unique_ptr<INIReader> m_reader;
};
#endif

#if QELCFG_HAVE_SIMPLEINI
class SimpleIniPeer : public Reader {
public:
    const char* Name() const override { return "SimpleIni"; }
    bool Load(const std::string& path) override {
        m_ini.Reset();
        return m_ini.LoadFile(path.c_str()) == SI_OK;
    }
    CorpusCounts Count(const Catalog&) override {
        CorpusCounts counts;
        CSimpleIniA::TNamesDepend sections;
        m_ini.GetAllSections(sections);
        for (const CSimpleIniA::Entry& section : sections) {
            ++counts.sections;
            for (const auto& kv : *m_ini.GetSection(section.pItem)) {
                ++counts.keys;
                counts.kvBytes += std::strlen(kv.first.pItem) + std::strlen(kv.second);
            }
        }
        return counts;
    }
    long LookUp(const char* section, const char* key) override {
        const char* value = m_ini.GetValue(section, key, nullptr);
        return value != nullptr ? static_cast<long>(std::strlen(value)) : -1;
    }
    bool SaveTo(std::FILE* fp) override {
        bool ok = m_ini.SaveFile(fp, false) == SI_OK;
        return std::fclose(fp) == 0 && ok;
    }
    bool SaveFile(const std::string& path) override {
        return m_ini.SaveFile(path.c_str(), false) == SI_OK;
    }

private:
    CSimpleIniA m_ini;
};
#endif

#if QELCFG_HAVE_GLIB
class KeyFilePeer : public Reader {
public:
    KeyFilePeer() : m_keys(g_key_file_new()) {}
    ~KeyFilePeer() override { g_key_file_free(m_keys); }
    const char* Name() const override { return "GKeyFile"; }
    bool Load(const std::string& path) override {
        g_key_file_free(m_keys);
        m_keys = g_key_file_new();
        return g_key_file_load_from_file(m_keys, path.c_str(), G_KEY_FILE_NONE, nullptr);
    }
    CorpusCounts Count(const Catalog&) override {
        CorpusCounts counts;
        gsize groupCount = 0;
        gchar** groups = g_key_file_get_groups(m_keys, &groupCount);
        for (gsize g = 0; g < groupCount; ++g) {
            ++counts.sections;
            gsize keyCount = 0;
            gchar** keys = g_key_file_get_keys(m_keys, groups[g], &keyCount, nullptr);
            for (gsize k = 0; k < keyCount; ++k) {
                gchar* value = g_key_file_get_value(m_keys, groups[g], keys[k], nullptr);
                ++counts.keys;
                counts.kvBytes += std::strlen(keys[k]) + (value ? std::strlen(value) : 0);
                g_free(value);
            }
            g_strfreev(keys);
        }
        g_strfreev(groups);
        return counts;
    }
    // g_key_file_get_value hands out a new copy of the value, which the caller frees.
    long LookUp(const char* section, const char* key) override {
        gchar* value = g_key_file_get_value(m_keys, section, key, nullptr);
        long length = value != nullptr ? static_cast<long>(std::strlen(value)) : -1;
        g_free(value);
        return length;
    }
    bool SaveTo(std::FILE* fp) override {
        gsize length = 0;
        gchar* data = g_key_file_to_data(m_keys, &length, nullptr);
        bool ok = data != nullptr && std::fwrite(data, 1, length, fp) == length;
        g_free(data);
        return std::fclose(fp) == 0 && ok;
    }
    bool SaveFile(const std::string& path) override {
        return g_key_file_save_to_file(m_keys, path.c_str(), nullptr);
    }

private:
    GKeyFile* m_keys;
};
#endif

#if QELCFG_HAVE_BOOST_PT
class PropertyTreePeer : public Reader {
public:
    const char* Name() const override { return "Boost.PropertyTree"; }
    bool Load(const std::string& path) override {
        m_tree.clear();
        try {
            boost::property_tree::read_ini(path, m_tree);
        } catch (const boost::property_tree::ptree_error&) {
            return false;
        }
        return true;
    }
    CorpusCounts Count(const Catalog&) override {
        CorpusCounts counts;
        for (const auto& section : m_tree) {
            ++counts.sections;
            for (const auto& kv : section.second) {
                ++counts.keys;
                counts.kvBytes += kv.first.size() + kv.second.data().size();
            }
        }
        return counts;
    }
    long LookUp(const char* section, const char* key) override {
        auto s = m_tree.find(section);
        if (s == m_tree.not_found()) {
            return -1;
        }
        auto k = s->second.find(key);
        return k == s->second.not_found() ? -1 : static_cast<long>(k->second.data().size());
    }
    bool SaveTo(std::FILE* fp) override {
        bool ok = true;
        {
            __gnu_cxx::stdio_sync_filebuf<char> buffer(fp);
            std::ostream out(&buffer);
            try {
                boost::property_tree::write_ini(out, m_tree);
            } catch (const boost::property_tree::ptree_error&) {
                ok = false;
            }
            out.flush();
            ok = ok && out.good();
        }
        return std::fclose(fp) == 0 && ok;
    }
    bool SaveFile(const std::string& path) override {
        try {
            boost::property_tree::write_ini(path, m_tree);
        } catch (const boost::property_tree::ptree_error&) {
            return false;
        }
        return true;
    }

private:
    boost::property_tree::ptree m_tree;
};
#endif

}  // namespace

std::vector<std::string> ReaderNames() {
    std::vector<std::string> names = {"qelcfg"};
#if QELCFG_HAVE_INIH
    names.push_back("inih-parse");
#endif
#if QELCFG_HAVE_INIREADER
    names.push_back("INIReader");
#endif
#if QELCFG_HAVE_SIMPLEINI
    names.push_back("SimpleIni");
#endif
#if QELCFG_HAVE_GLIB
    names.push_back("GKeyFile");
#endif
#if QELCFG_HAVE_BOOST_PT
    names.push_back("Boost.PropertyTree");
#endif
    return names;
}

std::unique_ptr<Reader> MakeReader(const std::string& name) {
    if (name == "qelcfg") {
        return std::unique_ptr<Reader>(new QelReader);
    }
#if QELCFG_HAVE_INIH
    if (name == "inih-parse") {
        return std::unique_ptr<Reader>(new InihFloor);
    }
#endif
#if QELCFG_HAVE_INIREADER
    if (name == "INIReader") {
        return std::unique_ptr<Reader>(new IniReaderPeer);
    }
#endif
#if QELCFG_HAVE_SIMPLEINI
    if (name == "SimpleIni") {
        return std::unique_ptr<Reader>(new SimpleIniPeer);
    }
#endif
#if QELCFG_HAVE_GLIB
    if (name == "GKeyFile") {
        return std::unique_ptr<Reader>(new KeyFilePeer);
    }
#endif
#if QELCFG_HAVE_BOOST_PT
    if (name == "Boost.PropertyTree") {
        return std::unique_ptr<Reader>(new PropertyTreePeer);
    }
#endif
    return nullptr;
}

Catalog CatalogOf(const std::string& path) {
    Catalog catalog;
    CIniFile file;
    if (!file.Attach(path.c_str())) {
        return catalog;
    }
    for (const CIniSection& section : file.GetCfg()) {
        catalog.sections.emplace_back(section.GetKey(), std::vector<std::string>());
        ++catalog.counts.sections;
        for (const CIniPair& pair : section) {
            catalog.sections.back().second.push_back(pair.GetKey());
            ++catalog.counts.keys;
            catalog.counts.kvBytes += pair.GetKey().size() + pair.GetWholeValue().size();
        }
    }
    return catalog;
}

}  // namespace qelbench
