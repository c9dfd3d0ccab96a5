# Installs Tavrin as the README says, with nothing but a compiler and CMake:
# a fresh tree, configured with GoogleTest hidden, is built and installed into
# a scratch prefix. Tiny hosts are then built against the installed copy,
# through find_package, through pkg-config (with the run path the README
# gives) and, as a C89 program, through pkg-config again; each must start
# without LD_LIBRARY_PATH: each finds the library in the prefix by itself.
# The installed tool carries the library statically and must start without
# it. Last, a project that adds Tavrin with add_subdirectory must get the
# library alone, and the tool only when it asks for it.
set(prefix ${WORK_DIR}/prefix)
set(tree ${WORK_DIR}/tavrin-build)
file(REMOVE_RECURSE ${WORK_DIR})

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "failed: ${ARGN}\n${out}\n${err}")
  endif()
  message(STATUS "${out}")
endfunction()

run(${CMAKE_COMMAND} -S ${SOURCE_DIR} -B ${tree} -DCMAKE_CXX_COMPILER=${CXX}
    -DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON)
if(EXISTS ${tree}/tests)
  message(FATAL_ERROR "the tests were configured although GoogleTest is hidden")
endif()
run(${CMAKE_COMMAND} --build ${tree} --parallel 2)
run(${CMAKE_COMMAND} --install ${tree} --prefix ${prefix})
foreach(file include/Tavrin.h include/tavrin_c.h lib/libtavrin.so lib/pkgconfig/tavrin.pc
             lib/cmake/Tavrin/TavrinConfig.cmake bin/tavrin)
  if(NOT EXISTS ${prefix}/${file})
    message(FATAL_ERROR "not installed: ${file}")
  endif()
endforeach()

# Runs `program` with the loader's search left as a fresh shell has it, once
# the loader has shown that it finds libtavrin.so.1 in the prefix.
file(REAL_PATH ${prefix}/lib/libtavrin.so.1 installed_library)
function(run_alone program)
  execute_process(COMMAND env -u LD_LIBRARY_PATH ldd ${program} OUTPUT_VARIABLE out)
  if(NOT out MATCHES "libtavrin\\.so\\.1 => ([^ ]+)")
    message(FATAL_ERROR "${program} does not find libtavrin.so.1:\n${out}")
  endif()
  file(REAL_PATH ${CMAKE_MATCH_1} found)
  if(NOT found STREQUAL installed_library)
    message(FATAL_ERROR "${program} finds ${found}, not ${installed_library}")
  endif()
  run(env -u LD_LIBRARY_PATH ${program} ${ARGN})
endfunction()

execute_process(COMMAND ldd ${prefix}/bin/tavrin OUTPUT_VARIABLE out)
if(out MATCHES "libtavrin")
  message(FATAL_ERROR "the tool loads libtavrin besides the copy it carries:\n${out}")
endif()
run(env -u LD_LIBRARY_PATH ${prefix}/bin/tavrin --version)

# find_package
run(${CMAKE_COMMAND} -S ${SOURCE_DIR}/tests/install/consumer -B ${WORK_DIR}/cmake-build
    -DCMAKE_PREFIX_PATH=${prefix} -DCMAKE_CXX_COMPILER=${CXX})
run(${CMAKE_COMMAND} --build ${WORK_DIR}/cmake-build)
run_alone(${WORK_DIR}/cmake-build/consumer)

# pkg-config, compiled as C++98 to prove the header is usable there too
set(ENV{PKG_CONFIG_PATH} ${prefix}/lib/pkgconfig)
execute_process(COMMAND pkg-config --cflags --libs tavrin
  OUTPUT_VARIABLE flags RESULT_VARIABLE rc OUTPUT_STRIP_TRAILING_WHITESPACE)
execute_process(COMMAND pkg-config --variable=libdir tavrin
  OUTPUT_VARIABLE libdir OUTPUT_STRIP_TRAILING_WHITESPACE)
if(NOT rc EQUAL 0 OR libdir STREQUAL "")
  message(FATAL_ERROR "pkg-config does not know tavrin")
endif()
separate_arguments(flags UNIX_COMMAND "${flags}")
run(${CXX} -std=c++98 -Wall -Werror ${SOURCE_DIR}/tests/install/consumer/main.cpp
    ${flags} -Wl,-rpath,${libdir} -o ${WORK_DIR}/pkgconfig-consumer)
run_alone(${WORK_DIR}/pkgconfig-consumer)

# The C interface from C89, warnings as errors
find_program(C_COMPILER NAMES cc gcc clang REQUIRED)
run(${C_COMPILER} -std=c89 -pedantic -Wall -Wextra -Werror
    -DTAVRIN_EXPECTED_VERSION="${VERSION}"
    ${SOURCE_DIR}/tests/install/consumer/main.c ${flags} -Wl,-rpath,${libdir}
    -o ${WORK_DIR}/c-consumer)
run_alone(${WORK_DIR}/c-consumer)

# add_subdirectory: configured only, to see which targets Tavrin brings.
set(library_targets tavrin,tavrin_api_static,tavrin_matching)
run(${CMAKE_COMMAND} -S ${SOURCE_DIR}/tests/install/subproject -B ${WORK_DIR}/subproject
    -DCMAKE_CXX_COMPILER=${CXX} -DTAVRIN_SOURCE_DIR=${SOURCE_DIR}
    -DEXPECTED_TARGETS=${library_targets})
run(${CMAKE_COMMAND} -S ${SOURCE_DIR}/tests/install/subproject -B ${WORK_DIR}/subproject-tool
    -DCMAKE_CXX_COMPILER=${CXX} -DTAVRIN_SOURCE_DIR=${SOURCE_DIR}
    -DTAVRIN_BUILD_TOOLS=ON -DEXPECTED_TARGETS=${library_targets},tavrin_cli,tavrin_tool)
