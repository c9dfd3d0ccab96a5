# Cross-compiles for 32-bit Windows (PE32, i386) with Debian's mingw-w64
# toolchain (packages g++-mingw-w64-i686 and binutils-mingw-w64-i686):
#   cmake -S . -B build/windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-i686.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)

set(TAVRIN_MINGW_TRIPLE i686-w64-mingw32)
set(CMAKE_C_COMPILER ${TAVRIN_MINGW_TRIPLE}-gcc)
set(CMAKE_CXX_COMPILER ${TAVRIN_MINGW_TRIPLE}-g++)
set(CMAKE_RC_COMPILER ${TAVRIN_MINGW_TRIPLE}-windres)

# Libraries and headers come from the target's sysroot only; programs (the
# LLVM tools that make the import library) from the build machine.
set(CMAKE_FIND_ROOT_PATH /usr/${TAVRIN_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
