# Cross-compiles for 32-bit Windows (PE32, i386) with Debian's mingw-w64
# toolchain (packages g++-mingw-w64-i686 and binutils-mingw-w64-i686):
#   cmake -S . -B build/windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-i686.cmake
set(CMAKE_SYSTEM_PROCESSOR x86)
set(TAVRIN_MINGW_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
