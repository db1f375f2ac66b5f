// Replaces the global operator new and delete of the program whose one source file
// includes this header: every call of operator new is counted, in the program and in the
// library alike.
#ifndef QEL_CFGFILE_BENCH_COUNTINGNEW_H
#define QEL_CFGFILE_BENCH_COUNTINGNEW_H

#include <cstdlib>
#include <new>

namespace qelbench {

// Calls of operator new since the program last set it to 0.
inline long g_newCalls = 0;

inline void* CountedNew(std::size_t size) {
    ++g_newCalls;
    void* p = std::malloc(size != 0 ? size : 1);
    if (p == nullptr) {
        throw std::bad_alloc();
    }
    return p;
}

}  // namespace qelbench

void* operator new(std::size_t size) {
    return qelbench::CountedNew(size);
}
void* operator new[](std::size_t size) {
    return qelbench::CountedNew(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return qelbench::CountedNew(size);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    return operator new(size, std::nothrow);
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete[](void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    std::free(p);
}

#endif  // QEL_CFGFILE_BENCH_COUNTINGNEW_H
