// The definition of the platform seam's fault hook for the tests: one plan for the whole
// test program, which runs its fault tests on one thread.
#include "FaultPlan.h"

#include <utility>

namespace qelcfg {
namespace detail {
namespace {

unsigned g_kinds = 0;
long g_failAt = 0;
long g_calls = 0;
std::function<void()> g_action;

}  // namespace

bool SysFaultHook(SysCall kind) {
    if ((g_kinds & kind) == 0 || ++g_calls != g_failAt) {
        return false;
    }
    std::function<void()> action = std::move(g_action);
    if (action) {
        action();
    }
    return !action;
}

long SysFailAt(unsigned kinds, long n, std::function<void()> action) {
    g_kinds = kinds;
    g_failAt = n;
    g_action = std::move(action);
    return std::exchange(g_calls, 0);
}

}  // namespace detail
}  // namespace qelcfg
