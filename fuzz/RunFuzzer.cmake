# Runs the fuzz targets, as tests and from `make fuzz`:
#
#   cmake -DFUZZ_BIN_DIR=<dir of fuzz_<Name>> -DSOURCE_DIR=<this directory>
#         -DWORK_DIR=<scratch directory> [-DNAME=<Name>] [-DSECONDS=<n>]
#         [-DKEEP_CORPUS=ON] -P RunFuzzer.cmake
#
# NAME picks one target; without it every target of Targets.cmake runs in
# turn. Without SECONDS each replays its seeds and saved regressions once.
# With SECONDS each fuzzes for that long from them, writing the inputs it
# finds new to WORK_DIR/<Name>/corpus (kept between runs with KEEP_CORPUS)
# and an input that fails to WORK_DIR/<Name>/. Fails when a target fails.
foreach(var FUZZ_BIN_DIR SOURCE_DIR WORK_DIR)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "RunFuzzer.cmake: ${var} is not set")
  endif()
endforeach()
if(DEFINED NAME)
  set(names ${NAME})
else()
  include(${SOURCE_DIR}/Targets.cmake)
  set(names ${TAVRIN_FUZZ_TARGETS})
endif()

foreach(name IN LISTS names)
  set(fuzzer ${FUZZ_BIN_DIR}/fuzz_${name})
  set(work ${WORK_DIR}/${name})
  set(inputs ${SOURCE_DIR}/corpus/${name})
  if(IS_DIRECTORY ${SOURCE_DIR}/regressions/${name})
    list(APPEND inputs ${SOURCE_DIR}/regressions/${name})
  endif()

  if(NOT DEFINED SECONDS)
    execute_process(COMMAND ${fuzzer} -runs=0 ${inputs} RESULT_VARIABLE result)
    if(NOT result EQUAL 0)
      message(FATAL_ERROR "${name}: a seed or saved regression fails (${result})")
    endif()
    continue()
  endif()

  if(NOT KEEP_CORPUS)
    file(REMOVE_RECURSE ${work}/corpus)
  endif()
  file(MAKE_DIRECTORY ${work}/corpus)
  message(STATUS "Fuzzing ${name} for ${SECONDS} s")
  execute_process(
    COMMAND ${fuzzer} -max_total_time=${SECONDS} -timeout=10 -print_final_stats=1
            -artifact_prefix=${work}/ ${work}/corpus ${inputs}
    RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "${name}: the fuzzer found a failing input (${result}), "
            "saved under ${work}/. Once it is fixed, add the input to "
            "${SOURCE_DIR}/regressions/${name}/ so that every test run replays it.")
  endif()
endforeach()
