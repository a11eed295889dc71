# Install rules and the Debian package. The program goes into the suite's
# Eseguibili folder (it derives the suite's other folders from its own
# place); the desktop files go under the install prefix's share folder and a
# `tarnwick` command into its bin folder.

set(TARNWICK_SUITE_DIR "/opt/velmora" CACHE STRING
  "Root folder of the suite the installed program serves; the program goes into its Eseguibili folder (a relative path lies under the install prefix)")
set(TARNWICK_PACKAGE_MAINTAINER "Velmora s.r.l. <assistenza@velmora.it>" CACHE STRING
  "Maintainer field of the Debian package")

# Install scripts, the bus and desktop entries would each need these escaped.
if(TARNWICK_SUITE_DIR MATCHES "[\"\\$`;\n]" OR TARNWICK_SUITE_DIR STREQUAL "")
  message(FATAL_ERROR "TARNWICK_SUITE_DIR must be a folder without \", \\, $, `, ; or line breaks")
endif()

install(TARGETS Tarnwick RUNTIME DESTINATION "${TARNWICK_SUITE_DIR}/Eseguibili")

configure_file(${PROJECT_SOURCE_DIR}/packaging/install_desktop_files.cmake.in
  ${PROJECT_BINARY_DIR}/install_desktop_files.cmake @ONLY)
install(SCRIPT ${PROJECT_BINARY_DIR}/install_desktop_files.cmake)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tarnwick)
set(CPACK_PACKAGE_VENDOR "Velmora s.r.l.")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "update engine of the Velmora suite's installed programs")
set(CPACK_PACKAGE_DESCRIPTION
  "Tarnwick keeps the modules of the Velmora suite (executables, components,
data files, fonts) up to date from an HTTP update repository, replacing each
file safely. The suite's launcher starts it interactively or unseen, and the
suite's programs reach it on the D-Bus session bus as it.velmora.Tarnwick.
The program lies in the suite's Eseguibili folder; the command tarnwick
starts it.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${TARNWICK_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION admin)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The automation server is started by the session bus.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "default-dbus-session-bus | dbus-session-bus")
include(CPack)
