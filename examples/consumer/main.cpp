// Uses the installed Qel_CfgFile as any application would: saves a small tree to the
// file named on the command line, attaches it again and reads the values back. Exits 0
// only when what is read is what was written.
#include <Qel_CfgFile/IniFile.h>

#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
    const char* path = argc > 1 ? argv[1] : "consumer.ini";
    CIniFile written;
    written.GetCfg().AddSection("Display")->AddKV("Size = 640, 480", false);
    if (!written.Save(path)) {
        std::fprintf(stderr, "consumer: cannot save %s\n", path);
        return 1;
    }

    CIniFile ini;
    char value[513] = "";
    int width = 0;
    bool read = ini.Attach(path) && ini.GetValue("Display", "Size", value) &&
                ini.FindSection("Display")->FindKey("Size")->GetInt(0, width);
    std::remove(path);
    if (!read || std::strcmp(value, "640,480") != 0 || width != 640) {
        std::fprintf(stderr, "consumer: read back '%s' and %d\n", value, width);
        return 1;
    }
    std::printf("Display.Size=%s (width %d)\n", value, width);
    return 0;
}
