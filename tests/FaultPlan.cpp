// The definition of the platform seam's fault hook for the tests: one plan for the whole
// test program, which runs its fault tests on one thread.
#include "FaultPlan.h"

#include <utility>

namespace qelcfg {
namespace detail {
namespace {

struct Plan {
    unsigned kinds = 0;
    long failAt = 0;
    long calls[kSysCallKinds] = {};
    std::function<void()> action;
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
    if (g_plan.action && (g_plan.kinds & kind) != 0 &&
        SysCallCount(g_plan.kinds) == g_plan.failAt) {
        std::function<void()> action = std::move(g_plan.action);
        action();
        return false;
    }
    return g_plan.failAt > 0 && (g_plan.kinds & kind) != 0 &&
           SysCallCount(g_plan.kinds) == g_plan.failAt;
}

void SysFailAt(unsigned kinds, long n) {
    g_plan = Plan{};
    g_plan.kinds = kinds;
    g_plan.failAt = n;
}

void SysRunAt(unsigned kinds, long n, std::function<void()> action) {
    SysFailAt(kinds, n);
    g_plan.action = std::move(action);
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
