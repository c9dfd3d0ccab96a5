# Finds out whether this machine's kernel runs 32-bit x86 programs, by
# running one: a 64-bit kernel may be built or booted without that support,
# and then every 32-bit program fails to start ("Exec format error").
# Writes OUTPUT, an initial-cache file for cmake -C that sets
# TAVRIN_RUNS_I386 and, when it is OFF, TAVRIN_RUNS_I386_REASON.
#   cmake -DOUTPUT=build/i386-probe.cmake -P cmake/ProbeI386.cmake
cmake_minimum_required(VERSION 3.20)
get_filename_component(work_dir ${OUTPUT} DIRECTORY)
set(source ${work_dir}/i386-probe.c)
set(program ${work_dir}/i386-probe)
# The smallest program there is: its entry point writes "i386" with the
# 32-bit write system call and exits with status 0 by the 32-bit exit call.
# It needs no C library, 32-bit or other.
file(WRITE ${source} [[
void _start(void) {
  static const char kText[] = "i386\n";
  __asm__ volatile("int $0x80" : : "a"(4), "b"(1), "c"(kText), "d"(5));
  __asm__ volatile("int $0x80" : : "a"(1), "b"(0));
}
]])
find_program(CC NAMES cc gcc REQUIRED)
execute_process(
  COMMAND ${CC} -m32 -static -nostdlib -ffreestanding -o ${program} ${source}
  RESULT_VARIABLE rc ERROR_VARIABLE error)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "could not build the 32-bit probe program:\n${error}")
endif()
# Where the kernel refuses the program, the C library hands it to the shell
# as a script, so its own words, not the exit status, tell that it ran.
execute_process(COMMAND ${program} RESULT_VARIABLE rc OUTPUT_VARIABLE out
  ERROR_QUIET)
if(rc STREQUAL "0" AND out STREQUAL "i386\n")
  set(runs ON)
  set(reason "")
  message(STATUS "32-bit programs run on this machine: the 32-bit suites run natively")
else()
  set(runs OFF)
  if(rc MATCHES "^[0-9]+$")
    set(rc "exit status ${rc}")
  endif()
  set(reason "this machine's kernel runs no 32-bit program: a static i386 program did not run (${rc})")
  message(STATUS "${reason}; the 32-bit Wine hosts are skipped and the 32-bit suites run under qemu-i386-static")
endif()
file(WRITE ${OUTPUT} "# Written by cmake/ProbeI386.cmake.
set(TAVRIN_RUNS_I386 ${runs} CACHE BOOL \"This machine runs 32-bit x86 programs\" FORCE)
set(TAVRIN_RUNS_I386_REASON \"${reason}\" CACHE STRING \"Why it does not\" FORCE)
")
