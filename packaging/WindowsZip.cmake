# Makes the Windows SDK zip, OUTPUT_DIR/tavrin-VERSION-windows.zip, from the
# two cross builds (make windows), whose project version it takes:
#   x86/  and x64/   Tavrin.dll and its import library Tavrin.lib
#   include/         Tavrin.h
#   README.txt       which folder a host needs, each module's exported names
#                    (read from the module definition each was linked with),
#                    and the version
# Each DLL is stripped of its symbols by its toolchain's strip, STRIP_x86 and
# STRIP_x64: make test runs the hosts against the zipped DLL.
#   cmake -DX86_DIR=build/windows -DX64_DIR=build/windows-x64 -DSOURCE_DIR=.
#         -DSTRIP_x86=i686-w64-mingw32-strip -DSTRIP_x64=x86_64-w64-mingw32-strip
#         -DOUTPUT_DIR=build/package -P WindowsZip.cmake
cmake_minimum_required(VERSION 3.20)
file(STRINGS ${X64_DIR}/CMakeCache.txt version REGEX "^CMAKE_PROJECT_VERSION:")
string(REGEX REPLACE "^[^=]*=" "" VERSION "${version}")
if(NOT VERSION MATCHES "^[0-9]+\\.[0-9]+\\.[0-9]+\\.[0-9]+$")
  message(FATAL_ERROR "no project version in ${X64_DIR}/CMakeCache.txt: make windows configures it")
endif()
set(OUTPUT ${OUTPUT_DIR}/tavrin-${VERSION}-windows.zip)
set(stage ${OUTPUT}.stage)
file(REMOVE_RECURSE ${stage} ${OUTPUT})

# The exported names of one module, "    NAME" lines, from its .def file.
function(exported_names dir out)
  file(STRINGS ${dir}/src/Tavrin.def lines REGEX "^[ \t]+[?][^ ]+ =")
  set(text "")
  foreach(line IN LISTS lines)
    string(REGEX REPLACE "^[ \t]+([^ ]+) =.*" "    \\1" line "${line}")
    string(APPEND text "${line}\n")
  endforeach()
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

foreach(width x86 x64)
  if(width STREQUAL x86)
    set(dir ${X86_DIR})
  else()
    set(dir ${X64_DIR})
  endif()
  foreach(file Tavrin.dll Tavrin.lib)
    if(NOT EXISTS ${dir}/${file})
      message(FATAL_ERROR "${dir}/${file} is missing: make windows builds it")
    endif()
  endforeach()
  file(MAKE_DIRECTORY ${stage}/${width})
  file(COPY ${dir}/Tavrin.lib DESTINATION ${stage}/${width})
  execute_process(COMMAND ${STRIP_${width}} -o ${stage}/${width}/Tavrin.dll ${dir}/Tavrin.dll
    RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${STRIP_${width}} could not strip ${dir}/Tavrin.dll")
  endif()
  exported_names(${dir} names_${width})
endforeach()
file(COPY ${SOURCE_DIR}/include/Tavrin.h DESTINATION ${stage}/include)

file(WRITE ${stage}/README.txt "Tavrin ${VERSION} for Windows

Tavrin.dll screens zero-terminated texts, ASCII or Chinese in GBK (code
page 936), against a built-in list of 54 banned words. include\\Tavrin.h
declares its two functions and says what they do:

    bool Tavrin::IsValid(char const* text);
    bool Tavrin::Filtrate(char* out, unsigned int outSize, char const* in);

Which folder: the one that matches the host program, whatever the Windows.
    x86\\  for a 32-bit host (PE32, i386), on 32-bit or 64-bit Windows
    x64\\  for a 64-bit host (PE32+, x86-64)
Put that folder's Tavrin.dll beside the host's .exe. A host built with
Microsoft's tools links that folder's Tavrin.lib; a host that calls
LoadLibrary and GetProcAddress needs the DLL alone. The DLL needs nothing
beside it: it imports only kernel32.dll and msvcrt.dll.

Exported names: the two functions under the names Microsoft's C++ compiler
gives them, and nothing else. Both are __cdecl and return a one-byte bool.
  x86\\Tavrin.dll
${names_x86}  x64\\Tavrin.dll
${names_x64}
Version: ${VERSION}. Each DLL carries it in its version resource
(FileVersion ${VERSION}+, ProductVersion ${VERSION}).
")
# Windows line endings for Notepad.
file(READ ${stage}/README.txt text)
string(REPLACE "\n" "\r\n" text "${text}")
file(WRITE ${stage}/README.txt "${text}")

execute_process(
  COMMAND ${CMAKE_COMMAND} -E tar cf ${OUTPUT} --format=zip README.txt include x86 x64
  WORKING_DIRECTORY ${stage} RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "could not write ${OUTPUT}")
endif()
file(REMOVE_RECURSE ${stage})
message(STATUS "Built ${OUTPUT}")
