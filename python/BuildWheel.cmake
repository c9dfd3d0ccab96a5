# Builds the wheel with the standard tools, from pyproject.toml: stages
# python/ with the shared library (as libtavrin.so.1, inside the package),
# the project's version and the wheel's platform tag, runs
# `python3 -m build --no-isolation --wheel`, and leaves exactly one
# tavrin-*.whl in OUTPUT_DIR.
#
# The tag is manylinux_2_X_MACHINE, X the newest GLIBC_2.X symbol version
# the library needs, read from its dynamic symbols: the oldest glibc it
# loads on, which is what pip and PyPI read the tag for.
execute_process(COMMAND ${OBJDUMP} -T ${LIBRARY}
  RESULT_VARIABLE rc OUTPUT_VARIABLE symbols ERROR_VARIABLE err)
string(REGEX MATCHALL "GLIBC_2\\.[0-9]+" needed "${symbols}")
if(NOT rc EQUAL 0 OR NOT needed)
  message(FATAL_ERROR "cannot read the glibc versions ${LIBRARY} needs: ${err}")
endif()
set(newest 0)
foreach(version IN LISTS needed)
  string(REGEX REPLACE "GLIBC_2\\." "" minor ${version})
  if(minor GREATER newest)
    set(newest ${minor})
  endif()
endforeach()
set(platform manylinux_2_${newest}_${MACHINE})

set(stage ${OUTPUT_DIR}/stage)
set(dist ${OUTPUT_DIR}/dist)
file(REMOVE_RECURSE ${stage} ${dist})
file(COPY ${SOURCE_DIR}/pyproject.toml ${SOURCE_DIR}/setup.py ${SOURCE_DIR}/README.md
     ${SOURCE_DIR}/build_backend DESTINATION ${stage} PATTERN __pycache__ EXCLUDE)
file(COPY ${SOURCE_DIR}/src DESTINATION ${stage}
     PATTERN __pycache__ EXCLUDE PATTERN *.egg-info EXCLUDE PATTERN *.so* EXCLUDE)
file(COPY_FILE ${LIBRARY} ${stage}/src/tavrin/libtavrin.so.1)
file(WRITE ${stage}/VERSION "${VERSION}\n")
file(WRITE ${stage}/PLATFORM "${platform}\n")

execute_process(
  COMMAND ${PYTHON} -m build --no-isolation --wheel --outdir ${dist} ${stage}
  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "building the wheel failed:\n${out}\n${err}")
endif()
file(GLOB built ${dist}/tavrin-*.whl)
list(LENGTH built count)
if(NOT count EQUAL 1 OR NOT built MATCHES "-py3-none-${platform}\\.whl$")
  message(FATAL_ERROR "expected one platform wheel, got: ${built}")
endif()

file(GLOB old ${OUTPUT_DIR}/tavrin-*.whl)
if(old)
  file(REMOVE ${old})
endif()
get_filename_component(name ${built} NAME)
file(RENAME ${built} ${OUTPUT_DIR}/${name})
file(REMOVE_RECURSE ${stage} ${dist})
message(STATUS "Built ${OUTPUT_DIR}/${name}")
