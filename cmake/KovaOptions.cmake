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
  # Windows XP-era API level is not needed; Vista+ gives the functions we call.
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
