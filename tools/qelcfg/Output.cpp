#include "Output.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>

#include "Tool.h"

namespace qeltool {

namespace {

bool IsContinuation(unsigned char c) {
    return (c & 0xC0) == 0x80;
}

// The length of the UTF-8 sequence at `p` (of `left` bytes), or 0 when it is none:
// overlong forms, surrogates and code points above U+10FFFF are not UTF-8.
std::size_t Utf8Length(const unsigned char* p, std::size_t left) {
    std::size_t n = p[0] >= 0xF0 ? 4 : p[0] >= 0xE0 ? 3 : p[0] >= 0xC2 ? 2 : 0;
    if (n == 0 || p[0] > 0xF4 || left < n) {
        return 0;
    }
    for (std::size_t i = 1; i < n; ++i) {
        if (!IsContinuation(p[i])) {
            return 0;
        }
    }
    bool overlong = (p[0] == 0xE0 && p[1] < 0xA0) || (p[0] == 0xF0 && p[1] < 0x90);
    bool surrogate = p[0] == 0xED && p[1] >= 0xA0;
    bool tooHigh = p[0] == 0xF4 && p[1] >= 0x90;
    return overlong || surrogate || tooHigh ? 0 : n;
}

void AppendEscape(std::string& out, unsigned char c) {
    char escape[8];
    std::snprintf(escape, sizeof escape, "\\u%04x", c);
    out += escape;
}

void AppendJsonAscii(std::string& out, char c) {
    switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (static_cast<unsigned char>(c) < 0x20) {
                AppendEscape(out, static_cast<unsigned char>(c));
            } else {
                out += c;
            }
    }
}

// Names that change how a shell parses, finds commands or starts, or how the dynamic
// loader, the C library and common interpreters behave, in POSIX sh, dash, bash, ksh93, mksh
// and zsh; and the names those shells keep for themselves: read-only ones, whose assignment
// ends an eval half way, and those tied to the process (zsh's UID, EGID and USERNAME change
// the user and group of the shell), to its options or to its command table (zsh's
// functions, aliases, options and parameters, and the other parameters of its modules).
// Each name stands between blanks.
const char kSpecialNames[] =
    " PATH IFS PS0 PS1 PS2 PS3 PS4 ENV BASH_ENV CDPATH HOME SHELLOPTS BASH BASHOPTS BASHPID "
    "GLOBIGNORE PROMPT_COMMAND PROMPT_DIRTRIM FIGNORE INPUTRC MAIL MAILPATH MAILCHECK OPTIND "
    "OPTARG OPTERR PWD OLDPWD SHELL SHLVL TMOUT TMPDIR POSIXLY_CORRECT EXECIGNORE FCEDIT "
    "EDITOR VISUAL PAGER TERM TERMINFO TERMINFO_DIRS HOSTFILE HOSTALIASES LANG LANGUAGE "
    "NLSPATH LOCPATH GCONV_PATH GETCONF_DIR TZ TZDIR RESOLV_HOST_CONF RES_OPTIONS LOCALDOMAIN "
    "NIS_PATH GLIBC_TUNABLES PERL5LIB PERL5OPT PYTHONPATH PYTHONSTARTUP PYTHONHOME "
    "RUBYLIB RUBYOPT NODE_OPTIONS NODE_PATH CLASSPATH JAVA_TOOL_OPTIONS GIT_DIR "
    "GIT_EXEC_PATH GIT_SSH GIT_SSH_COMMAND LESSOPEN MANPATH FPATH ZDOTDIR READNULLCMD "
    "NULLCMD KEYBOARD_HACK RANDOM SRANDOM SECONDS LINENO HOSTNAME HOSTTYPE MACHTYPE OSTYPE "
    "CPUTYPE VENDOR HOST TTY TTYIDLE ERRNO UID EUID GID EGID USERNAME USER LOGNAME PPID "
    "GROUPS FUNCNAME FUNCNEST PIPESTATUS DIRSTACK EPOCHSECONDS EPOCHREALTIME COLUMNS LINES "
    "CHILD_MAX TIMEFORMAT TIMEFMT IGNOREEOF REPLY MAPFILE COPROC ARGC ARGV0 PROMPT PROMPT2 "
    "PROMPT3 PROMPT4 RPROMPT RPROMPT2 RPS1 RPS2 SPROMPT PSVAR POSTEDIT SAVEHIST STTY WATCH "
    "WATCHFMT LOGCHECK LISTPROMPT MENUSELECT WORDCHARS KEYTIMEOUT LISTMAX DIRSTACKSIZE BAUD "
    "REPORTTIME "
    "REPORTMEMORY TMPPREFIX TMPSUFFIX CORRECT_IGNORE CORRECT_IGNORE_FILE MODULE_PATH MATCH "
    "MBEGIN MEND TRY_BLOCK_ERROR TRY_BLOCK_INTERRUPT JOBMAX SH_OPTIONS PATHSEP PGRP USER_ID "
    "_ auto_resume histchars emacs path cdpath fpath manpath module_path psvar watch mailpath "
    "fignore prompt argv status pipestatus signals reply match mbegin mend aliases builtins "
    "commands dirstack epochtime errnos funcfiletrace funcsourcetrace funcstack functions "
    "functions_source functrace galiases history historywords jobdirs jobstates jobtexts "
    "keymaps langinfo mapfile modules nameddirs options parameters patchars reswords saliases "
    "sysparams termcap terminfo userdirs usergroups widgets ";
// Prefixes of whole families: the loader's LD_ and macOS's DYLD_, the C library's MALLOC_
// and LC_ settings, and the variables of the shells and of zsh's modules.
const char* const kSpecialPrefixes[] = {"LD_",      "DYLD_",      "MALLOC_", "LC_",   "BASH_",
                                        "ZSH_",     "zsh_",       "KSH",     "COMP_", "READLINE_",
                                        "HIST",     "GIT_CONFIG", "SSH_",    "ZLE_",  "ZCURSES_",
                                        "zcurses_", "ZFTP_",      "dis_",    "ZLS_"};

bool IsSpecialName(const std::string& name) {
    if (std::strstr(kSpecialNames, (" " + name + " ").c_str()) != nullptr) {
        return true;
    }
    for (const char* prefix : kSpecialPrefixes) {
        if (name.compare(0, std::strlen(prefix), prefix) == 0) {
            return true;
        }
    }
    return false;
}

}  // namespace

