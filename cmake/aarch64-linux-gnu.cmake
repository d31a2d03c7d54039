# Cross build for 64-bit ARM Linux (aarch64) with Debian's cross compiler
# (g++-aarch64-linux-gnu) against a folder holding the arm64 Debian packages
# unpacked, as scripts/test-arm64.sh prepares it:
#
#   cmake -DCMAKE_TOOLCHAIN_FILE=cmake/aarch64-linux-gnu.cmake \
#         -DLUMIVEX_SYSROOT=/path/to/sysroot ...
#
# The host's Qt tools (moc, rcc, from qt6-base-dev and qt6-base-dev-tools)
# run during the build; the programs built run under qemu-aarch64, set as the
# cross-compiling emulator when it is installed.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_LIBRARY_ARCHITECTURE aarch64-linux-gnu)

if(NOT LUMIVEX_SYSROOT AND DEFINED ENV{LUMIVEX_SYSROOT})
    set(LUMIVEX_SYSROOT "$ENV{LUMIVEX_SYSROOT}")
endif()
if(NOT LUMIVEX_SYSROOT OR NOT EXISTS "${LUMIVEX_SYSROOT}/usr/include")
    message(FATAL_ERROR "Set LUMIVEX_SYSROOT to the folder holding the unpacked arm64 packages")
endif()
# Seen again by the compiler checks, which read this file anew.
set(ENV{LUMIVEX_SYSROOT} "${LUMIVEX_SYSROOT}")
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES LUMIVEX_SYSROOT)

set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)
set(CMAKE_SYSROOT "${LUMIVEX_SYSROOT}")

# Headers, libraries and CMake packages from the arm64 folder only; programs
# from the host.
set(CMAKE_FIND_ROOT_PATH "${LUMIVEX_SYSROOT}")
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# pkg-config reads the arm64 .pc files and prefixes their paths with the
# folder.
set(ENV{PKG_CONFIG_LIBDIR}
    "${LUMIVEX_SYSROOT}/usr/lib/aarch64-linux-gnu/pkgconfig:${LUMIVEX_SYSROOT}/usr/share/pkgconfig")
set(ENV{PKG_CONFIG_SYSROOT_DIR} "${LUMIVEX_SYSROOT}")
unset(ENV{PKG_CONFIG_PATH})

# Qt's build tools come from the host.
set(QT_HOST_PATH "/usr")
set(QT_HOST_PATH_CMAKE_DIR "/usr/lib/${CMAKE_HOST_SYSTEM_PROCESSOR}-linux-gnu/cmake")

find_program(LUMIVEX_QEMU_AARCH64 qemu-aarch64)
if(LUMIVEX_QEMU_AARCH64)
    set(CMAKE_CROSSCOMPILING_EMULATOR "${LUMIVEX_QEMU_AARCH64};-L;${LUMIVEX_SYSROOT}")
endif()
