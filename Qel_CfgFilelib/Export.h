// Symbol visibility of the Qel_CfgFile library. The library is built with hidden
// visibility; QELCFG_API marks the classes and functions that applications link.
#ifndef QEL_CFGFILE_EXPORT_H
#define QEL_CFGFILE_EXPORT_H

// QELCFG_LOCAL keeps a private helper of an exported class out of the export table.
// QELCFG_STATIC is for code linked with the library's objects directly rather than
// through the DLL: on Windows it must neither import nor export them.
#if defined(_WIN32) && defined(QELCFG_STATIC)
#define QELCFG_API
#define QELCFG_LOCAL
#elif defined(_WIN32)
#if defined(QELCFG_BUILDING)
#define QELCFG_API __declspec(dllexport)
#else
#define QELCFG_API __declspec(dllimport)
#endif
#define QELCFG_LOCAL
#elif defined(__GNUC__)
#define QELCFG_API __attribute__((visibility("default")))
#define QELCFG_LOCAL __attribute__((visibility("hidden")))
#else
#define QELCFG_API
#define QELCFG_LOCAL
#endif

// A save reports with errno ESTALE that another writer changed the file since it was read.
// Some C runtimes (MinGW's) have no such value; it then gets the number Linux gives it.
#include <cerrno>
#if !defined(ESTALE)
#define ESTALE 116
#endif

#endif  // QEL_CFGFILE_EXPORT_H
