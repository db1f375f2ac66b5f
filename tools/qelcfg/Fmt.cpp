// fmt: the file read by the library and written back by its save, in its normal form.
#include <cerrno>
#include <string>

#include "FileAccess.h"
#include "IniFile.h"
#include "IniLines.h"
#include "Output.h"
#include "Tool.h"

namespace qeltool {

namespace {

void Load(CIniFile& ini, const LockedFile& locked, const std::string& shownName) {
    errno = 0;
    if (!ini.Set(locked.OpenStream(shownName))) {
        FailSystem("cannot read", shownName, errno != 0 ? errno : EIO);
    }
}

void Save(CIniFile& ini, const std::string& path) {
    errno = 0;
    if (!ini.Save(path.c_str())) {
        FailSystem("cannot write", path, errno != 0 ? errno : EIO);
    }
}

// The normal form keeps every section and key entry that the reader takes, and drops the
// rest. Comments and blank lines are meant to go; a key line or a section that would go
// with them stops the command unless forced.
bool LosesData(const LockedFile& locked, const Options& options) {
    bool loses = false;
    for (const LineFinding& finding : CheckLines(locked, options.file)) {
        if (finding.losesData && !options.force) {
            Warn(options.file + ":" + std::to_string(finding.line) + ": " + finding.message);
            loses = true;
        }
    }
    if (loses) {
        Warn("nothing written: the normal form would lose the lines above (--force writes it)");
    }
    return loses;
}

// A path that stands for a descriptor this process already has open ("/dev/stdout",
// "/dev/fd/N", "/proc/self/fd/N"): the library writes through the descriptor, at its
// position, so there is no file to lock or replace.
bool NamesDescriptor(const std::string& path) {
    for (const char* prefix : {"/dev/stdout", "/dev/stderr", "/dev/fd/", "/proc/self/fd/"}) {
        if (path.compare(0, std::string(prefix).size(), prefix) == 0) {
            return true;
        }
    }
    return false;
}

}  // namespace

int RunFmt(const Options& options) {
    CIniFile ini;
    if (options.output.empty()) {
        // Held from the read to the replacement, so that no edit in between is lost.
        LockedFile locked = LockForWriting(options.file, options.file, false);
        if (LosesData(locked, options)) {
            return kExitNotFound;
        }
        Load(ini, locked, options.file);
        LetGoBeforeReplacing(locked);
        Save(ini, options.file);
        return kExitDone;
    }
    {
        LockedFile source = LockForReading(options.file);
        if (LosesData(source, options)) {
            return kExitNotFound;
        }
        Load(ini, source, options.file);
    }
    if (options.output == "-") {
        WriteOut(IniText(ini.GetCfg()));
        return kExitDone;
    }
    if (NamesDescriptor(options.output)) {
        Save(ini, options.output);
        return kExitDone;
    }
    LockedFile locked = LockForWriting(options.output, options.output, true);
    LetGoBeforeReplacing(locked);
    Save(ini, options.output);
    return kExitDone;
}

}  // namespace qeltool
