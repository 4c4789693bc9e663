# The Debian package, made by CPack from the install rules: `scripts/package`, or `cpack -G DEB` in
# a build folder. The binary is stripped into the package and its debug symbols go to a separate
# -dbgsym package; the dependencies are those dpkg-shlibdeps finds for the binary.
set(VESK_PACKAGE_MAINTAINER "The Vesk developers <vesk@example.org>"
    CACHE STRING "Maintainer of the Debian package, as 'Name <address>'")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vesk)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The Vesk developers")
set(CPACK_PACKAGE_CONTACT "${VESK_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "small, fast, keyboard-driven to-do list")
# Debian shows the description's lines as they stand: under 80 characters each.
set(CPACK_PACKAGE_DESCRIPTION
    "Vesk keeps each to-do list in a plain-text file that stays readable and
editable in any text editor, shows it in a panel with three sections (Next,
Pending and Complete), works it from the keyboard and writes the file back
after every change. A global shortcut shows and hides the panels from
anywhere on the desktop.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_DEBUGINFO_PACKAGE ON)
# Owned by root in the archive, whoever builds it.
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
if(VESK_HOMEPAGE)
    set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${VESK_HOMEPAGE}")
endif()

# Debian wants a copyright file and a changelog in /usr/share/doc/vesk; they are written into the
# package's staging folder, since a plain `cmake --install` has no use for them.
set(CPACK_PRE_BUILD_SCRIPTS "${PROJECT_SOURCE_DIR}/cmake/VeskPackageDocs.cmake")
set(CPACK_POST_BUILD_SCRIPTS "${PROJECT_SOURCE_DIR}/cmake/VeskPackageDbgsym.cmake")
# Seen by the script above through the generated CPack configuration.
set(CPACK_VESK_LICENSE_FILE "${PROJECT_SOURCE_DIR}/LICENSE")
set(CPACK_VESK_LICENSE "${VESK_LICENSE}")
set(CPACK_VESK_HOMEPAGE "${VESK_HOMEPAGE}")

include(CPack)
