# The Debian package of firmware-updater: `cpack -G DEB` in the build
# directory (or `cpack --preset linux`). It holds what the install target
# installs: the program, the udev rule, the man page and the bash completion;
# its postinst applies the udev rule to devices already plugged in.

set(FWUP_PACKAGE_MAINTAINER "firmware-updater maintainers <root@localhost>" CACHE STRING
    "The Maintainer field of the Debian package")

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
configure_file(${CMAKE_CURRENT_LIST_DIR}/postinst.in ${CMAKE_CURRENT_BINARY_DIR}/postinst @ONLY
               FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                                WORLD_READ WORLD_EXECUTE)
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${CMAKE_CURRENT_BINARY_DIR}/postinst)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

include(CPack)
