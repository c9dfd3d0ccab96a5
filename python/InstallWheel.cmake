# Makes a fresh venv (seeing Debian's packages: pytest, dask) and installs
# the one wheel of WHEEL_DIR into it, offline.
file(GLOB wheels ${WHEEL_DIR}/tavrin-*.whl)
list(LENGTH wheels count)
if(NOT count EQUAL 1)
  message(FATAL_ERROR "expected one wheel in ${WHEEL_DIR} (make python builds it), found: ${wheels}")
endif()

file(REMOVE_RECURSE ${VENV})
foreach(step
    "${PYTHON};-m;venv;--system-site-packages;${VENV}"
    "${VENV}/bin/python;-m;pip;install;--no-index;--no-deps;--disable-pip-version-check;--quiet;${wheels}")
  execute_process(COMMAND ${step} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "failed: ${step}\n${out}\n${err}")
  endif()
endforeach()
message(STATUS "installed ${wheels} into ${VENV}")
