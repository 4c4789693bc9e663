# Run by CPack after it has staged the package's files: adds /usr/share/doc/vesk/copyright and the
# changelog that every Debian package carries.
file(GLOB_RECURSE staged_programs LIST_DIRECTORIES false "${CPACK_TEMPORARY_DIRECTORY}/*/bin/vesk")
if(NOT staged_programs)
    message(FATAL_ERROR "No staged bin/vesk below ${CPACK_TEMPORARY_DIRECTORY}")
endif()
list(GET staged_programs 0 program)
get_filename_component(prefix "${program}" DIRECTORY)
get_filename_component(prefix "${prefix}" DIRECTORY)
set(doc "${prefix}/share/doc/${CPACK_PACKAGE_NAME}")
file(MAKE_DIRECTORY "${doc}")

file(READ "${CPACK_VESK_LICENSE_FILE}" license)
set(source "")
if(CPACK_VESK_HOMEPAGE)
    set(source "Source: ${CPACK_VESK_HOMEPAGE}\n")
endif()
# The machine-readable form, with the licence text indented and its blank lines as " .".
string(REGEX REPLACE "\n+$" "" license "${license}")
string(REPLACE "\n\n" "\n.\n" license "${license}")
string(REPLACE "\n" "\n " license "${license}")
string(REGEX MATCH "Copyright \\(c\\) ([^\n]*)" copyright "${license}")
file(WRITE "${doc}/copyright"
    "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/\n"
    "Upstream-Name: Vesk\n${source}\n"
    "Files: *\nCopyright: ${CMAKE_MATCH_1}\nLicense: ${CPACK_VESK_LICENSE}\n ${license}\n")

string(TIMESTAMP date "%a, %d %b %Y %H:%M:%S +0000" UTC)
file(WRITE "${doc}/changelog"
    "${CPACK_PACKAGE_NAME} (${CPACK_PACKAGE_VERSION}) unstable; urgency=medium\n\n"
    "  * Vesk ${CPACK_PACKAGE_VERSION}.\n\n"
    " -- ${CPACK_PACKAGE_CONTACT}  ${date}\n")
execute_process(COMMAND gzip -9nf "${doc}/changelog" RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "Could not compress ${doc}/changelog")
endif()
