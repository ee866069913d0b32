# Cross-build for the device: 32-bit big-endian PowerPC, glibc.
#
# Debian's g++-powerpc-linux-gnu keeps the target's C library under
# /usr/powerpc-linux-gnu. A firmware build passes its own root with
# -DCMAKE_SYSROOT=DIR instead; the vendor platform then finds the device's
# libraries there.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR powerpc)

set(CMAKE_C_COMPILER powerpc-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER powerpc-linux-gnu-g++)

if(CMAKE_SYSROOT)
    set(LINEWATCH_TARGET_ROOT "${CMAKE_SYSROOT}")
else()
    set(LINEWATCH_TARGET_ROOT /usr/powerpc-linux-gnu)
endif()
set(CMAKE_FIND_ROOT_PATH "${LINEWATCH_TARGET_ROOT}")
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Target programs (the unit tests) run on the build machine under qemu's user
# mode, which finds the target's loader and libraries under -L.
set(CMAKE_CROSSCOMPILING_EMULATOR "qemu-ppc-static;-L;${LINEWATCH_TARGET_ROOT}"
    CACHE STRING "How target programs run on the build machine")

# The device kernel uses 4 KiB pages. Without this the linker aligns each
# segment to 64 KiB, the most any PowerPC kernel might use, and the padding
# makes up most of a small executable's file. Empty keeps the 64 KiB
# alignment, for a kernel built with larger pages.
set(LINEWATCH_MAX_PAGE_SIZE 4096
    CACHE STRING "Largest page size of the device kernel, in bytes (empty: linker default)")
