# Fails unless MODULE is a Windows module of WIDTH bits (32: PE32 for i386,
# 64: PE32+ for x86-64) whose export table holds exactly the two decorated
# names for that width, whose import table names only system DLLs, and
# unless IMPORT_LIBRARY offers exactly those two names to a linker.
#   cmake -DWIDTH=32 -DMODULE=Tavrin.dll -DIMPORT_LIBRARY=Tavrin.lib
#         -DOBJDUMP=x86_64-w64-mingw32-objdump -DNM=llvm-nm -P CheckWindowsModule.cmake
cmake_minimum_required(VERSION 3.20)
# The names Microsoft's compiler gives the header's two functions; a pointer
# is "P" on 32-bit Windows and "PE" (a 64-bit pointer) on x64.
if(WIDTH EQUAL 32)
  set(decorated "?Filtrate@Tavrin@@YA_NPADIPBD@Z;?IsValid@Tavrin@@YA_NPBD@Z")
  set(format "pei-i386")
  set(magic "010b")
elseif(WIDTH EQUAL 64)
  set(decorated "?Filtrate@Tavrin@@YA_NPEADIPEBD@Z;?IsValid@Tavrin@@YA_NPEBD@Z")
  set(format "pei-x86-64")
  set(magic "020b")
else()
  message(FATAL_ERROR "WIDTH must be 32 or 64")
endif()
# The DLLs every Windows installation carries that the module may use; the
# compiler's runtime (libgcc, libstdc++, libwinpthread) must not appear.
set(system_dlls "kernel32.dll;msvcrt.dll")

execute_process(COMMAND ${OBJDUMP} -p ${MODULE}
  OUTPUT_VARIABLE headers RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${OBJDUMP} -p ${MODULE} failed")
endif()
if(NOT headers MATCHES "file format ${format}\n" OR NOT headers MATCHES "Magic[\t ]+${magic}")
  message(FATAL_ERROR "${MODULE} is not a ${WIDTH}-bit module (${format}, magic ${magic})")
endif()

# Exports: the lines of the [Ordinal/Name Pointer] Table, up to a blank line.
string(FIND "${headers}" "[Ordinal/Name Pointer] Table" at)
if(at EQUAL -1)
  message(FATAL_ERROR "${MODULE} has no export name table")
endif()
string(SUBSTRING "${headers}" ${at} -1 table)
string(REGEX REPLACE "\n[ \t]*\n.*" "" table "${table}")
string(REGEX MATCHALL "\\[ *[0-9]+\\] [^\n]+" entries "${table}")
set(exports "")
foreach(entry IN LISTS entries)
  string(REGEX REPLACE "^\\[ *[0-9]+\\] " "" name "${entry}")
  list(APPEND exports "${name}")
endforeach()
list(SORT exports)
if(NOT exports STREQUAL decorated)
  message(FATAL_ERROR "exported: ${exports}\nexpected: ${decorated}")
endif()

# Imports.
string(REGEX MATCHALL "DLL Name: [^\n]+" dll_lines "${headers}")
set(imports "")
foreach(line IN LISTS dll_lines)
  string(REGEX REPLACE "^DLL Name: " "" dll "${line}")
  string(TOLOWER "${dll}" dll)
  list(APPEND imports "${dll}")
endforeach()
if(NOT imports)
  message(FATAL_ERROR "no import table found in ${MODULE}")
endif()
foreach(dll IN LISTS imports)
  if(NOT dll IN_LIST system_dlls)
    message(FATAL_ERROR "${MODULE} imports ${dll}, which is not a system DLL")
  endif()
endforeach()

# The import library: each export as a call target and as its __imp_ slot.
execute_process(COMMAND ${NM} ${IMPORT_LIBRARY}
  OUTPUT_VARIABLE symbols RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${NM} ${IMPORT_LIBRARY} failed")
endif()
string(REGEX MATCHALL " T [^\n]+" code_lines "${symbols}")
set(offered "")
foreach(line IN LISTS code_lines)
  string(REGEX REPLACE "^ T " "" name "${line}")
  list(APPEND offered "${name}")
endforeach()
list(SORT offered)
set(expected_offered "")
foreach(name IN LISTS decorated)
  list(APPEND expected_offered "${name}" "__imp_${name}")
endforeach()
list(SORT expected_offered)
if(NOT offered STREQUAL expected_offered)
  message(FATAL_ERROR "Tavrin.lib offers: ${offered}\nexpected: ${expected_offered}")
endif()
message(STATUS "exports: ${exports}; imports: ${imports}")
