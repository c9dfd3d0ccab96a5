# Installs the built library into a scratch prefix, then builds and runs a
# tiny host against it twice: through find_package and through pkg-config.
set(prefix ${WORK_DIR}/prefix)
file(REMOVE_RECURSE ${WORK_DIR})

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "failed: ${ARGN}\n${out}\n${err}")
  endif()
  message(STATUS "${out}")
endfunction()

run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})
foreach(file include/Tavrin.h lib/libtavrin.so lib/pkgconfig/tavrin.pc
             lib/cmake/Tavrin/TavrinConfig.cmake)
  if(NOT EXISTS ${prefix}/${file})
    message(FATAL_ERROR "not installed: ${file}")
  endif()
endforeach()

# find_package
run(${CMAKE_COMMAND} -S ${SOURCE_DIR}/tests/install/consumer -B ${WORK_DIR}/cmake-build
    -DCMAKE_PREFIX_PATH=${prefix} -DCMAKE_CXX_COMPILER=${CXX})
run(${CMAKE_COMMAND} --build ${WORK_DIR}/cmake-build)
run(env LD_LIBRARY_PATH=${prefix}/lib ${WORK_DIR}/cmake-build/consumer)

# pkg-config, compiled as C++98 to prove the header is usable there too
set(ENV{PKG_CONFIG_PATH} ${prefix}/lib/pkgconfig)
execute_process(COMMAND pkg-config --cflags --libs tavrin
  OUTPUT_VARIABLE flags RESULT_VARIABLE rc OUTPUT_STRIP_TRAILING_WHITESPACE)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "pkg-config does not know tavrin")
endif()
separate_arguments(flags UNIX_COMMAND "${flags}")
run(${CXX} -std=c++98 -Wall -Werror ${SOURCE_DIR}/tests/install/consumer/main.cpp
    ${flags} -o ${WORK_DIR}/pkgconfig-consumer)
run(env LD_LIBRARY_PATH=${prefix}/lib ${WORK_DIR}/pkgconfig-consumer)
