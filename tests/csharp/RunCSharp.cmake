# Compiles C# SOURCES with Mono's compiler and runs the program under mono.
#   cmake -DMCS=mcs -DMONO=mono -DWORK_DIR=dir -DSOURCES=a.cs;b.cs
#         [-DREADME=README.md] [-DMODULE_DEF=Tavrin.def.in -DLIBRARY=libtavrin.so.1]
#         [-DARGS=...] [-DEXPECTED=file -DEXPECTED_STATUS=n] -P RunCSharp.cmake
# README: the ```csharp block of this Markdown page is compiled too, as it stands there.
# MODULE_DEF: the program gets a .config file whose dllmap sends each 64-bit
# decorated name of Tavrin.dll, as this module definition exports it, to the
# function of LIBRARY that it names.
# EXPECTED: the program's standard output must be this file's text, and its
# exit status EXPECTED_STATUS; without it, the program must exit with 0.
cmake_minimum_required(VERSION 3.20)
file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR})

if(README)
  file(READ ${README} text)
  if(NOT text MATCHES "\n```csharp\n(.*)")
    message(FATAL_ERROR "${README} has no ```csharp block")
  endif()
  string(FIND "${CMAKE_MATCH_1}" "\n```" end)
  string(SUBSTRING "${CMAKE_MATCH_1}" 0 ${end} block)
  file(WRITE ${WORK_DIR}/Readme.cs "${block}\n")
  list(APPEND SOURCES ${WORK_DIR}/Readme.cs)
endif()

set(program ${WORK_DIR}/program.exe)
execute_process(COMMAND ${MCS} -nologo -warnaserror -out:${program} ${SOURCES}
  RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "mcs could not compile ${SOURCES}")
endif()

if(MODULE_DEF)
  file(STRINGS ${MODULE_DEF} exports REGEX "^[ \t]+[?][^ ]+ = ")
  set(entries "")
  foreach(line IN LISTS exports)
    string(REGEX REPLACE "^[ \t]+([^ ]+) = ([^ ]+)$" "\\1;\\2" pair "${line}")
    list(GET pair 0 name)
    list(GET pair 1 target)
    string(REPLACE "{P}" "PE" name "${name}")  # a 64-bit pointer
    string(APPEND entries
      "    <dllentry dll=\"${LIBRARY}\" name=\"${name}\" target=\"${target}\"/>\n")
  endforeach()
  if(entries STREQUAL "")
    message(FATAL_ERROR "no exports found in ${MODULE_DEF}")
  endif()
  file(WRITE ${program}.config "<configuration>
  <dllmap dll=\"Tavrin.dll\" target=\"${LIBRARY}\">
${entries}  </dllmap>
</configuration>
")
endif()

execute_process(COMMAND ${MONO} --debug ${program} ${ARGS}
  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
message("${out}${err}")
if(EXPECTED)
  file(READ ${EXPECTED} expected)
  if(NOT out STREQUAL expected)
    message(FATAL_ERROR "mono ${program} wrote\n${out}\nnot\n${expected}")
  endif()
else()
  set(EXPECTED_STATUS 0)
endif()
if(NOT rc STREQUAL EXPECTED_STATUS)
  message(FATAL_ERROR "mono ${program} exited with ${rc}, not ${EXPECTED_STATUS}")
endif()
