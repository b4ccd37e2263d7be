# Warnings, sanitizers and the Windows static runtime, for every target.
add_compile_options(-Wall -Wextra)
if(KOVA_WERROR)
  add_compile_options(-Werror)
endif()

if(KOVA_SANITIZE AND NOT WIN32)
  add_compile_options(-fsanitize=${KOVA_SANITIZE} -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=${KOVA_SANITIZE})
endif()

if(WIN32)
  # The API level of Windows 7, the oldest system the program runs on.
  add_compile_definitions(WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601 WINVER=0x0601)
  # Static C and C++ runtime: kovaapp.exe and the tests need no MinGW DLL.
  add_link_options(-static -static-libgcc -static-libstdc++)
  # Reproducible: one commit gives the same bytes wherever it is built. No
  # link time stamp, and no build folder in __FILE__ (the locks name their
  # callers) or debugging data. The binary folder, often inside the source
  # folder, comes last: GCC takes the last map that matches.
  add_link_options(-Wl,--no-insert-timestamp)
  add_compile_options(
    "$<$<COMPILE_LANGUAGE:C,CXX>:-ffile-prefix-map=${CMAKE_SOURCE_DIR}=.>"
    "$<$<COMPILE_LANGUAGE:C,CXX>:-ffile-prefix-map=${CMAKE_BINARY_DIR}=build>")
  # The shipped file carries no symbols.
  if(KOVA_RELEASE)
    add_link_options(-s)
  endif()
endif()

# The total time a service call may take, in milliseconds, compiled in. The
# shipped program allows a minute; the test presets set it short, so that a
# test of a server that trickles its answer ends soon.
set(KOVA_SERVICE_DEADLINE_MS 60000 CACHE STRING "Total time limit of one service call, in milliseconds")
if(NOT KOVA_SERVICE_DEADLINE_MS MATCHES "^[1-9][0-9]*$" OR KOVA_SERVICE_DEADLINE_MS GREATER 3600000)
  message(FATAL_ERROR "KOVA_SERVICE_DEADLINE_MS must be a number of milliseconds from 1 to 3600000")
endif()
add_compile_definitions(KOVA_SERVICE_DEADLINE_MS=${KOVA_SERVICE_DEADLINE_MS})

# Non-KnownDLLs are delay-loaded (Windows).
include(${CMAKE_CURRENT_LIST_DIR}/DelayLoad.cmake)
