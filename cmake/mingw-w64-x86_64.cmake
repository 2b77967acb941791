# The same program built for 64-bit Windows. It is not shipped: it carries the
# Windows tests on machines whose kernel cannot run 32-bit programs, where
# Wine runs 64-bit ones only (its 64-bit loader, Debian's path).
set(FWUP_MINGW_TARGET x86_64-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_CROSSCOMPILING_EMULATOR /usr/lib/wine/wine64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
