# Fails when a Windows executable imports anything but system DLLs: the
# program must run from a USB stick on a bare machine, so the C++ runtime,
# winpthread and zlib are linked in statically.
#   cmake -DEXECUTABLE=quenwick.exe -DOBJDUMP=x86_64-w64-mingw32-objdump -P QuenwickCheckImports.cmake
cmake_minimum_required(VERSION 3.24)

if(NOT EXECUTABLE OR NOT OBJDUMP)
  message(FATAL_ERROR "usage: cmake -DEXECUTABLE=<exe> -DOBJDUMP=<objdump> -P ${CMAKE_CURRENT_LIST_FILE}")
endif()

# Every Windows version since Vista has these.
set(system_dlls
  advapi32.dll kernel32.dll msvcrt.dll ntdll.dll psapi.dll shell32.dll user32.dll)

execute_process(COMMAND ${OBJDUMP} -p ${EXECUTABLE}
  OUTPUT_VARIABLE headers RESULT_VARIABLE result ERROR_VARIABLE errors)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "${OBJDUMP} -p ${EXECUTABLE} failed: ${errors}")
endif()

string(REGEX MATCHALL "DLL Name: [^\r\n]+" lines "${headers}")
if(NOT lines)
  message(FATAL_ERROR "${EXECUTABLE}: no import table found")
endif()
set(foreign "")
foreach(line IN LISTS lines)
  string(REGEX REPLACE "^DLL Name: " "" dll "${line}")
  string(STRIP "${dll}" dll)
  string(TOLOWER "${dll}" dll_lower)
  if(NOT dll_lower IN_LIST system_dlls)
    list(APPEND foreign "${dll}")
  endif()
endforeach()
if(foreign)
  message(FATAL_ERROR "${EXECUTABLE} imports non-system DLLs: ${foreign}")
endif()
