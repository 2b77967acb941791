# CLI11 and nlohmann-json for a cross build: header-only, so the build
# machine's copies (Debian's libcli11-dev and nlohmann-json3-dev) serve. Only
# their own folders are copied into the build: the build machine's
# /usr/include, with its C library, must never reach the cross compiler.
foreach(fwup_header CLI/CLI.hpp nlohmann/json.hpp)
  string(MAKE_C_IDENTIFIER ${fwup_header} fwup_variable)
  find_path(FWUP_HOST_${fwup_variable} ${fwup_header} PATHS /usr/include
            NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
  if(NOT FWUP_HOST_${fwup_variable})
    message(FATAL_ERROR "${fwup_header} is not installed on the build machine: "
                        "apt-get install libcli11-dev nlohmann-json3-dev")
  endif()
  get_filename_component(fwup_folder ${fwup_header} DIRECTORY)
  file(COPY ${FWUP_HOST_${fwup_variable}}/${fwup_folder}
       DESTINATION ${CMAKE_BINARY_DIR}/host-headers)
endforeach()
add_library(CLI11::CLI11 INTERFACE IMPORTED GLOBAL)
add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED GLOBAL)
foreach(fwup_target CLI11::CLI11 nlohmann_json::nlohmann_json)
  set_target_properties(${fwup_target} PROPERTIES
    INTERFACE_SYSTEM_INCLUDE_DIRECTORIES ${CMAKE_BINARY_DIR}/host-headers
    INTERFACE_INCLUDE_DIRECTORIES ${CMAKE_BINARY_DIR}/host-headers)
endforeach()
