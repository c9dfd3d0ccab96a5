# Installs Tavrin as docs/library.md says, with nothing but a compiler and CMake:
# a fresh tree, configured with GoogleTest hidden, is built and installed into
# a scratch prefix. Tiny hosts are then built against the installed copy,
# through find_package, through pkg-config (with the run path docs/library.md
# gives) and, as a C89 program, through pkg-config again; each must start
# without LD_LIBRARY_PATH: each finds the library in the prefix by itself.
# The installed tool carries the library statically and must start without
# it. Last, a project that adds Tavrin with add_subdirectory must get the
# library alone, and the tool only when it asks for it.
set(prefix ${WORK_DIR}/prefix)
set(tree ${WORK_DIR}/tavrin-build)
file(REMOVE_RECURSE ${WORK_DIR})

include(${CMAKE_CURRENT_LIST_DIR}/InstalledHosts.cmake)

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

set(installed_library ${prefix}/lib/libtavrin.so.1)
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

# pkg-config, with C++98 and C89 hosts
build_pkgconfig_hosts(${prefix}/lib/pkgconfig ${WORK_DIR})

# add_subdirectory: configured only, to see which targets Tavrin brings.
set(library_targets tavrin,tavrin_api_static,tavrin_matching)
run(${CMAKE_COMMAND} -S ${SOURCE_DIR}/tests/install/subproject -B ${WORK_DIR}/subproject
    -DCMAKE_CXX_COMPILER=${CXX} -DTAVRIN_SOURCE_DIR=${SOURCE_DIR}
    -DEXPECTED_TARGETS=${library_targets})
run(${CMAKE_COMMAND} -S ${SOURCE_DIR}/tests/install/subproject -B ${WORK_DIR}/subproject-tool
    -DCMAKE_CXX_COMPILER=${CXX} -DTAVRIN_SOURCE_DIR=${SOURCE_DIR}
    -DTAVRIN_BUILD_TOOLS=ON -DEXPECTED_TARGETS=${library_targets},tavrin_cli,tavrin_tool)
