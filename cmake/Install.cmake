# Installs the header, the shared library, a CMake package that gives
# find_package(Tavrin) the imported target Tavrin::tavrin, and tavrin.pc,
# and the tool with its manual page. Each file belongs to one of three
# components, which make package turns into the three Debian packages:
#   Runtime      libtavrin.so.1 and its real file         (libtavrin1)
#   Development  headers, libtavrin.so, CMake and pkg-config files (libtavrin-dev)
#   Tool         the tavrin tool and its manual page      (tavrin)
include(CMakePackageConfigHelpers)

set(TAVRIN_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/Tavrin)

install(TARGETS tavrin EXPORT TavrinTargets
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT Runtime
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT Runtime
          NAMELINK_COMPONENT Development
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT Development
  PUBLIC_HEADER DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT Development)

install(EXPORT TavrinTargets
  NAMESPACE Tavrin::
  DESTINATION ${TAVRIN_CMAKE_DIR}
  COMPONENT Development)

configure_package_config_file(
  ${CMAKE_CURRENT_LIST_DIR}/TavrinConfig.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/TavrinConfig.cmake
  INSTALL_DESTINATION ${TAVRIN_CMAKE_DIR})
write_basic_package_version_file(
  ${CMAKE_CURRENT_BINARY_DIR}/TavrinConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES
  ${CMAKE_CURRENT_BINARY_DIR}/TavrinConfig.cmake
  ${CMAKE_CURRENT_BINARY_DIR}/TavrinConfigVersion.cmake
  DESTINATION ${TAVRIN_CMAKE_DIR}
  COMPONENT Development)

if(NOT WIN32)
  # tavrin.pc names its prefix as a plain path, so that pkg-config drops
  # -I/usr/include as a system directory. It is written when installing,
  # with the prefix `cmake --install --prefix` (or CPack) gives; a package
  # unpacked into another root is read with PKG_CONFIG_SYSROOT_DIR.
  set(TAVRIN_PC_PREFIX @TAVRIN_PC_PREFIX@)  # kept for the install step
  configure_file(${CMAKE_CURRENT_LIST_DIR}/tavrin.pc.in
                 ${CMAKE_CURRENT_BINARY_DIR}/tavrin.pc.in @ONLY)
  install(CODE "
    set(TAVRIN_PC_PREFIX \"\${CMAKE_INSTALL_PREFIX}\")
    configure_file(${CMAKE_CURRENT_BINARY_DIR}/tavrin.pc.in
                   ${CMAKE_CURRENT_BINARY_DIR}/tavrin.pc @ONLY)"
    COMPONENT Development)
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/tavrin.pc
          DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig
          COMPONENT Development)
endif()

if(TARGET tavrin_tool)
  install(TARGETS tavrin_tool RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT Tool)
endif()
if(TAVRIN_MAN_PAGE)
  install(FILES ${TAVRIN_MAN_PAGE} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT Tool)
endif()
