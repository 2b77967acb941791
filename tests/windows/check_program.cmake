# The shipped program: a Windows GUI program for its processor that imports
# nothing but DLLs every Windows has.
# cmake -DOBJDUMP=... -DPROGRAM=... -DPROCESSOR=i686|x86_64 -P check_program.cmake
cmake_policy(VERSION 3.25)

execute_process(COMMAND ${OBJDUMP} -p ${PROGRAM} OUTPUT_VARIABLE dump RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "${OBJDUMP} cannot read ${PROGRAM}")
endif()

if(PROCESSOR STREQUAL "x86_64")
  set(format "pei-x86-64")
else()
  set(format "pei-i386")
endif()
if(NOT dump MATCHES "file format ${format}")
  message(FATAL_ERROR "${PROGRAM} is not ${format}")
endif()
if(NOT dump MATCHES "Subsystem[ \t]+0*2[ \t]")
  message(FATAL_ERROR "${PROGRAM} is not a GUI program")
endif()

set(system_dlls KERNEL32.DLL USER32.DLL GDI32.DLL COMCTL32.DLL OLE32.DLL SETUPAPI.DLL
    MSVCRT.DLL ADVAPI32.DLL)
string(REGEX MATCHALL "DLL Name: [^\n]+" imports "${dump}")
if(NOT imports)
  message(FATAL_ERROR "no imports found in ${PROGRAM}")
endif()
foreach(import IN LISTS imports)
  string(REPLACE "DLL Name: " "" dll "${import}")
  string(STRIP "${dll}" dll)
  string(TOUPPER "${dll}" dll)
  if(NOT dll IN_LIST system_dlls)
    message(FATAL_ERROR "${PROGRAM} imports ${dll}, which Windows does not ship")
  endif()
  message(STATUS "imports ${dll}")
endforeach()
