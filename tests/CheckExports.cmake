# Fails unless the library's dynamic symbol table defines exactly the two
# functions of Tavrin.h and those of tavrin_c.h, and its SONAME carries major
# version 1.
execute_process(COMMAND ${NM} -D --defined-only --format=posix ${LIBRARY}
  OUTPUT_VARIABLE symbols RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "nm failed on ${LIBRARY}")
endif()
string(REGEX REPLACE " [^\n]*" "" names "${symbols}")
string(REGEX REPLACE "\n$" "" names "${names}")
string(REPLACE "\n" ";" names "${names}")
# The version node the linker adds for the export map is not a symbol a host
# can call; anything else is.
list(FILTER names EXCLUDE REGEX "^(VERS_|TAVRIN_)")
list(SORT names)
set(expected _ZN6Tavrin7IsValidEPKc _ZN6Tavrin8FiltrateEPcjPKc
  tavrin_is_valid tavrin_is_valid_utf8 tavrin_find tavrin_find_utf8
  tavrin_is_valid_many tavrin_screen_lines tavrin_screen_lines_utf8
  tavrin_input_form tavrin_utf16_is_text tavrin_row tavrin_version)
list(SORT expected)
if(NOT names STREQUAL expected)
  message(FATAL_ERROR "exported: ${names}\nexpected: ${expected}")
endif()

execute_process(COMMAND ${READELF} -d ${LIBRARY} OUTPUT_VARIABLE dynamic)
if(NOT dynamic MATCHES "Library soname: \\[libtavrin\\.so\\.1\\]")
  message(FATAL_ERROR "SONAME is not libtavrin.so.1:\n${dynamic}")
endif()
message(STATUS "exports: ${names}")
