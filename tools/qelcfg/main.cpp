// qelcfg: reads and edits INI files from a shell or a build script, through the
// Qel_CfgFile library.
#include <cstdio>
#include <exception>
#include <limits>
#include <new>
#include <string>
#include <vector>

#if defined(_WIN32)
#include <windows.h>

#include <shellapi.h>
#endif

#include <CLI/CLI.hpp>

#include "Tool.h"

namespace {

using qeltool::Options;

constexpr char kExitNote[] =
    "Exit status: 0 done, 1 not found (for check: findings), 2 usage or I/O error.\n";
constexpr char kEditNote[] =
    "The library's editor changes only the lines concerned in FILE's own text: every other\n"
    "byte stays, comments, blank lines, spacing and line ends (LF, CR LF or mixed)\n"
    "included, and a new line takes the line end of the line before it. The new text then\n"
    "replaces FILE at once (symbolic links are followed, permissions kept), so a failed\n"
    "edit leaves FILE as it was, and an edit that changes nothing leaves it untouched.\n"
    "Files holding a CR that no LF follows are refused. Writers of FILE that use the\n"
    "library (other qelcfg processes included) take turns: a lock another process holds is\n"
    "waited for at most --wait seconds, and the edit starts over when another program\n"
    "changed FILE after it was read.\n";

struct Verbs {
    CLI::App* get;
    CLI::App* set;
    CLI::App* del;
    CLI::App* fmt;
    CLI::App* check;
};

CLI::App* AddGet(CLI::App& app, Options& o) {
    CLI::App* get = app.add_subcommand(
        "get", "Print the section names, the entries of SECTION, or the value of KEY");
    get->add_option("FILE", o.file, "INI file; - for standard input")->required()->type_name("");
    get->add_option("SECTION", o.section, "section name (exact, case-sensitive; the first wins)")
        ->type_name("");
    get->add_option("KEY", o.key, "key in SECTION (exact, case-sensitive; the first wins)")
        ->type_name("");
    get->add_option("--item", o.item, "print item N (from 0) of the comma-separated value")
        ->check(CLI::Range(0, std::numeric_limits<int>::max()))
        ->type_name("N");
    get->add_option("--type", o.type, "read the item (item 0 unless --item) as this type")
        ->check(CLI::IsMember({"int", "uint", "float", "bool", "color", "string"}))
        ->type_name("TYPE");
    get->add_option("--format", o.format, "whole sections and files: ini|sh|json")
        ->check(CLI::IsMember({"ini", "sh", "json"}))
        ->type_name("FORMAT");
    get->add_option("--prefix", o.prefix, "--format sh: put P before every variable name")
        ->type_name("P");
    get->add_flag("--items", o.items,
                  "values as the library's items joined by \",\", not as the file holds them");
    get->footer(
        "Without --format: section names one a line, or key=value lines. A value is printed\n"
        "in full as the file holds it: the text after \"=\", blanks at its ends trimmed and\n"
        "inner spacing kept (--items: its items joined by \",\"). A value that other readers\n"
        "continue on the lines after it (configparser, systemd) is printed as its first line,\n"
        "and standard error says so.\n"
        "--format ini: the INI text the library writes (\"\\r\\n\" line ends, no comments).\n"
        "--format sh: NAME='value' lines, safe to eval; NAME is P (--prefix) and KEY, or\n"
        "P, SECTION, \"_\" and KEY for a whole file. A NAME that is no shell name, that the\n"
        "shell or the dynamic loader gives a meaning (PATH, IFS, PS1, LD_*, BASH_*, ...), that\n"
        "is set in qelcfg's environment or that an earlier entry took is skipped and named on\n"
        "standard error, and the exit status is then 1.\n"
        "--format json: an object of strings; bytes above 0x7F that are not UTF-8 are written\n"
        "as \\u00XX escapes of their Latin-1 reading.\n"
        "Types print in the library's text form: float as %f, bool as Y or N, color as a\n"
        "decimal number.\n");
    return get;
}

CLI::App* AddSet(CLI::App& app, Options& o) {
    CLI::App* set = app.add_subcommand(
        "set",
        "Set KEY of SECTION to VALUE, adding the key, the section or FILE as needed; without "
        "KEY and VALUE, add SECTION when it is missing");
    set->add_option("FILE", o.file, "INI file (created when missing)")->required()->type_name("");
    set->add_option("SECTION", o.section, "section name")->required()->type_name("");
    set->add_option("KEY", o.key, "key")->type_name("");
    set->add_option("VALUE", o.value, "value, any text on one line without blanks at its ends")
        ->type_name("");
    set->add_flag("--existing", o.existing,
                  "change only a key or section that is there (else exit 1)");
    set->add_flag("--list", o.list, "add the items of VALUE that the value does not hold yet");
    set->footer(
        std::string(
            "The first entry of KEY in the first section named SECTION is changed, and the\n"
            "lines that continue its value for other readers go; a new key goes after the\n"
            "section's last key line and the lines that continue it, indented as that line,\n"
            "a new section at the end. VALUE is written as given, commas and blanks inside it\n"
            "included. A SECTION, KEY or VALUE that would not read back as given is refused\n"
            "(exit 2).\n") +
        kEditNote);
    return set;
}

CLI::App* AddDel(CLI::App& app, Options& o) {
    CLI::App* del = app.add_subcommand(
        "del", "Remove KEY of SECTION, or SECTION whole with every line up to the next header");
    del->add_option("FILE", o.file, "INI file")->required()->type_name("");
    del->add_option("SECTION", o.section, "section name")->required()->type_name("");
    del->add_option("KEY", o.key, "key")->type_name("");
    del->add_option("VALUE", o.value, "with --list: the items to remove")->type_name("");
    del->add_flag("--list", o.list, "remove the items of VALUE from the value of KEY");
    del->add_flag("--existing", o.existing,
                  "exit 1 when SECTION, KEY or an item of VALUE is not there (else exit 0)");
    del->footer(std::string("A key goes with the lines that continue its value for other readers.\n"
                            "What is not there is left alone: the exit status is 0, FILE stays\n"
                            "untouched.\n") +
                kEditNote);
    return del;
}

CLI::App* AddFmt(CLI::App& app, Options& o) {
    CLI::App* fmt = app.add_subcommand("fmt", "Rewrite FILE in the library's normal form");
    fmt->add_option("FILE", o.file, "INI file; - reads standard input and writes standard output")
        ->required()
        ->type_name("");
    fmt->add_option("-o,--output", o.output, "write OUT instead of FILE; - for standard output")
        ->type_name("OUT");
    fmt->add_flag("--force", o.force, "write even when key lines or sections would be lost");
    fmt->add_flag("--crlf", o.crlf, "end every line in \"\\r\\n\", the library's own line end");
    fmt->footer(
        "Each header and key line takes the form the library's save gives it (\"[name]\",\n"
        "key=items joined by \",\"); comments, blank lines and each line's end stay where\n"
        "they are. When the reader drops a key line (before the first header, after a\n"
        "commented-out or empty header), a header with text after \"]\", a line that other\n"
        "readers take as continuing a value, or text after a CR or NUL, nothing is written:\n"
        "each such line is named on standard error and the exit status is 1.\n");
    return fmt;
}

CLI::App* AddCheck(CLI::App& app, Options& o) {
    CLI::App* check = app.add_subcommand(
        "check", "Report every line that the reader drops or changes, as FILE:LINE: message");
    check->add_option("FILE", o.file, "INI file; - for standard input")->required()->type_name("");
    check->add_option("--format", o.format, "json: an array of one object per finding")
        ->check(CLI::IsMember({"text", "json"}))
        ->type_name("FORMAT");
    check->footer(
        "Reported: key lines the reader drops and why; lines without \"=\"; a header with text\n"
        "after \"]\" and the section its key lines join instead; a key beginning with \";\";\n"
        "continuation lines of other readers (a line indented deeper than the key line above,\n"
        "or after a value ending in \"\\\"); values a save rewrites (blanks around items, a\n"
        "trailing comma); keys over 30 and values over 512 characters; repeated sections\n"
        "and keys; text after a CR or NUL. Exit status 0 when there is nothing to report, 1\n"
        "when there is.\n");
    return check;
}

// --wait SECONDS on the verbs that write FILE.
void AddWait(CLI::App* verb, Options& o) {
    verb->add_option("--wait", o.wait,
                     "wait at most SECONDS for another writer's lock on FILE (default 10)")
        ->type_name("SECONDS")
        ->check(CLI::NonNegativeNumber);
}

bool Given(const CLI::App* verb, const char* name) {
    const CLI::Option* option = verb->get_option_no_throw(name);
    return option != nullptr && option->count() > 0;
}

// An empty SECTION or KEY given on the command line is still given.
void NoteGiven(const Verbs& verbs, Options& o) {
    for (CLI::App* verb : {verbs.get, verbs.set, verbs.del}) {
        if (verb->parsed()) {
            o.hasSection = Given(verb, "SECTION");
            o.hasKey = Given(verb, "KEY");
            o.hasValue = Given(verb, "VALUE");
        }
    }
}

int Run(const Verbs& verbs, Options& o) {
    NoteGiven(verbs, o);
    if (verbs.get->parsed()) {
        return qeltool::RunGet(o);
    }
    if (verbs.set->parsed()) {
        return qeltool::RunSet(o);
    }
    if (verbs.del->parsed()) {
        return qeltool::RunDel(o);
    }
    return verbs.fmt->parsed() ? qeltool::RunFmt(o) : qeltool::RunCheck(o);
}

#if defined(_WIN32)
// The tool opens its files by UTF-8 paths, as the library does, so the arguments are taken
// from the wide command line as UTF-8 rather than in the ANSI code page that argv holds.
std::vector<std::string> Utf8Arguments() {
    std::vector<std::string> args;
    int count = 0;
    LPWSTR* wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    if (wide == nullptr) {
        return args;
    }
    for (int i = 0; i < count; ++i) {
        int n = ::WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, nullptr, 0, nullptr, nullptr);
        std::string arg(static_cast<std::size_t>(n > 0 ? n : 1), '\0');
        if (n > 0) {
            ::WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, &arg[0], n, nullptr, nullptr);
        }
        arg.resize(arg.size() - 1);
        args.push_back(arg);
    }
    ::LocalFree(wide);
    return args;
}
#endif

