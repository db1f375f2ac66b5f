// qelcfg get, usage and errors: the built tool run on real files.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <string>
#include <vector>

#include "ToolRunner.h"

namespace {

using qeltest::ReadFile;
using qeltest::RunOptions;
using qeltest::RunTool;
using qeltest::TempDir;
using qeltest::ToolResult;
using qeltest::WriteFile;

using Args = std::vector<std::string>;

const char kDisplay[] =
    "# device\n"
    "[Display]\n"
    "Size = 640, 480\n"
    "Depth=16\n"
    "Depth=24\n"
    "[Net]\n"
    "Host=h\n"
    "[Display]\n"
    "X=1\n";

// Arguments after "get" and "FILE" are placed as `args` gives them; "F" stands for FILE.
Args WithFile(Args args, const std::string& file) {
    for (std::string& arg : args) {
        if (arg == "F") {
            arg = file;
        }
    }
    return args;
}

std::string Joined(const Args& args) {
    std::string text;
    for (const std::string& arg : args) {
        text += arg + " ";
    }
    return text;
}

TEST(QelcfgGet, FindsWhatTheLibraryLookupsFind) {
    struct Case {
        Args args;
        int status;
        std::string out;
    };
    const Case cases[] = {
        {{"get", "F"}, 0, "Display\nNet\n"},
        {{"get", "F", "Display"}, 0, "Size=640,480\nDepth=16\nDepth=24\n"},
        {{"get", "F", "Display", "Size"}, 0, "640,480\n"},
        {{"get", "--item", "1", "F", "Display", "Size"}, 0, "480\n"},
        {{"get", "F", "Display", "Depth"}, 0, "16\n"},
        {{"get", "F", "Display", "X"}, 1, ""},
        {{"get", "F", "display"}, 1, ""},
        {{"get", "F", "Display", "size"}, 1, ""},
        {{"get", "--item", "2", "F", "Display", "Size"}, 1, ""},
    };
    TempDir dir;
    std::string file = dir.File("d.ini");
    WriteFile(file, kDisplay);
    for (const Case& c : cases) {
        ToolResult r = RunTool(WithFile(c.args, file));
        EXPECT_EQ(r.status, c.status) << Joined(c.args);
        EXPECT_EQ(r.out, c.out) << Joined(c.args);
        EXPECT_EQ(r.err.empty(), c.status == 0) << r.err;
    }
}

TEST(QelcfgGet, PrintsAValueInFullWhateverItsLength) {
    TempDir dir;
    std::string value(3000, 'v');
    WriteFile(dir.File("d.ini"), "[A]\nk=" + value + "\n");
    ToolResult r = RunTool({"get", dir.File("d.ini"), "A", "k"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, value + "\n");
}

TEST(QelcfgGet, ReadsItemsThroughTheTypedReads) {
    struct Case {
        std::string value;
        std::string type;
        int status;
        std::string out;
    };
    const Case cases[] = {
        {"12px", "int", 0, "12\n"},
        {"-7", "int", 0, "-7\n"},
        {"abc", "int", 1, ""},
        {"4294967295", "uint", 0, "4294967295\n"},
        {"2.5", "float", 0, "2.500000\n"},
        {"yes", "bool", 0, "Y\n"},
        {"no", "bool", 0, "N\n"},
        {"maybe", "bool", 1, ""},
        {"255", "color", 0, "255\n"},
        {"a b", "string", 0, "a b\n"},
        {"", "int", 0, "0\n"},
    };
    TempDir dir;
    std::string file = dir.File("d.ini");
    for (const Case& c : cases) {
        WriteFile(file, "[A]\nk=" + c.value + ",9\n");
        ToolResult r = RunTool({"get", "--type", c.type, file, "A", "k"});
        EXPECT_EQ(r.status, c.status) << c.value << " as " << c.type;
        EXPECT_EQ(r.out, c.out) << c.value << " as " << c.type;
    }
}

TEST(QelcfgGet, IniFormatIsTheLibrarysText) {
    TempDir dir;
    WriteFile(dir.File("d.ini"), kDisplay);
    ToolResult section = RunTool({"get", "--format", "ini", dir.File("d.ini"), "Net"});
    EXPECT_EQ(section.out, "[Net]\r\nHost=h\r\n\r\n");
    ToolResult file = RunTool({"get", "--format", "ini", dir.File("d.ini")});
    EXPECT_EQ(file.out,
              "[Display]\r\nSize=640,480\r\nDepth=16\r\nDepth=24\r\n\r\n"
              "[Net]\r\nHost=h\r\n\r\n[Display]\r\nX=1\r\n\r\n");
}

// The output is evaluated by a real shell: whatever a value holds stays a value.
TEST(QelcfgGet, ShellFormatEvaluatesToTheValuesAlone) {
    TempDir dir;
    const std::string hostile = "it's $(touch pwned) `touch pwned` \\ \"x\"";
    WriteFile(dir.File("d.ini"), "[A]\nk=" + hostile + "\nk=second\nn=2\n");
    ToolResult r = RunTool({"get", "--format", "sh", dir.File("d.ini"), "A"});
    ASSERT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "k='it'\\''s $(touch pwned) `touch pwned` \\ \"x\"'\nn='2'\n");
    WriteFile(dir.File("vars.sh"), r.out);
    std::string script =
        "cd '" + dir.Path() + "' && . ./vars.sh && printf '%s|%s' \"$k\" \"$n\" >got";
    ASSERT_EQ(std::system(script.c_str()), 0);
    EXPECT_EQ(ReadFile(dir.File("got")), hostile + "|2");
    EXPECT_FALSE(qeltest::FileExists(dir.File("pwned")));
}

// Whatever the file names, evaluating the output assigns only the safe names, and each
// skipped entry is named on standard error with exit status 1.
TEST(QelcfgGet, ShellFormatSkipsNamesUnsafeToAssign) {
    ::setenv("QELCFG_TEST_TAKEN", "mine", 1);
    const char kUnsafe[] =
        "[S]\nPATH=/nonexistent\nIFS=x\nPS4=x\nLD_LIBRARY_PATH=/x\nBASH_ENV=/x\nHOME=/x\n"
        "CDPATH=/x\nENV=/x\npath=/x\nQELCFG_TEST_TAKEN=x\nName[ca]=x\n1st=x\nok=1\n"
        "[LD]\nLIBRARY_PATH=/x\n[Icon Theme]\nName=x\n[A]\nB_C=1\n[A_B]\nC=2\n";
    struct Case {
        Args args;
        std::string out;
        int skipped;
    };
    const Case cases[] = {
        {{"get", "--format", "sh", "F", "S"}, "ok='1'\n", 12},
        {{"get", "--format", "sh", "F"},
         "S_PATH='/nonexistent'\nS_IFS='x'\nS_PS4='x'\n"
         "S_LD_LIBRARY_PATH='/x'\nS_BASH_ENV='/x'\nS_HOME='/x'\n"
         "S_CDPATH='/x'\nS_ENV='/x'\nS_path='/x'\n"
         "S_QELCFG_TEST_TAKEN='x'\nS_1st='x'\nS_ok='1'\n"
         "A_B_C='1'\n",
         4},
        {{"get", "--format", "sh", "F", "A_B"}, "C='2'\n", 0},
        {{"get", "--format", "sh", "--prefix", "LD_", "F", "S"}, "", 13},
        {{"get", "--format", "sh", "--prefix", "cfg_", "F", "S"},
         "cfg_PATH='/nonexistent'\ncfg_IFS='x'\ncfg_PS4='x'\ncfg_LD_LIBRARY_PATH='/x'\n"
         "cfg_BASH_ENV='/x'\ncfg_HOME='/x'\ncfg_CDPATH='/x'\ncfg_ENV='/x'\ncfg_path='/x'\n"
         "cfg_QELCFG_TEST_TAKEN='x'\ncfg_1st='x'\ncfg_ok='1'\n",
         1},
    };
    TempDir dir;
    std::string file = dir.File("d.ini");
    WriteFile(file, kUnsafe);
    for (const Case& c : cases) {
        ToolResult r = RunTool(WithFile(c.args, file));
        EXPECT_EQ(r.out, c.out) << Joined(c.args);
        EXPECT_EQ(r.status, c.skipped > 0 ? 1 : 0) << Joined(c.args);
        std::size_t lines = 0;
        for (std::size_t at = 0; (at = r.err.find("qelcfg: skipped key '", at)) != r.err.npos;) {
            ++lines, ++at;
        }
        EXPECT_EQ(lines, static_cast<std::size_t>(c.skipped)) << Joined(c.args) << r.err;
        WriteFile(dir.File("vars.sh"), r.out);
        // A real shell evaluates it and can still find ls through its own PATH.
        std::string script = "cd '" + dir.Path() +
                             "' && eval \"$(cat vars.sh)\" && ls >/dev/null && "
                             "printf '%s|%s|%s' \"$PATH\" \"$IFS\" \"${LD_LIBRARY_PATH-}\" >got";
        ASSERT_EQ(std::system(script.c_str()), 0) << Joined(c.args);
        const char* ld = std::getenv("LD_LIBRARY_PATH");
        EXPECT_EQ(ReadFile(dir.File("got")),
                  std::string(std::getenv("PATH")) + "| \t\n|" + (ld != nullptr ? ld : ""));
    }
    EXPECT_EQ(RunTool({"get", "--prefix", "p", file, "S"}).status, 2);
}

// On a terminal (here the pseudo-terminal of script(1)) a value cannot send escape
// sequences; through a pipe the bytes stay as they are.
TEST(QelcfgGet, ShowsControlBytesEscapedOnATerminal) {
    if (std::system("script -qec true /dev/null >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "script(1) cannot open a pseudo-terminal here (no /dev/pts?)";
    }
    TempDir dir;
    WriteFile(dir.File("d.ini"), "[A]\nk=red\x1b[31m\x07\x7f\tend\n");
    std::string command = "script -qec \"'" + std::string(QELCFG_TOOL) + "' get '" +
                          dir.File("d.ini") + "' A k\" /dev/null >'" + dir.File("tty") + "'";
    ASSERT_EQ(std::system(command.c_str()), 0);
    EXPECT_EQ(ReadFile(dir.File("tty")), "red\\x1b[31m\\x07\\x7f\tend\r\n");
    EXPECT_EQ(RunTool({"get", dir.File("d.ini"), "A", "k"}).out, "red\x1b[31m\x07\x7f\tend\n");
}

TEST(QelcfgGet, JsonEscapesControlsAndBytesThatAreNotUtf8) {
    TempDir dir;
    WriteFile(dir.File("d.ini"),
              "[A]\nq=say \"hi\" \\ \t\x01\nlatin=caf\xE9\nutf8=caf\xC3\xA9\n"
              "bad=\xC0\xAF \xED\xA0\x80\n");
    ToolResult r = RunTool({"get", "--format", "json", dir.File("d.ini"), "A"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out,
              "{\"q\": \"say \\\"hi\\\" \\\\ \\t\\u0001\", \"latin\": \"caf\\u00e9\", "
              "\"utf8\": \"caf\xC3\xA9\", \"bad\": \"\\u00c0\\u00af \\u00ed\\u00a0\\u0080\"}\n");
    ToolResult file = RunTool({"get", "--format", "json", dir.File("d.ini")});
    EXPECT_EQ(file.out.substr(0, 13), "{\"A\": {\"q\": \"");
}

TEST(QelcfgErrors, NameTheFileAndTheReason) {
    TempDir dir;
    std::string missing = dir.File("missing.ini");
    std::string folder = dir.File("folder.ini");
    ::mkdir(folder.c_str(), 0755);
    const Args verbs[] = {{"get"}, {"check"}, {"fmt"}, {"del", "S", "k"}, {"set", "S", "k", "v"}};
    for (const Args& verb : verbs) {
        Args args = {verb[0], folder};
        args.insert(args.end(), verb.begin() + 1, verb.end());
        ToolResult r = RunTool(args);
        EXPECT_EQ(r.status, 2) << verb[0];
        EXPECT_EQ(r.err, "qelcfg: cannot open '" + folder + "': Is a directory\n") << verb[0];
        if (verb[0] != "set") {
            args[1] = missing;
            r = RunTool(args);
            EXPECT_EQ(r.status, 2) << verb[0];
            EXPECT_EQ(r.err, "qelcfg: cannot open '" + missing + "': No such file or directory\n");
        }
    }
}

TEST(QelcfgErrors, AnUnreadableFileIsAnErrorNotAnEmptyFile) {
    TempDir dir;
    ::chmod(dir.Path().c_str(), 0755);
    std::string file = dir.File("secret.ini");
    WriteFile(file, "[A]\nk=1\n");
    ::chmod(file.c_str(), 0600);
    if (::geteuid() != 0) {
        ::chmod(file.c_str(), 0);
    }
    RunOptions nobody;
    nobody.unprivileged = true;
    const Args commands[] = {{"get", file}, {"check", file}, {"set", file, "A", "k", "2"}};
    for (const Args& args : commands) {
        ToolResult r = RunTool(args, nobody);
        EXPECT_EQ(r.status, 2) << args[0];
        EXPECT_EQ(r.out, "") << args[0];
        EXPECT_EQ(r.err, "qelcfg: cannot open '" + file + "': Permission denied\n") << args[0];
    }
    ::chmod(file.c_str(), 0600);
    EXPECT_EQ(ReadFile(file), "[A]\nk=1\n");
}

TEST(QelcfgErrors, UsageErrorsExitWithTwo) {
    TempDir dir;
    std::string file = dir.File("d.ini");
    WriteFile(file, kDisplay);
    const Args cases[] = {
        {},
        {"get"},
        {"frobnicate", file},
        {"get", "--format", "ini", file, "Display", "Size"},
        {"get", "--item", "0", file, "Display"},
        {"get", "--type", "long", file, "Display", "Size"},
        {"get", "--item", "-1", file, "Display", "Size"},
        {"set", file, "Display", "Size"},
        {"del", file, "Display", "Size", "640"},
        {"del", "--list", file, "Display", "Size"},
    };
    for (const Args& args : cases) {
        ToolResult r = RunTool(args);
        EXPECT_EQ(r.status, 2) << Joined(args);
        EXPECT_EQ(r.err.substr(0, 8), "qelcfg: ") << r.err;
    }
    EXPECT_EQ(ReadFile(file), kDisplay);
}

TEST(QelcfgHelp, EveryVerbHasHelpAndTheToolAVersion) {
    struct Case {
        Args args;
        std::string mentions;
    };
    const Case cases[] = {
        {{"--help"}, "check"},
        {{"get", "--help"}, "\\u00XX"},
        {{"set", "--help"}, "line ends (LF, CR LF or mixed)"},
        {{"del", "--help"}, "every other"},
        {{"fmt", "--help"}, "NOT kept"},
        {{"check", "--help"}, "FILE:LINE"},
    };
    for (const Case& c : cases) {
        ToolResult r = RunTool(c.args);
        EXPECT_EQ(r.status, 0) << c.args[0];
        EXPECT_NE(r.out.find(c.mentions), std::string::npos) << r.out;
    }
    EXPECT_EQ(RunTool({"--version"}).out, "qelcfg " QELCFG_VERSION "\n");
}

}  // namespace
