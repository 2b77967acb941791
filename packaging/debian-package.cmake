# The Debian package of firmware-updater: `cpack -G DEB` in the build
# directory (or `cpack --preset linux`). It holds what the install target
# installs: the program, the udev rule, the man page and the bash completion,
# with the copyright file and the changelog that Debian asks of every
# package. Its postinst applies the udev rule to devices already plugged in,
# its postrm lets udev forget it. tools/check-package.sh runs lintian on it.

# Who answers for the package: its Maintainer field, the changelog's
# signature and the copyright file's contact all say this.
set(FWUP_PACKAGE_MAINTAINER "firmware-updater maintainers <firmware-updater@example.org>"
    CACHE STRING "The Maintainer field of the Debian package, as Name <address>")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME firmware-updater)
set(CPACK_PACKAGE_CONTACT "${FWUP_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "replace the firmware of USB storage devices, one or many at a time")
set(CPACK_PACKAGE_DESCRIPTION
    "firmware-updater erases the firmware of a USB storage device through vendor
SCSI commands, waits for it to come back in vendor mode, and downloads the
new image over libusb: one device or a hub full of them, with a summary in
text or JSON. Comes with a udev rule that lets the user at the machine's seat
and the group plugdev update without root.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SUGGESTS bash-completion)
# The libraries the program links, as dpkg-shlibdeps finds them; by hand
# where it is missing.
find_program(DPKG_SHLIBDEPS dpkg-shlibdeps)
if(DPKG_SHLIBDEPS)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
else()
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6, libgcc-s1, libstdc++6, libusb-1.0-0 (>= 2:1.0.16)")
endif()
# The postinst names the device's ids, as the udev rule does.
foreach(fwup_script postinst postrm)
  set(fwup_script_source ${CMAKE_CURRENT_LIST_DIR}/${fwup_script})
  if(EXISTS ${fwup_script_source}.in)
    set(fwup_script_source ${fwup_script_source}.in)
  endif()
  configure_file(${fwup_script_source} ${CMAKE_CURRENT_BINARY_DIR}/${fwup_script} @ONLY
                 FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                                  WORLD_READ WORLD_EXECUTE)
  list(APPEND CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${CMAKE_CURRENT_BINARY_DIR}/${fwup_script})
endforeach()
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

# /usr/share/doc/firmware-updater: the copyright file, and the changelog
# compressed as for a native package. The changelog's latest entry is the
# project's version.
set(fwup_doc_dir ${CMAKE_INSTALL_DATADIR}/doc/${CPACK_PACKAGE_NAME})
file(STRINGS ${CMAKE_CURRENT_LIST_DIR}/changelog.in fwup_changelog_head LIMIT_COUNT 1)
if(NOT fwup_changelog_head MATCHES "^firmware-updater \\(${PROJECT_VERSION}\\) ")
  message(FATAL_ERROR "packaging/changelog.in has no entry for version ${PROJECT_VERSION} "
                      "at its top: ${fwup_changelog_head}")
endif()
configure_file(${CMAKE_CURRENT_LIST_DIR}/copyright.in ${CMAKE_CURRENT_BINARY_DIR}/copyright @ONLY)
configure_file(${CMAKE_CURRENT_LIST_DIR}/changelog.in ${CMAKE_CURRENT_BINARY_DIR}/changelog @ONLY)
find_program(GZIP gzip REQUIRED)
add_custom_command(
  OUTPUT changelog.gz
  COMMAND ${GZIP} -9nkf changelog
  DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/changelog
  WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}
  VERBATIM)
add_custom_target(firmware-updater-changelog ALL DEPENDS changelog.gz)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/copyright ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz
        DESTINATION ${fwup_doc_dir})

include(CPack)
