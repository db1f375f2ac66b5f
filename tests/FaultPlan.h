// The tests' plan of failures for the platform seam: which call of the seam is to fail.
// It exists only in what the tests link (the library's internal archive, built with the
// seam's fault hook), never in the shipped library.
#ifndef QEL_CFGFILE_TESTS_FAULTPLAN_H
#define QEL_CFGFILE_TESTS_FAULTPLAN_H

#include <functional>

#include "SysIoFaults.h"

namespace qelcfg {
namespace detail {

// After SysFailAt(kinds, n) the n-th call (counted from 1) of one of the given kinds fails
// as the runtime reports a failure (errno EIO, or ENOMEM for memory); n = 0 turns failures
// off. With an `action`, that call runs it instead and then goes on as usual, so that a test
// can change the file system at an exact step of an operation (a race, without timing).
// Returns how many calls of the kinds of the plan it ends were made under that plan.
long SysFailAt(unsigned kinds, long n, std::function<void()> action = nullptr);

}  // namespace detail
}  // namespace qelcfg

#endif  // QEL_CFGFILE_TESTS_FAULTPLAN_H
