# cmake -DBUILD_DIR=<build> -DWORK_DIR=<scratch> -DVERSION=<version> -P PackageCheck.cmake: builds the
# Debian package from the build's install rules, unpacks it into a scratch root and checks its
# metadata, its files, its stripped program with the debug symbols beside it, and lintian's verdict.
file(REMOVE_RECURSE "${WORK_DIR}")
file(MAKE_DIRECTORY "${WORK_DIR}")

function(run)
    cmake_parse_arguments(R "" "OUTPUT" "" ${ARGN})
    execute_process(COMMAND ${R_UNPARSED_ARGUMENTS} WORKING_DIRECTORY "${WORK_DIR}" RESULT_VARIABLE status
                    OUTPUT_VARIABLE out ERROR_VARIABLE err)
    if(NOT status EQUAL 0)
        message(FATAL_ERROR "${R_UNPARSED_ARGUMENTS} failed (${status}):\n${out}\n${err}")
    endif()
    if(R_OUTPUT)
        set(${R_OUTPUT} "${out}" PARENT_SCOPE)
    endif()
endfunction()
function(expect text pattern what)
    if(NOT text MATCHES "${pattern}")
        message(FATAL_ERROR "${what}: no match for '${pattern}' in:\n${text}")
    endif()
endfunction()

run(cpack -G DEB --config "${BUILD_DIR}/CPackConfig.cmake" -B "${WORK_DIR}")
run(dpkg --print-architecture OUTPUT arch)
string(STRIP "${arch}" arch)
set(deb "${WORK_DIR}/vesk_${VERSION}_${arch}.deb")
set(ddeb "${WORK_DIR}/vesk-dbgsym_${VERSION}_${arch}.ddeb")
foreach(package "${deb}" "${ddeb}")
    if(NOT EXISTS "${package}")
        file(GLOB made "${WORK_DIR}/*deb")
        message(FATAL_ERROR "No ${package}; made: ${made}")
    endif()
endforeach()

run(dpkg-deb --info "${deb}" OUTPUT info)
foreach(field "Package: vesk" "Version: ${VERSION}" "Architecture: ${arch}" "Section: utils"
              "Maintainer: [^<\n]+<[^>\n]+>" "Description: [^\n]+\n [^\n]+"
              # From dpkg-shlibdeps: the C library and Qt's widgets, with their versions.
              "Depends: [^\n]*libc6 \\(>= [^)]+\\)" "Depends: [^\n]*libqt6widgets6[^,\n]* \\(>= [^)]+\\)")
    expect("${info}" "\n ?${field}" "dpkg-deb --info")
endforeach()

run(dpkg-deb --contents "${deb}" OUTPUT contents)
set(files usr/bin/vesk usr/libexec/vesk/vesk-app usr/libexec/vesk/vesk-cli usr/share/applications/vesk.desktop usr/share/mime/packages/vesk.xml
          usr/share/icons/hicolor/scalable/apps/vesk.svg usr/share/icons/hicolor/48x48/apps/vesk.png
          usr/share/doc/vesk/copyright usr/share/doc/vesk/changelog.gz usr/share/man/man1/vesk.1.gz
          usr/share/bash-completion/completions/vesk)
foreach(file ${files})
    expect("${contents}" " root/root [^\n]* \\./${file}\n" "dpkg-deb --contents")
endforeach()

# Unpacked, the command runs and says the package's version, and finds the application it starts:
# without a display, that one says it needs a graphical session. Neither program carries debug
# information of its own, and the debug package holds each under its build ID.
set(root "${WORK_DIR}/root")
run(dpkg -x "${deb}" "${root}")
run(dpkg -x "${ddeb}" "${root}")
run("${root}/usr/bin/vesk" --version OUTPUT said)
expect("${said}" "^vesk ${VERSION}\n$" "vesk --version")
execute_process(COMMAND ${CMAKE_COMMAND} -E env --unset=DISPLAY --unset=WAYLAND_DISPLAY --unset=QT_QPA_PLATFORM
                        "${root}/usr/bin/vesk" --background
                RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT status EQUAL 1 OR NOT err MATCHES "^vesk: Vesk needs a graphical session")
    message(FATAL_ERROR "vesk --background without a display did not reach the application (${status}):\n${out}${err}")
endif()
foreach(program usr/bin/vesk usr/libexec/vesk/vesk-app usr/libexec/vesk/vesk-cli)
    run(readelf --sections --notes "${root}/${program}" OUTPUT elf)
    if(elf MATCHES "\\.debug_info|\\.symtab")
        message(FATAL_ERROR "The packaged ${program} is not stripped:\n${elf}")
    endif()
    if(NOT elf MATCHES "Build ID: ([0-9a-f][0-9a-f])([0-9a-f]+)")
        message(FATAL_ERROR "The packaged ${program} has no build ID:\n${elf}")
    endif()
    set(symbols "${root}/usr/lib/debug/.build-id/${CMAKE_MATCH_1}/${CMAKE_MATCH_2}.debug")
    run(readelf --sections "${symbols}" OUTPUT debug)
    expect("${debug}" "\\.debug_info" "${symbols}")
endforeach()
# The command loads the C library alone, so that a window launch loads Qt once, in the application.
run(readelf --dynamic "${root}/usr/bin/vesk" OUTPUT linked)
string(REGEX MATCHALL "Shared library: \\[[^]]+\\]" needed "${linked}")
if(NOT needed STREQUAL "Shared library: [libc.so.6]")
    message(FATAL_ERROR "The packaged vesk needs more than the C library: ${needed}")
endif()
run(desktop-file-validate "${root}/usr/share/applications/vesk.desktop" OUTPUT validated)

# Debian's own checks: errors fail, warnings are shown.
run(lintian --fail-on error --no-tag-display-limit "${deb}" "${ddeb}" OUTPUT verdict)
message(STATUS "lintian:\n${verdict}")
file(REMOVE_RECURSE "${WORK_DIR}")
