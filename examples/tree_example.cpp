// Builds a configuration tree from key lines, reads it back as text and as typed values,
// changes it, and prints the whole tree in INI form.
#include <cstdio>

#include "Ini.h"

namespace {

void PrintTree(CIni& ini) {
    char key[31];
    char value[513];
    ini.StartGetSection();
    while (CIniSection* section = ini.GetNextSection()) {
        std::printf("  [%s]\n", section->GetSectionName());
        section->StartGetKV();
        while (section->GetNextKV(key, value)) {
            std::printf("  %s=%s\n", key, value);
        }
    }
}

}  // namespace

int main() {
    CIni ini;

    // Key lines as a file would hold them; keys are trimmed, values split at commas.
    // A section pointer stays valid only until the next section is added.
    CIniSection* section = ini.AddSection("Display");
    section->AddKV("Width = 640", false);
    section->AddKV("Height=480", false);
    section->AddKV("Origin = 10 , 20", false);
    section->AddKV("Scale=1.25", false);
    section->AddKV("Fullscreen=No", false);
    section->AddKV("Background=16777215", false);
    section = ini.AddSection("User");
    section->AddKV("Name= Ada ", false);
    section->AddKV("Recent=a.txt, b.txt,c.txt", false);
    CIniSection* display = ini.FindSection("Display");
    CIniSection* user = ini.FindSection("User");

    std::printf("The tree as built:\n");
    PrintTree(ini);

    char value[513];
    if (ini.GetKeyValue("Display", "Origin", value)) {
        std::printf("\nDisplay/Origin as one text: \"%s\"\n", value);
    }

    std::printf("\nTyped reads:\n");
    int width = 0;
    int y = 0;
    double scale = 0.0;
    bool fullscreen = true;
    unsigned long background = 0;
    char name[32];
    char second[32];
    if (CIniPair* entry = display->FindKey("Width"); entry && entry->GetInt(0, width)) {
        std::printf("  Width      GetInt(0)    -> %d\n", width);
    }
    if (CIniPair* entry = display->FindKey("Origin"); entry && entry->GetInt(1, y)) {
        std::printf("  Origin     GetInt(1)    -> %d\n", y);
    }
    if (CIniPair* entry = display->FindKey("Scale"); entry && entry->GetFloat(0, scale)) {
        std::printf("  Scale      GetFloat(0)  -> %g\n", scale);
    }
    if (CIniPair* entry = display->FindKey("Fullscreen"); entry && entry->GetBool(0, fullscreen)) {
        std::printf("  Fullscreen GetBool(0)   -> %s\n", fullscreen ? "true" : "false");
    }
    if (CIniPair* entry = display->FindKey("Background"); entry && entry->GetColor(0, background)) {
        std::printf("  Background GetColor(0)  -> 0x%06lX\n", background);
    }
    if (CIniPair* entry = user->FindKey("Name"); entry && entry->GetString(0, name, sizeof name)) {
        std::printf("  Name       GetString(0) -> \"%s\"\n", name);
    }
    if (CIniPair* entry = user->FindKey("Recent");
        entry && entry->GetString(1, second, sizeof second)) {
        std::printf("  Recent     GetString(1) -> \"%s\"\n", second);
    }
    int missing = 0;
    const bool found = display->FindKey("Width")->GetInt(5, missing);
    std::printf("  Width      GetInt(5)    -> %s, %d (no such item: the default)\n",
                found ? "true" : "false", missing);

    // Writes insert a new item at the index; AddKeyValue with replace overwrites an entry.
    display->FindKey("Scale")->WriteFloat(1, 0.5);
    display->FindKey("Fullscreen")->WriteBool(0, true);
    ini.AddKeyValue("User", "Name", "Grace", true);
    ini.AddKeyValue("User", "Theme=dark", false);
    user->RemoveKV("Recent");

    std::printf("\nAfter the changes:\n");
    PrintTree(ini);
    return 0;
}
