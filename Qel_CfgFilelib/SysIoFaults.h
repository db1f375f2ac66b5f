// Internal: the fault hook of the platform seam. The archive that the library's own tests
// link is built from the same sources with QELCFG_FAULT_HOOKS defined; there every seam call
// that can fail first asks SysFaultHook, which the tests define, whether it is to fail, so
// that a chosen call fails as the runtime reports a failure (interposing the C library
// cannot do that reliably). The shipped library is built without it and asks nothing.
// This header is not installed.
#ifndef QEL_CFGFILE_SYSIOFAULTS_H
#define QEL_CFGFILE_SYSIOFAULTS_H

#include <cerrno>

namespace qelcfg {
namespace detail {

// Kinds of call that the hook is asked about.
enum SysCall : unsigned {
    kSysOpen = 1u << 0,
    kSysClose = 1u << 1,
    kSysWrite = 1u << 2,
    kSysFlush = 1u << 3,
    kSysSeek = 1u << 4,
    kSysSync = 1u << 5,
    kSysRename = 1u << 6,
    kSysTruncate = 1u << 7,
    kSysRead = 1u << 8,
    kSysAlloc = 1u << 9,
    kSysReplace = 1u << 10,  // a replace that keeps the old file's security (Windows)
    kSysAllCalls = 0x7FFu,
};
constexpr int kSysCallKinds = 11;

#if defined(QELCFG_FAULT_HOOKS)
// Called once for every seam call of `kind`; true when that call is to fail.
bool SysFaultHook(SysCall kind);
#endif

// Whether this call of `kind` is to fail; errno is then `err`, as after a real failure.
inline bool SysFails(SysCall kind, int err = EIO) {
#if defined(QELCFG_FAULT_HOOKS)
    if (SysFaultHook(kind)) {
        errno = err;
        return true;
    }
#else
    static_cast<void>(kind);
    static_cast<void>(err);
#endif
    return false;
}

}  // namespace detail
}  // namespace qelcfg

#endif  // QEL_CFGFILE_SYSIOFAULTS_H
