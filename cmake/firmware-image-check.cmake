# Every build that carries the image refuses one that would flash nothing or
# leave bytes unsent, before any program that embeds it is linked: fwimage of
# this build checks it, and a cross build, whose fwimage would not run here,
# builds a copy for the build machine with its own compiler.
if(CMAKE_CROSSCOMPILING)
  find_program(FWUP_HOST_CXX NAMES c++ g++ REQUIRED)
  set(fwup_fwimage ${CMAKE_BINARY_DIR}/host-tools/fwimage)
  set(fwup_fwimage_sources
    ${PROJECT_SOURCE_DIR}/tools/fwimage.cpp
    ${PROJECT_SOURCE_DIR}/src/image/firmware_image.cpp
    ${PROJECT_SOURCE_DIR}/src/image/image_description.cpp
    ${PROJECT_SOURCE_DIR}/src/image/image_file.cpp
    ${PROJECT_SOURCE_DIR}/src/image/stand_in_image.cpp
    ${PROJECT_SOURCE_DIR}/src/download/download_protocol.cpp
    ${PROJECT_SOURCE_DIR}/src/download/vendor_usb_device.cpp
    ${PROJECT_SOURCE_DIR}/src/platform/simulation/simulated_device.cpp
    ${PROJECT_SOURCE_DIR}/src/platform/simulation/simulated_storage.cpp)
  file(GLOB fwup_fwimage_headers CONFIGURE_DEPENDS
    ${PROJECT_SOURCE_DIR}/src/core/*.h ${PROJECT_SOURCE_DIR}/src/image/*.h
    ${PROJECT_SOURCE_DIR}/src/download/*.h ${PROJECT_SOURCE_DIR}/src/platform/*.h
    ${PROJECT_SOURCE_DIR}/src/platform/simulation/*.h)
  add_custom_command(
    OUTPUT ${fwup_fwimage}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/host-tools
    COMMAND ${FWUP_HOST_CXX} -std=c++20 -O1 -Wall -Wextra -Werror -pthread
            -I${PROJECT_SOURCE_DIR}/src ${fwup_fwimage_sources} -o ${fwup_fwimage}
    DEPENDS ${fwup_fwimage_sources} ${fwup_fwimage_headers}
    COMMENT "Building fwimage for the build machine"
    VERBATIM)
  set(fwup_fwimage_depends ${fwup_fwimage})
else()
  set(fwup_fwimage $<TARGET_FILE:fwimage>)
  set(fwup_fwimage_depends fwimage)
endif()

add_custom_command(
  OUTPUT ${CMAKE_BINARY_DIR}/firmware-image.checked
  COMMAND ${fwup_fwimage} check ${FIRMWARE_IMAGE}
  COMMAND ${CMAKE_COMMAND} -E touch ${CMAKE_BINARY_DIR}/firmware-image.checked
  DEPENDS ${fwup_fwimage_depends} ${FIRMWARE_IMAGE}
  COMMENT "Checking the firmware image ${FIRMWARE_IMAGE}"
  VERBATIM)
add_custom_target(check-firmware-image ALL DEPENDS ${CMAKE_BINARY_DIR}/firmware-image.checked)

# fwup_image_checked_before(TARGET...): none of them links before the check passed.
function(fwup_image_checked_before)
  foreach(target ${ARGN})
    add_dependencies(${target} check-firmware-image)
  endforeach()
endfunction()
