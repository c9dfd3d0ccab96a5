# Builds for 32-bit x86 Linux on an x86-64 machine with Debian's multilib
# compilers (package g++-multilib). Programs are linked statically, so that
# where the kernel runs no 32-bit program they run under user-mode emulation
# (qemu-i386-static), which needs no 32-bit libraries on the machine:
#   cmake -S . -B build/linux32 -DCMAKE_TOOLCHAIN_FILE=cmake/linux-i386.cmake
#         [-DTAVRIN_RUNS_I386=OFF]
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_LIBRARY_ARCHITECTURE i386-linux-gnu)

set(CMAKE_C_FLAGS_INIT -m32)
set(CMAKE_CXX_FLAGS_INIT -m32)
set(CMAKE_EXE_LINKER_FLAGS_INIT "-m32 -static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT -m32)
set(CMAKE_MODULE_LINKER_FLAGS_INIT -m32)

# TAVRIN_RUNS_I386 OFF (what make test's probe finds on such a machine):
# tests run their programs through the emulator, on the most capable
# processor it offers.
if(DEFINED TAVRIN_RUNS_I386 AND NOT TAVRIN_RUNS_I386)
  find_program(TAVRIN_QEMU_I386 NAMES qemu-i386-static REQUIRED)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${TAVRIN_QEMU_I386} -cpu max)
endif()
