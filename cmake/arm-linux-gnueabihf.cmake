# Cross build for 32-bit ARM Linux with hard-float (Debian: g++-arm-linux-gnueabihf).
# Test programs run under qemu-user, which finds the target's loader and runtime in the
# Debian multiarch tree.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR arm)

set(QELCFG_ARM_TRIPLE arm-linux-gnueabihf)
set(CMAKE_C_COMPILER ${QELCFG_ARM_TRIPLE}-gcc)
set(CMAKE_CXX_COMPILER ${QELCFG_ARM_TRIPLE}-g++)

set(CMAKE_FIND_ROOT_PATH /usr/${QELCFG_ARM_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_CROSSCOMPILING_EMULATOR qemu-arm;-L;/usr/${QELCFG_ARM_TRIPLE})
