# Makes the Wine prefix PREFIX ready: `wineboot --init` on first use,
# reused afterwards. WINE is the 64-bit loader; where this machine runs
# 32-bit programs (WITH_32BIT), the prefix also gets its 32-bit system DLLs,
# and one made without them is made again. Then starts the prefix's server
# for the test run (see below).
#   cmake -DWINE=/usr/lib/wine/wine64 -DPREFIX=dir -DWITH_32BIT=ON -P WinePrefix.cmake
set(ENV{WINEPREFIX} ${PREFIX})
find_program(WINESERVER NAMES wineserver REQUIRED)
set(wow64_marker ${PREFIX}/drive_c/windows/syswow64/kernel32.dll)
if(EXISTS ${PREFIX}/system.reg AND (NOT WITH_32BIT OR EXISTS ${wow64_marker}))
  message(STATUS "Wine prefix ready: ${PREFIX}")
else()
  file(REMOVE_RECURSE ${PREFIX})
  execute_process(COMMAND ${WINE} wineboot --init
    RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
  # wineboot returns before the server has written the registry; waiting
  # for the server to exit makes the prefix complete on disk.
  execute_process(COMMAND ${WINESERVER} -w)
  if(NOT rc EQUAL 0 OR NOT EXISTS ${PREFIX}/system.reg)
    message(FATAL_ERROR "wineboot --init failed (${rc}) for ${PREFIX}:\n${out}")
  endif()
  if(WITH_32BIT AND NOT EXISTS ${wow64_marker})
    message(FATAL_ERROR "wineboot --init made no 32-bit system DLLs in ${PREFIX}:\n${out}")
  endif()
  message(STATUS "Wine prefix created: ${PREFIX}")
endif()

# Debian's server exits the moment its last program does, and a program
# starting just then loses its connection ("recvmsg: Connection reset by
# peer"). This one stays for ten minutes after the last program, so the
# tests' programs all meet the same server; the fixture's cleanup stops it.
# (2: a server for this prefix is running already.) The first program also
# starts Wine's own services, which stay as long as the server: neither may
# hold a stream of this test open, or CTest would wait for them.
execute_process(COMMAND ${WINESERVER} -p600 RESULT_VARIABLE rc
  INPUT_FILE /dev/null OUTPUT_FILE /dev/null ERROR_FILE /dev/null)
if(NOT rc EQUAL 0 AND NOT rc EQUAL 2)
  message(FATAL_ERROR "could not start the Wine server for ${PREFIX} (${rc})")
endif()
execute_process(COMMAND ${WINE} cmd /c exit RESULT_VARIABLE rc
  INPUT_FILE /dev/null OUTPUT_FILE /dev/null ERROR_FILE /dev/null)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "Wine runs no program in ${PREFIX} (${rc})")
endif()
