# Delay-loaded system DLLs (Windows only).
#
# Windows takes only its KnownDLLs (kernel32, user32, gdi32, advapi32, ole32,
# shell32, ...) from System32 unconditionally; any other DLL a program imports
# statically is looked up beside the program first, before WinMain runs. The
# program is often started from Downloads, where a planted wininet.dll or
# version.dll would then run as the user. Such DLLs are linked through
# delay-load import libraries instead: each loads at its first call, once
# WinMain has limited the search to System32 (SetDefaultDllDirectories).
#
#   kova_delay_import(<dll>...)   defines the link target kova_delay_<dll>,
#                                 made from the toolchain's lib<dll>.a
#
# tests/release checks the program's import table against the KnownDLLs.
if(NOT WIN32)
  return()
endif()

find_program(KOVA_DLLTOOL ${CMAKE_SYSTEM_PROCESSOR}-w64-mingw32-dlltool REQUIRED)
find_program(KOVA_NM ${CMAKE_SYSTEM_PROCESSOR}-w64-mingw32-nm REQUIRED)

function(kova_delay_import)
  foreach(dll IN LISTS ARGN)
    set(target kova_delay_${dll})
    if(TARGET ${target})
      continue()
    endif()
    execute_process(COMMAND ${CMAKE_C_COMPILER} -print-file-name=lib${dll}.a
      OUTPUT_VARIABLE implib OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(NOT IS_ABSOLUTE "${implib}" OR NOT EXISTS "${implib}")
      message(FATAL_ERROR "kova_delay_import: no import library lib${dll}.a")
    endif()
    execute_process(COMMAND ${KOVA_DLLTOOL} --identify ${implib}
      OUTPUT_VARIABLE name OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE rc)
    if(NOT rc EQUAL 0 OR NOT name MATCHES "^[A-Za-z0-9_.-]+\\.[dD][lL][lL]$")
      message(FATAL_ERROR "kova_delay_import: lib${dll}.a names no single DLL (${name})")
    endif()
    # Every function the import library knows, so a new call needs no edit
    # here. i686 names carry the C underscore and the stdcall @N: the first
    # goes here, dlltool -k drops the second from the name that is imported.
    execute_process(COMMAND ${KOVA_NM} -g --defined-only ${implib} OUTPUT_VARIABLE symbols RESULT_VARIABLE rc)
    if(NOT rc EQUAL 0)
      message(FATAL_ERROR "kova_delay_import: cannot read ${implib}")
    endif()
    string(REGEX MATCHALL " T [^\n]+" functions "${symbols}")
    set(def "LIBRARY ${name}\nEXPORTS\n")
    foreach(f IN LISTS functions)
      string(SUBSTRING "${f}" 3 -1 f)
      if(CMAKE_SIZEOF_VOID_P EQUAL 4)
        string(REGEX REPLACE "^_" "" f "${f}")
      endif()
      string(APPEND def "${f}\n")
    endforeach()
    set(dir ${CMAKE_BINARY_DIR}/delayload)
    file(MAKE_DIRECTORY ${dir})
    file(WRITE ${dir}/${dll}.def "${def}")
    set(kill)
    if(CMAKE_SIZEOF_VOID_P EQUAL 4)
      set(kill -k)
    endif()
    execute_process(COMMAND ${KOVA_DLLTOOL} ${kill} -d ${dir}/${dll}.def -D ${name}
        -t ${dll}_delay --output-delaylib ${dir}/lib${dll}_delay.a
      WORKING_DIRECTORY ${dir} RESULT_VARIABLE rc)
    if(NOT rc EQUAL 0)
      message(FATAL_ERROR "kova_delay_import: dlltool failed for ${dll}")
    endif()
    add_library(${target} STATIC IMPORTED GLOBAL)
    set_target_properties(${target} PROPERTIES IMPORTED_LOCATION ${dir}/lib${dll}_delay.a)
  endforeach()
endfunction()

# The DLLs the program uses that are not KnownDLLs.
kova_delay_import(wininet crypt32 wintrust bcrypt winmm windowscodecs comctl32 version)
