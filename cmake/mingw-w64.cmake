# What the two mingw-w64 toolchain files share: Debian's cross compilers,
# named by TAVRIN_MINGW_TRIPLE, which the including file sets.
set(CMAKE_SYSTEM_NAME Windows)

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
