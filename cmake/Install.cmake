# Installs the header, the shared library, a CMake package that gives
# find_package(Tavrin) the imported target Tavrin::tavrin, and tavrin.pc.
include(CMakePackageConfigHelpers)

set(TAVRIN_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/Tavrin)

install(TARGETS tavrin EXPORT TavrinTargets
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} NAMELINK_COMPONENT Development
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  PUBLIC_HEADER DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})

install(EXPORT TavrinTargets
  NAMESPACE Tavrin::
  DESTINATION ${TAVRIN_CMAKE_DIR})

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
  DESTINATION ${TAVRIN_CMAKE_DIR})

if(NOT WIN32)
  # Relocatable: the prefix is found from where the .pc file lies.
  file(RELATIVE_PATH TAVRIN_PC_TO_PREFIX
       /prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig /prefix)
  configure_file(${CMAKE_CURRENT_LIST_DIR}/tavrin.pc.in
                 ${CMAKE_CURRENT_BINARY_DIR}/tavrin.pc @ONLY)
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/tavrin.pc
          DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
endif()

if(TARGET tavrin_tool)
  install(TARGETS tavrin_tool RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()
