// Internal: small stand-ins for platform functions that not every runtime offers.
// This header is not installed.
#ifndef QEL_CFGFILE_PLATFORM_H
#define QEL_CFGFILE_PLATFORM_H

namespace qelcfg {
namespace detail {

// Compares two NUL-terminated texts, folding ASCII letters to lower case; other bytes
// compare by their unsigned value. Returns <0, 0 or >0 like strcmp.
inline int Stricmp(const char* a, const char* b) {
    for (;; ++a, ++b) {
        unsigned ca = static_cast<unsigned char>(*a);
        unsigned cb = static_cast<unsigned char>(*b);
        if (ca >= 'A' && ca <= 'Z')
            ca += 'a' - 'A';
        if (cb >= 'A' && cb <= 'Z')
            cb += 'a' - 'A';
        if (ca != cb || ca == 0) {
            return static_cast<int>(ca) - static_cast<int>(cb);
        }
    }
}

}  // namespace detail
}  // namespace qelcfg

#endif  // QEL_CFGFILE_PLATFORM_H