std::vector<CIniSection*> VisibleSections(CIni& tree) {
    std::vector<CIniSection*> visible;
    std::set<std::string> seen;
    for (CIniSection& section : tree) {
        if (seen.insert(section.GetKey()).second) {
            visible.push_back(&section);
        }
    }
    return visible;
}

std::vector<CIniPair*> VisibleEntries(CIniSection& section) {
    std::vector<CIniPair*> visible;
    std::set<std::string> seen;
    for (CIniPair& entry : section) {
        if (seen.insert(entry.GetKey()).second) {
            visible.push_back(&entry);
        }
    }
    return visible;
}

std::string ShellQuoted(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
}

bool IsShellName(const std::string& name) {
    auto isAlpha = [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); };
    if (name.empty() || !(isAlpha(name[0]) || name[0] == '_')) {
        return false;
    }
    for (char c : name) {
        if (!isAlpha(c) && !(c >= '0' && c <= '9') && c != '_') {
            return false;
        }
    }
    return true;
}

std::string ShellAssignmentRefusal(const std::string& name) {
    if (!IsShellName(name)) {
        return "is not a shell variable name";
    }
    if (IsSpecialName(name)) {
        return "is a name the shell or the dynamic loader gives a meaning";
    }
    if (std::getenv(name.c_str()) != nullptr) {
        return "is set in the environment";
    }
    return "";
}

std::string JsonString(const std::string& text) {
    std::string out = "\"";
    const unsigned char* p = reinterpret_cast<const unsigned char*>(text.data());
    std::size_t size = text.size();
    for (std::size_t i = 0; i < size;) {
        if (p[i] < 0x80) {
            AppendJsonAscii(out, static_cast<char>(p[i++]));
            continue;
        }
        std::size_t n = Utf8Length(p + i, size - i);
        if (n == 0) {
            AppendEscape(out, p[i++]);
            continue;
        }
        out.append(text, i, n);
        i += n;
    }
    return out + "\"";
}

}  // namespace qeltool
