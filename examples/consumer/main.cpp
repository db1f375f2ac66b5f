// Uses the installed Qel_CfgFile as any application would: saves a small tree to the
// file named on the command line, attaches it again and reads the values back, through
// the fixed-buffer forms and through the bounded, const and std::string forms. Exits 0
// only when what is read is what was written.
#include <Qel_CfgFile/IniFile.h>

#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <utility>

namespace {

bool Check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "consumer: %s\n", what);
    }
    return ok;
}

// Reads through a const file: const lookups and the value of any length.
bool ReadConst(const CIniFile& ini, const std::string& section, const std::string& longValue) {
    const CIni& tree = ini.GetCfg();
    const CIniSection* display = tree.FindSection(section);
    const CIniPair* size = display ? display->FindKey("Size") : nullptr;
    char small[8];
    char exact[8];
    return Check(size && size->GetWholeValue() == "640,480", "const lookup") &&
           Check(tree.Get(section, "Title") == longValue, "Get of a long value") &&
           Check(!tree.Get(section, "Missing").has_value(), "Get of a missing key") &&
           Check(ini.GetValue("Display", "Size", exact, sizeof exact) &&
                     std::strcmp(exact, "640,480") == 0,
                 "bounded GetValue that fits") &&
           Check(!ini.GetValue("Display", "Title", small, sizeof small) && small[0] == '\0',
                 "bounded GetValue that does not fit");
}

}  // namespace

int main(int argc, char** argv) {
    const char* path = argc > 1 ? argv[1] : "consumer.ini";
    const std::string section = "Display";
    const std::string longValue(600, 't');  // beyond the 513-byte buffer of GetValue

    {
        std::FILE* created = std::fopen(path, "wb");
        if (!created || std::fclose(created) != 0) {
            std::fprintf(stderr, "consumer: cannot create %s\n", path);
            return 1;
        }
    }
    CIniFile written;
    bool ok = Check(written.Attach(path), "attach the new file");
    written.GetCfg().AddSection(section)->AddKV("Size = 640, 480", false);
    written.GetCfg().FindSection(section)->AddKV(std::string("Title"), longValue, false);
    written.SetChangeFlag(true);
    ok = ok && Check(written.Save(), "save to the own file") &&
         Check(written.AddValue(section, "Depth", std::to_string(32), true), "AddValue");

    CIniFile ini;
    char value[513] = "";
    int width = 0;
    ok = ok && Check(ini.Attach(path), "attach") &&
         Check(ini.GetValue("Display", "Size", value) && std::strcmp(value, "640,480") == 0,
               "GetValue") &&
         Check(ini.FindSection(section)->FindKey("Size")->GetInt(0, width) && width == 640,
               "GetInt") &&
         Check(ini.GetCfg().Get(section, "Depth") == "32", "AddValue saved at once") &&
         ReadConst(std::as_const(ini), section, longValue);
    std::remove(path);
    if (!ok) {
        return 1;
    }
    std::printf("Display.Size=%s (width %d), Title of %zu characters\n", value, width,
                longValue.size());
    return 0;
}
