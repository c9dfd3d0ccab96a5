# Makes the manual page OUTPUT (tavrin.1.gz) from the built tool's own
# --help and --version with help2man, so that it always says what the tool
# says:
#   cmake -DHELP2MAN=... -DGZIP=... -DTOOL=... -DINCLUDE=tavrin.h2m
#         -DOUTPUT=.../tavrin.1.gz -P ManPage.cmake
# help2man makes a section of each paragraph of --help headed "Options:",
# "Environment:" or "Examples:", and a subsection of the section before of
# any other heading. The headings of kPromoted are sections of a manual page
# in their own right: each is made one, where it stands, and a page that
# lacks one is an error, so that the page never silently loses a section.
# INCLUDE adds what --help does not say (SEE ALSO).
set(kPromoted "Exit status")

string(REGEX REPLACE "\\.gz$" "" page "${OUTPUT}")
execute_process(
  COMMAND ${HELP2MAN} --no-info --section=1 --include=${INCLUDE}
          "--name=screen text against a built-in list of banned words"
          --output=${page} ${TOOL}
  RESULT_VARIABLE rc ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "help2man failed:\n${err}")
endif()
file(READ ${page} text)
foreach(heading IN LISTS kPromoted)
  set(subsection ".SS \"${heading}:\"\n")
  string(FIND "${text}" "${subsection}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "tavrin --help has no paragraph headed \"${heading}:\"")
  endif()
  string(TOUPPER "${heading}" section)
  string(REPLACE "${subsection}" ".SH \"${section}\"\n" text "${text}")
endforeach()
file(WRITE ${page} "${text}")
execute_process(COMMAND ${GZIP} -9nf ${page} RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "gzip ${page} failed")
endif()
