# What both Windows toolchains share. The -posix compilers have the C++
# thread support; -static leaves no compiler DLL to ship.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${FWUP_MINGW_TARGET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${FWUP_MINGW_TARGET}-g++-posix)
set(CMAKE_RC_COMPILER ${FWUP_MINGW_TARGET}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${FWUP_MINGW_TARGET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(CMAKE_EXE_LINKER_FLAGS_INIT -static)
# No build folder in what the compiler writes: the same sources give the
# same bytes wherever they are built.
get_filename_component(FWUP_SOURCE_ROOT ${CMAKE_CURRENT_LIST_DIR} DIRECTORY)
set(CMAKE_C_FLAGS_INIT "-ffile-prefix-map=${FWUP_SOURCE_ROOT}=.")
set(CMAKE_CXX_FLAGS_INIT "-ffile-prefix-map=${FWUP_SOURCE_ROOT}=.")
