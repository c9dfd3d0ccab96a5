# What the tests of an installed Tavrin share: CheckInstall.cmake (a cmake
# --install into a scratch prefix) and tests/package/ (the Debian packages
# unpacked into a scratch root).
#
#   run(COMMAND...)  runs the command; fails, with its output, unless it
#                    succeeds
#   run_alone(PROGRAM ARG...)  runs PROGRAM without LD_LIBRARY_PATH, once ldd
#                    has shown that it finds libtavrin.so.1 at
#                    ${installed_library} by itself
#   build_pkgconfig_hosts(PC_DIR WORK_DIR [SYSROOT])  builds the hosts of
#                    tests/install/consumer through the tavrin.pc in PC_DIR
#                    (read under SYSROOT, a package's files unpacked there),
#                    with the run path docs/library.md gives: main.cpp as C++98
#                    with CXX, main.c as C89 (warnings as errors), and runs
#                    each with run_alone; sets installed_library from the
#                    libdir that pkg-config gives, and fails unless its
#                    paths are plain (no "..": pkg-config could not drop a
#                    system directory)
# The including script sets SOURCE_DIR, CXX and VERSION.

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "failed: ${ARGN}\n${out}\n${err}")
  endif()
  message(STATUS "${out}")
endfunction()

function(run_alone program)
  execute_process(COMMAND env -u LD_LIBRARY_PATH ldd ${program} OUTPUT_VARIABLE out)
  if(NOT out MATCHES "libtavrin\\.so\\.1 => ([^ ]+)")
    message(FATAL_ERROR "${program} does not find libtavrin.so.1:\n${out}")
  endif()
  file(REAL_PATH ${CMAKE_MATCH_1} found)
  file(REAL_PATH ${installed_library} expected)
  if(NOT found STREQUAL expected)
    message(FATAL_ERROR "${program} finds ${found}, not ${expected}")
  endif()
  run(env -u LD_LIBRARY_PATH ${program} ${ARGN})
endfunction()

macro(build_pkgconfig_hosts pc_dir work_dir)
  set(ENV{PKG_CONFIG_PATH} ${pc_dir})
  if(${ARGC} GREATER 2)
    set(ENV{PKG_CONFIG_SYSROOT_DIR} ${ARGV2})
  else()
    unset(ENV{PKG_CONFIG_SYSROOT_DIR})
  endif()
  execute_process(COMMAND pkg-config --cflags --libs tavrin
    OUTPUT_VARIABLE flags RESULT_VARIABLE rc OUTPUT_STRIP_TRAILING_WHITESPACE)
  execute_process(COMMAND pkg-config --variable=libdir tavrin
    OUTPUT_VARIABLE libdir OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT rc EQUAL 0 OR libdir STREQUAL "")
    message(FATAL_ERROR "pkg-config does not know tavrin in ${pc_dir}")
  endif()
  if("${flags} ${libdir}" MATCHES "/\\.\\./")
    message(FATAL_ERROR "pkg-config gives paths that are not plain: ${flags} ${libdir}")
  endif()
  set(installed_library ${libdir}/libtavrin.so.1)
  separate_arguments(flags UNIX_COMMAND "${flags}")
  # The header is usable from C++98 on.
  run(${CXX} -std=c++98 -Wall -Werror ${SOURCE_DIR}/tests/install/consumer/main.cpp
      ${flags} -Wl,-rpath,${libdir} -o ${work_dir}/pkgconfig-consumer)
  run_alone(${work_dir}/pkgconfig-consumer)
  find_program(C_COMPILER NAMES cc gcc clang REQUIRED)
  run(${C_COMPILER} -std=c89 -pedantic -Wall -Wextra -Werror
      -DTAVRIN_EXPECTED_VERSION="${VERSION}"
      ${SOURCE_DIR}/tests/install/consumer/main.c ${flags} -Wl,-rpath,${libdir}
      -o ${work_dir}/c-consumer)
  run_alone(${work_dir}/c-consumer)
endmacro()
