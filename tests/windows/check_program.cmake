# A shipped program: a Windows GUI (or, SUBSYSTEM 3, console) program for its processor that imports
# nothing but DLLs every Windows has, with ASLR and DEP, no time stamp, and a
# load configuration that keeps the DLLs its imports pull in to the system
# folder. The load configuration is read by llvm-readobj, a reader of its own.
# cmake -DOBJDUMP=... -DREADOBJ=... -DPROGRAM=... -DPROCESSOR=i686|x86_64 [-DSUBSYSTEM=3]
#       -P check_program.cmake
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
if(NOT SUBSYSTEM)
  set(SUBSYSTEM 2)  # the Windows GUI
endif()
if(NOT dump MATCHES "Subsystem[ \t]+0*${SUBSYSTEM}[ \t]")
  message(FATAL_ERROR "${PROGRAM} is not a program of subsystem ${SUBSYSTEM}")
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

# DYNAMIC_BASE (0x40) and NX_COMPAT (0x100).
if(NOT dump MATCHES "DllCharacteristics[ \t]+([0-9a-fA-F]+)")
  message(FATAL_ERROR "${PROGRAM} has no DllCharacteristics")
endif()
set(dll_characteristics 0x${CMAKE_MATCH_1})
math(EXPR protections "${dll_characteristics} & 0x140")
if(NOT protections EQUAL 320)
  message(FATAL_ERROR "${PROGRAM} lacks ASLR or DEP: DllCharacteristics ${dll_characteristics}")
endif()

execute_process(COMMAND ${READOBJ} --file-headers --coff-load-config ${PROGRAM}
                OUTPUT_VARIABLE headers RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "${READOBJ} cannot read ${PROGRAM}")
endif()
# The first time stamp is the file header's.
string(REGEX MATCH "TimeDateStamp: [^\n]*" stamp "${headers}")
if(NOT stamp MATCHES "\\(0x0\\)$")
  message(FATAL_ERROR "${PROGRAM} has a time stamp: the same sources would not give the same bytes")
endif()
foreach(field LoadConfigTableRVA LoadConfigTableSize Size DependentLoadFlags GuardFlags)
  if(NOT headers MATCHES "\n *${field}: (0x[0-9A-F]+)\n")
    message(FATAL_ERROR "${PROGRAM}: no ${field} in its load configuration")
  endif()
  math(EXPR ${field} "${CMAKE_MATCH_1}")
endforeach()
# The loader takes the entry's size as the record's version: the record's own.
if(LoadConfigTableRVA EQUAL 0 OR NOT LoadConfigTableSize EQUAL Size)
  message(FATAL_ERROR "${PROGRAM}: load-configuration entry ${LoadConfigTableRVA}, "
                      "${LoadConfigTableSize} bytes, for a record of ${Size} bytes")
endif()
# LOAD_LIBRARY_SEARCH_SYSTEM32; and no control-flow guard claimed, which the
# code does not have.
if(NOT DependentLoadFlags EQUAL 2048 OR NOT GuardFlags EQUAL 0)
  message(FATAL_ERROR "${PROGRAM}: DependentLoadFlags ${DependentLoadFlags}, GuardFlags ${GuardFlags}")
endif()
message(STATUS "DllCharacteristics ${dll_characteristics}; load configuration of ${Size} bytes, "
               "DependentLoadFlags ${DependentLoadFlags}, GuardFlags ${GuardFlags}")
