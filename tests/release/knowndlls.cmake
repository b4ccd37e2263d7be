# The program may import statically only DLLs that Windows always takes from
# System32 (the KnownDLLs); any other would be looked up beside the program
# first, where a planted copy runs before WinMain. Those are delay-loaded
# (cmake/DelayLoad.cmake).
#   cmake -DEXE=kovaapp.exe -DOBJDUMP=<triplet>-objdump -P knowndlls.cmake
# The allow-list is the KnownDLLs that Windows 7 to 11 all have, 32- and
# 64-bit.
cmake_minimum_required(VERSION 3.21)
set(known advapi32 comdlg32 gdi32 imagehlp imm32 kernel32 msctf msvcrt normaliz nsi ole32 oleaut32 psapi rpcrt4
  sechost setupapi shell32 shlwapi user32 wldap32 ws2_32)
execute_process(COMMAND "${OBJDUMP}" -p "${EXE}" OUTPUT_VARIABLE dump RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "objdump failed on ${EXE}")
endif()
string(REGEX MATCHALL "DLL Name: [^\r\n]+" names "${dump}")
if(NOT names)
  message(FATAL_ERROR "no import table read from ${EXE}")
endif()
set(bad)
foreach(entry IN LISTS names)
  string(REGEX REPLACE "^DLL Name: " "" dll "${entry}")
  string(TOLOWER "${dll}" lower)
  string(REGEX REPLACE "\\.dll$" "" lower "${lower}")
  if(lower MATCHES "^api-ms-win-" OR lower IN_LIST known)
    continue()
  endif()
  list(APPEND bad "${dll}")
endforeach()
message(STATUS "${EXE} imports: ${names}")
if(bad)
  message(FATAL_ERROR "${EXE} statically imports DLLs outside the KnownDLLs: ${bad} (delay-load them)")
endif()
