# The Debian packages, made by CPack's DEB generator from the three install
# components (cmake/Install.cmake): libtavrin1, libtavrin-dev and tavrin.
# make package builds them in their own tree, installed under /usr (so that
# the library lands in the multiarch directory) with Debian's hardening
# flags; by hand:
#   cmake -S . -B build/deb -DCMAKE_INSTALL_PREFIX=/usr -DCMAKE_BUILD_TYPE=Release
#   cmake --build build/deb && cpack --config build/deb/CPackConfig.cmake -G DEB
# dpkg-shlibdeps finds each package's dependencies; libtavrin1 carries a
# shlibs file, so that a host package built against it depends on it.

set(CPACK_PACKAGE_NAME tavrin)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
# Each package's synopsis is the first line of its description below. CPack
# puts the project-wide summary before it unless that is left at CPack's
# default, so it is.
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${CMAKE_PROJECT_NAME} built using CMake")
set(CPACK_PACKAGE_VENDOR "Tavrin")
if(NOT CPACK_PACKAGE_CONTACT)
  set(CPACK_PACKAGE_CONTACT "Tavrin maintainers <maintainers@tavrin.example>")
endif()
set(CPACK_GENERATOR DEB)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL Runtime Development Tool)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)  # NAME_VERSION_ARCH.deb
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# CPack calls ldconfig from libtavrin1's maintainer scripts; Debian does it
# with a trigger instead, and this script swaps one for the other.
set(CPACK_POST_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/LdconfigTrigger.cmake)

set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME libtavrin1)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
set(CPACK_DEBIAN_RUNTIME_DESCRIPTION
"screens GBK and ASCII text against a built-in list of banned words
Tavrin screens short texts (chat lines, user names, forum posts) against a
fixed list of 54 banned words: profanity and sexual terms in English and
Chinese, political terms, web domain endings and the openings of two HTML
tags. A text is a zero-terminated byte string, ASCII or GBK, and is banned
when any row occurs anywhere in it, ASCII letters compared without regard
to case.
.
This package holds the shared library, with the C++ pair Tavrin::IsValid
and Tavrin::Filtrate and a C interface for other languages.")

set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_NAME libtavrin-dev)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_DEPENDS "libtavrin1 (= ${PROJECT_VERSION})")
set(CPACK_DEBIAN_DEVELOPMENT_DESCRIPTION
"development files for Tavrin, a banned-word screening library
Tavrin screens short texts, ASCII or GBK, against a fixed list of 54 banned
words.
.
This package holds the headers Tavrin.h (C++) and tavrin_c.h (C), the
libtavrin.so link, the CMake package (find_package(Tavrin)) and tavrin.pc
for pkg-config.")

set(CPACK_DEBIAN_TOOL_PACKAGE_NAME tavrin)
set(CPACK_DEBIAN_TOOL_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_TOOL_DESCRIPTION
"screens lines of text against a built-in list of banned words
Tavrin screens short texts, ASCII or GBK, against a fixed list of 54 banned
words. This package holds the command-line tool tavrin, which checks,
filters or explains each line of its files or standard input, in GBK or
UTF-8, and writes JSON Lines on request. It carries the library in itself.")

# Every package has its copyright file and its changelog, where Debian
# looks for them. They are left out of a plain cmake --install.
foreach(component IN LISTS CPACK_COMPONENTS_ALL)
  string(TOUPPER ${component} upper)
  set(doc_dir ${CMAKE_INSTALL_DATAROOTDIR}/doc/${CPACK_DEBIAN_${upper}_PACKAGE_NAME})
  install(FILES ${CMAKE_CURRENT_LIST_DIR}/copyright DESTINATION ${doc_dir}
          COMPONENT ${component} EXCLUDE_FROM_ALL)
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz DESTINATION ${doc_dir}
          COMPONENT ${component} EXCLUDE_FROM_ALL)
endforeach()
find_program(TAVRIN_GZIP gzip)
execute_process(COMMAND ${TAVRIN_GZIP} -9nc ${CMAKE_CURRENT_LIST_DIR}/changelog
  OUTPUT_FILE ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz RESULT_VARIABLE rc)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/changelog)

include(CPack)
