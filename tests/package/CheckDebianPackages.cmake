# Installs the three Debian packages of PACKAGE_DIR as a user would get them,
# without touching this machine: apt-get, in simulation, must find every
# dependency they declare; dpkg-deb unpacks them into a scratch root. Then
# hosts are built through the root's tavrin.pc and run against its library,
# the root's tool screens a line, and man renders its manual page.
#   cmake -DPACKAGE_DIR=build/package -DWORK_DIR=dir -DSOURCE_DIR=. -DCXX=c++
#         -DVERSION=1.0.0.143 -P CheckDebianPackages.cmake
cmake_minimum_required(VERSION 3.20)
include(${SOURCE_DIR}/tests/install/InstalledHosts.cmake)
set(root ${WORK_DIR}/root)
file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${root})

set(debs "")
foreach(package libtavrin1 libtavrin-dev tavrin)
  file(GLOB found ${PACKAGE_DIR}/${package}_${VERSION}_*.deb)
  list(LENGTH found count)
  if(NOT count EQUAL 1)
    message(FATAL_ERROR "expected one ${package}_${VERSION}_*.deb in ${PACKAGE_DIR} (make package), found: ${found}")
  endif()
  list(APPEND debs ${found})
endforeach()

# What dpkg -i would need on this Debian machine: every dependency there.
run(apt-get --simulate --no-install-recommends install ${debs})
foreach(deb IN LISTS debs)
  run(dpkg-deb --extract ${deb} ${root})
endforeach()

file(GLOB pc_dirs ${root}/usr/lib/*/pkgconfig)
# As installed, tavrin.pc names /usr/include, which pkg-config drops as a
# system directory; the unpacked root is read as a sysroot.
set(ENV{PKG_CONFIG_PATH} "${pc_dirs}")
execute_process(COMMAND pkg-config --cflags tavrin OUTPUT_VARIABLE cflags
  OUTPUT_STRIP_TRAILING_WHITESPACE)
if(NOT cflags STREQUAL "")
  message(FATAL_ERROR "pkg-config --cflags tavrin gives '${cflags}', not nothing for /usr/include")
endif()
build_pkgconfig_hosts("${pc_dirs}" ${WORK_DIR} ${root})
file(REAL_PATH ${installed_library} library)
if(NOT library MATCHES "^${root}/usr/lib/[^/]+/libtavrin\\.so\\.1\\.")
  message(FATAL_ERROR "pkg-config gives the library as ${installed_library}")
endif()

# The tool carries the library; a banned line makes it exit with 1.
execute_process(COMMAND env -u LD_LIBRARY_PATH ${root}/usr/bin/tavrin check -e gbk --text x.Cn
  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT rc EQUAL 1 OR NOT out MATCHES "banned")
  message(FATAL_ERROR "the installed tool answered ${rc}:\n${out}${err}")
endif()

# The manual page: man renders it without a warning, from the tool's own
# help (its version line and usage).
execute_process(COMMAND ${root}/usr/bin/tavrin --version OUTPUT_VARIABLE version_line
  OUTPUT_STRIP_TRAILING_WHITESPACE)
set(ENV{MANWIDTH} 80)
execute_process(COMMAND man --warnings -l ${root}/usr/share/man/man1/tavrin.1.gz
  RESULT_VARIABLE rc OUTPUT_VARIABLE page ERROR_VARIABLE warnings)
if(NOT rc EQUAL 0 OR NOT warnings STREQUAL "")
  message(FATAL_ERROR "man -l tavrin.1.gz failed (${rc}):\n${warnings}")
endif()
# Its sections, made of the headings of --help (tools/ManPage.cmake).
execute_process(COMMAND gzip -dc ${root}/usr/share/man/man1/tavrin.1.gz OUTPUT_VARIABLE source)
foreach(section NAME SYNOPSIS DESCRIPTION OPTIONS "\"EXIT STATUS\"" ENVIRONMENT EXAMPLES
        "\"SEE ALSO\"")
  string(FIND "${source}" "\n.SH ${section}\n" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "the manual page has no section .SH ${section}:\n${source}")
  endif()
endforeach()
string(REGEX REPLACE "[ \t\n]+" " " page "${page}")
foreach(expected "${version_line}" "SYNOPSIS tavrin COMMAND")
  string(FIND "${page}" "${expected}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "the manual page lacks \"${expected}\":\n${page}")
  endif()
endforeach()
message(STATUS "installed and used: ${debs}")
