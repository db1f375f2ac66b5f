// Symbol visibility of the Qel_CfgFile library. The library is built with hidden
// visibility; QELCFG_API marks the classes and functions that applications link.
#ifndef QEL_CFGFILE_EXPORT_H
#define QEL_CFGFILE_EXPORT_H

#if defined(_WIN32)
#if defined(QELCFG_BUILDING)
#define QELCFG_API __declspec(dllexport)
#else
#define QELCFG_API __declspec(dllimport)
#endif
#elif defined(__GNUC__)
#define QELCFG_API __attribute__((visibility("default")))
#else
#define QELCFG_API
#endif

#endif  // QEL_CFGFILE_EXPORT_H
