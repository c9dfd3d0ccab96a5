# Unpacks PACKAGE_DIR/tavrin-VERSION-windows.zip into WORK_DIR and makes its
# x64 folder ready for the 64-bit host programs of the cross build HOSTS_DIR
# (make windows): the LoadLibrary and version hosts are copied beside the
# zipped Tavrin.dll, and the MSVC-ABI host is linked again, by LLD_LINK from
# the object and kernel32.lib its build left in tests/windows/hosts/, against
# the zipped Tavrin.lib.
#   cmake -DPACKAGE_DIR=build/package -DVERSION=1.0.0.143 -DHOSTS_DIR=build/windows-x64
#         -DWORK_DIR=dir -DLLD_LINK=lld-link -P UnpackWindowsZip.cmake
cmake_minimum_required(VERSION 3.20)
set(zip ${PACKAGE_DIR}/tavrin-${VERSION}-windows.zip)
if(NOT EXISTS ${zip})
  message(FATAL_ERROR "${zip} is missing: make package makes it")
endif()
file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR})
execute_process(COMMAND ${CMAKE_COMMAND} -E tar xf ${zip}
  WORKING_DIRECTORY ${WORK_DIR} RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "could not unpack ${zip}")
endif()
foreach(file x64/Tavrin.dll x64/Tavrin.lib include/Tavrin.h README.txt)
  if(NOT EXISTS ${WORK_DIR}/${file})
    message(FATAL_ERROR "${zip} has no ${file}")
  endif()
endforeach()

file(COPY ${HOSTS_DIR}/tavrin_load_host.exe ${HOSTS_DIR}/tavrin_version_host.exe
     DESTINATION ${WORK_DIR}/x64)
set(objects ${HOSTS_DIR}/tests/windows/hosts)
execute_process(
  COMMAND ${LLD_LINK} /nologo /nodefaultlib /entry:HostEntry /subsystem:console
          /machine:x64 /out:${WORK_DIR}/x64/tavrin_msvc_host.exe
          ${objects}/MsvcAbiHost.obj ${WORK_DIR}/x64/Tavrin.lib ${objects}/kernel32.lib
  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "lld-link could not link the MSVC-ABI host against the zipped Tavrin.lib:\n${out}")
endif()
