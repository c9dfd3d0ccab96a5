# Run by CPack after it has made the packages (CPACK_POST_BUILD_SCRIPTS):
# in each package that holds a shared library, replaces the postinst and
# postrm scripts that CPack writes to call ldconfig with the trigger that
# Debian uses for the same, "activate-noawait ldconfig". The package is
# unpacked and built again with dpkg-deb; its files do not change.
foreach(deb IN LISTS CPACK_PACKAGE_FILES)
  set(tree ${deb}.tree)
  file(REMOVE_RECURSE ${tree})
  execute_process(COMMAND dpkg-deb --raw-extract ${deb} ${tree} RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "dpkg-deb could not unpack ${deb}")
  endif()
  if(EXISTS ${tree}/DEBIAN/shlibs)
    foreach(script postinst postrm)
      file(READ ${tree}/DEBIAN/${script} text)
      string(REGEX REPLACE "#[^\n]*\n|set -e\n|if \\[ \"\\$1\" = \"[a-z]+\" \\]; then\n[\t ]*ldconfig\nfi\n|[ \t\n]" "" rest "${text}")
      if(NOT rest STREQUAL "")
        message(FATAL_ERROR "${deb}: ${script} does more than call ldconfig:\n${text}")
      endif()
      file(REMOVE ${tree}/DEBIAN/${script})
    endforeach()
    file(WRITE ${tree}/DEBIAN/triggers "activate-noawait ldconfig\n")
    file(CHMOD ${tree}/DEBIAN/triggers FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
    execute_process(COMMAND dpkg-deb --root-owner-group --build ${tree} ${deb}
      RESULT_VARIABLE rc OUTPUT_QUIET)
    if(NOT rc EQUAL 0)
      message(FATAL_ERROR "dpkg-deb could not build ${deb} again")
    endif()
  endif()
  file(REMOVE_RECURSE ${tree})
endforeach()