int Fail(int status, const std::string& message) {
    std::fprintf(stderr, "qelcfg: %s\n", message.c_str());
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app("Read and edit INI files through the Qel_CfgFile library.", "qelcfg");
    app.set_version_flag("--version", "qelcfg " QELCFG_VERSION);
    app.require_subcommand(1);
    // A path may begin with "/" on Windows too: options are written the one way everywhere.
    app.allow_windows_style_options(false);
    app.footer(kExitNote);
    Options options;
    Verbs verbs{AddGet(app, options), AddSet(app, options), AddDel(app, options),
                AddFmt(app, options), AddCheck(app, options)};
    for (CLI::App* verb : {verbs.set, verbs.del, verbs.fmt}) {
        AddWait(verb, options);
    }
#if defined(_WIN32)
    std::vector<std::string> utf8 = Utf8Arguments();
    std::vector<char*> utf8Argv;
    for (std::string& arg : utf8) {
        utf8Argv.push_back(&arg[0]);
    }
    if (!utf8Argv.empty()) {
        argc = static_cast<int>(utf8Argv.size());
        argv = utf8Argv.data();
    }
#endif
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        if (e.get_exit_code() == 0) {
            return app.exit(e);
        }
        return Fail(qeltool::kExitFailure, std::string(e.what()) + " (see qelcfg --help)");
    }
    try {
        return Run(verbs, options);
    } catch (const qeltool::ToolError& e) {
        return Fail(e.Status(), e.what());
    } catch (const std::bad_alloc&) {
        return Fail(qeltool::kExitFailure, "out of memory");
    } catch (const std::exception& e) {
        return Fail(qeltool::kExitFailure, e.what());
    }
}
