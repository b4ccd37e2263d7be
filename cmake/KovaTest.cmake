# kova_add_test(NAME <name> LABELS <labels...> SOURCES <files...> [LIBS <libs...>])
# One GoogleTest executable registered as one ctest test: each Wine process
# start costs time, so a Windows test binary runs all its cases in one go.
function(kova_add_test)
  cmake_parse_arguments(T "" "NAME;TIMEOUT" "LABELS;SOURCES;LIBS" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE kovacore kova_testsupport kova_gtest_main ${T_LIBS})
  add_test(NAME ${T_NAME} COMMAND ${T_NAME})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  set_tests_properties(${T_NAME} PROPERTIES LABELS "${T_LABELS}" TIMEOUT ${T_TIMEOUT})
endfunction()
