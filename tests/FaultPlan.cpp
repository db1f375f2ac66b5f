// The definition of the platform seam's fault hook for the tests: one plan for the whole
// test program, which runs its fault tests on one thread.
#include "FaultPlan.h"

namespace qelcfg {
namespace detail {
namespace {

struct Plan {
    unsigned kinds = 0;
    long failAt = 0;
    long calls[kSysCallKinds] = {};
};

Plan g_plan;

int KindIndex(SysCall kind) {
    int index = 0;
    for (unsigned bit = kind; bit > 1; bit >>= 1) {
        ++index;
    }
    return index;
}

}  // namespace

bool SysFaultHook(SysCall kind) {
    ++g_plan.calls[KindIndex(kind)];
    return g_plan.failAt > 0 && (g_plan.kinds & kind) != 0 &&
           SysCallCount(g_plan.kinds) == g_plan.failAt;
}

void SysFailAt(unsigned kinds, long n) {
    g_plan = Plan{};
    g_plan.kinds = kinds;
    g_plan.failAt = n;
}

long SysCallCount(unsigned kinds) {
    long seen = 0;
    for (int i = 0; i < kSysCallKinds; ++i) {
        if (kinds & (1u << i)) {
            seen += g_plan.calls[i];
        }
    }
    return seen;
}

}  // namespace detail
}  // namespace qelcfg
