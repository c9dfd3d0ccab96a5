# Makes the Wine prefix PREFIX ready once: `wineboot --init` on first use,
# reused afterwards.
#   cmake -DWINE=wine -DPREFIX=dir -P WinePrefix.cmake
set(ENV{WINEPREFIX} ${PREFIX})
if(EXISTS ${PREFIX}/system.reg)
  message(STATUS "Wine prefix ready: ${PREFIX}")
  return()
endif()
execute_process(COMMAND ${WINE} wineboot --init
  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
# wineboot returns before the server has written the registry; waiting for
# the server to exit makes the prefix complete on disk.
get_filename_component(wine_dir ${WINE} DIRECTORY)
find_program(WINESERVER NAMES wineserver HINTS ${wine_dir} REQUIRED)
execute_process(COMMAND ${WINESERVER} -w)
if(NOT rc EQUAL 0 OR NOT EXISTS ${PREFIX}/system.reg)
  message(FATAL_ERROR "wineboot --init failed (${rc}) for ${PREFIX}:\n${out}")
endif()
message(STATUS "Wine prefix created: ${PREFIX}")
