# The Windows program as it ships: a load configuration that keeps DLLs to the
# system folder, the same bytes from the same sources, and a signing step.
# Included by src/app/dialog/CMakeLists.txt in the cross build.

# The step after linking runs on the build machine, built with its compiler.
find_program(FWUP_HOST_CXX NAMES c++ g++ REQUIRED)
set(FWUP_FILL_LOAD_CONFIG ${CMAKE_BINARY_DIR}/host-tools/fill-load-config)
set(fwup_fill_load_config_sources
  ${PROJECT_SOURCE_DIR}/tools/fill_load_config.cpp
  ${PROJECT_SOURCE_DIR}/tools/pe_load_config.cpp
  ${PROJECT_SOURCE_DIR}/src/image/image_file.cpp)
add_custom_command(
  OUTPUT ${FWUP_FILL_LOAD_CONFIG}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/host-tools
  COMMAND ${FWUP_HOST_CXX} -std=c++20 -O2 -Wall -Wextra -Werror
          -I${PROJECT_SOURCE_DIR}/src -I${PROJECT_SOURCE_DIR}/tools
          ${fwup_fill_load_config_sources} -o ${FWUP_FILL_LOAD_CONFIG}
  DEPENDS ${fwup_fill_load_config_sources}
          ${PROJECT_SOURCE_DIR}/tools/pe_load_config.h
          ${PROJECT_SOURCE_DIR}/src/image/image_file.h
          ${PROJECT_SOURCE_DIR}/src/app/windows/load_configuration.h
  COMMENT "Building fill-load-config for the build machine"
  VERBATIM)
add_custom_target(fwup-fill-load-config DEPENDS ${FWUP_FILL_LOAD_CONFIG})

# Debian's mingw-w64 linker (2.40) keeps the `_load_config_used` record but
# leaves the header's load-configuration entry empty: fill-load-config fills
# it from the linker's map. The linker would drop the unreferenced record
# with --gc-sections unless told to keep it (its 32-bit name has the extra
# leading underscore). No time stamp in the header: the same sources give
# the same bytes.
function(fwup_release_program target)
  if(CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64")
    set(record _load_config_used)
  else()
    set(record __load_config_used)
  endif()
  set(map ${CMAKE_CURRENT_BINARY_DIR}/${target}.map)
  target_link_options(${target} PRIVATE
    -Wl,--no-insert-timestamp -Wl,--undefined=${record} -Wl,-Map=${map})
  add_dependencies(${target} fwup-fill-load-config)
  set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${FWUP_FILL_LOAD_CONFIG})
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${FWUP_FILL_LOAD_CONFIG} $<TARGET_FILE:${target}> ${map}
    VERBATIM)
endfunction()

# `cmake --build --preset windows --target sign`: Authenticode-signed copies
# of the programs in signed/, when FWUP_SIGN_PKCS12 and FWUP_SIGN_PASSWORD name
# a certificate; without them it says so and changes nothing.
function(fwup_signing_step)
  set(commands)
  foreach(target ${ARGN})
    list(APPEND commands COMMAND bash ${PROJECT_SOURCE_DIR}/tools/sign-program.sh
         $<TARGET_FILE:${target}> ${CMAKE_BINARY_DIR}/signed/$<TARGET_FILE_NAME:${target}>)
  endforeach()
  add_custom_target(sign ${commands} VERBATIM)
  add_dependencies(sign ${ARGN})
endfunction()
