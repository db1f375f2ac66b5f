# Cross build for 64-bit Windows with MinGW-w64 and its POSIX thread model (Debian:
# g++-mingw-w64-x86-64-posix). Test programs run under Wine (Debian: wine64 and wine), in
# a Wine prefix of the build tree's own that tests/CMakeLists.txt initialises once.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(QELCFG_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${QELCFG_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QELCFG_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${QELCFG_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${QELCFG_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(QELCFG_WINE /usr/lib/wine/wine64 CACHE FILEPATH "Wine loader that runs the test programs")
set(QELCFG_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix CACHE PATH "Wine prefix of the test runs")
# No Mono or Gecko prompt, no debug chatter: the runs are unattended.
set(CMAKE_CROSSCOMPILING_EMULATOR
    /usr/bin/env;WINEPREFIX=${QELCFG_WINEPREFIX};WINEDEBUG=-all;WINEDLLOVERRIDES=mscoree,mshtml=;${QELCFG_WINE})
