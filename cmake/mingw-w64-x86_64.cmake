# Cross-compiles for 64-bit Windows (PE32+, x86-64) with Debian's mingw-w64
# toolchain (packages g++-mingw-w64-x86-64 and binutils-mingw-w64-x86-64):
#   cmake -S . -B build/windows-x64 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(TAVRIN_MINGW_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
