// fmt: the file read by the library and written back by its save, in its normal form.
#include <cerrno>
#include <string>

#include "FileAccess.h"
#include "IniFile.h"
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

}  // namespace

int RunFmt(const Options& options) {
    CIniFile ini;
    if (options.output.empty()) {
        // Held from the read to the replacement, so that no edit in between is lost.
        LockedFile locked = LockForWriting(options.file, options.file, false);
        Load(ini, locked, options.file);
        LetGoBeforeReplacing(locked);
        Save(ini, options.file);
        return kExitDone;
    }
    Load(ini, LockForReading(options.file), options.file);
    if (options.output == "-") {
        WriteOut(IniText(ini.GetCfg()));
        return kExitDone;
    }
    LockedFile locked = LockForWriting(options.output, options.output, true);
    LetGoBeforeReplacing(locked);
    Save(ini, options.output);
    return kExitDone;
}

}  // namespace qeltool
