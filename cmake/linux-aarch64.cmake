# Builds for 64-bit ARM Linux (aarch64) on another machine: clang, which
# targets aarch64 as it is, with Debian's aarch64 C and C++ libraries
# (package libstdc++-12-dev-arm64-cross, under /usr/aarch64-linux-gnu) and
# linker (binutils-aarch64-linux-gnu). Debian's aarch64 g++ would do as well,
# but it cannot be installed beside g++-multilib, which the 32-bit build
# needs. Programs run under user-mode emulation (qemu-aarch64-static, package
# qemu-user-static), with that folder as the root their loader and libraries
# are looked up in:
#   cmake -S . -B build/arm64 -DCMAKE_TOOLCHAIN_FILE=cmake/linux-aarch64.cmake
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_LIBRARY_ARCHITECTURE aarch64-linux-gnu)
set(TAVRIN_AARCH64_ROOT /usr/aarch64-linux-gnu)

set(CMAKE_C_COMPILER clang)
set(CMAKE_CXX_COMPILER clang++)
set(CMAKE_C_COMPILER_TARGET aarch64-linux-gnu)
set(CMAKE_CXX_COMPILER_TARGET aarch64-linux-gnu)

# Libraries and headers from the aarch64 root only; programs from this machine.
set(CMAKE_FIND_ROOT_PATH ${TAVRIN_AARCH64_ROOT})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Tests (and GoogleTest's discovery of them) run the programs through this.
find_program(TAVRIN_QEMU_AARCH64 NAMES qemu-aarch64-static REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR ${TAVRIN_QEMU_AARCH64} -L ${TAVRIN_AARCH64_ROOT})
