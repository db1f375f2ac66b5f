// Replaces the global operator new and delete of the test program whose one source file
// includes this header: every call of operator new is counted, in the program and in the
// library alike, and a chosen call can be made to throw std::bad_alloc.
#ifndef QEL_CFGFILE_TESTS_COUNTINGNEW_H
#define QEL_CFGFILE_TESTS_COUNTINGNEW_H

#include <cstdlib>
#include <new>

namespace qeltest {

// Calls of operator new since a test last set it to 0.
inline long g_newCalls = 0;
// Calls of operator new left before one throws; 0 lets every call succeed.
inline long g_newsLeft = 0;

inline void* CountedNew(std::size_t size) {
    ++g_newCalls;
    if (g_newsLeft > 0 && --g_newsLeft == 0) {
        throw std::bad_alloc();
    }
    void* p = std::malloc(size != 0 ? size : 1);
    if (p == nullptr) {
        throw std::bad_alloc();
    }
    return p;
}

}  // namespace qeltest

void* operator new(std::size_t size) {
    return qeltest::CountedNew(size);
}
void* operator new[](std::size_t size) {
    return qeltest::CountedNew(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return qeltest::CountedNew(size);
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

#endif  // QEL_CFGFILE_TESTS_COUNTINGNEW_H
