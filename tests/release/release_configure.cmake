# cmake -DSOURCE=<source folder> -DWORK=<scratch folder> -P release_configure.cmake
# Configures the win32-release preset into folders under WORK, one per case.
cmake_minimum_required(VERSION 3.21)
set(failures 0)

# Configures case NAME with the -D options in ARGN; OUT_VAR gets the output,
# RC_VAR the exit code.
function(release_configure name rc_var out_var)
  file(REMOVE_RECURSE ${WORK}/${name})
  execute_process(COMMAND ${CMAKE_COMMAND} -S ${SOURCE} -B ${WORK}/${name} --preset win32-release ${ARGN}
    RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  set(${rc_var} ${rc} PARENT_SCOPE)
  set(${out_var} "${out}${err}" PARENT_SCOPE)
endfunction()

function(fail name why output)
  message("FAIL ${name}: ${why}\n---- configure output ----\n${output}\n----")
  math(EXPR n "${failures} + 1")
  set(failures ${n} PARENT_SCOPE)
endfunction()

# A case that must be refused: non-zero exit, every text in WANT in the output
# and none of those in UNWANTED (origins that were fine must not be named).
function(expect_refused name)
  cmake_parse_arguments(C "" "" "DEFS;WANT;UNWANTED" ${ARGN})
  set(before ${failures})
  release_configure(${name} rc out ${C_DEFS})
  if(rc EQUAL 0)
    fail(${name} "configured, but should have been refused" "${out}")
  else()
    foreach(text IN LISTS C_WANT)
      string(FIND "${out}" "${text}" at)
      if(at EQUAL -1)
        fail(${name} "no \"${text}\" in the refusal" "${out}")
      endif()
    endforeach()
    foreach(text IN LISTS C_UNWANTED)
      string(FIND "${out}" "${text}" at)
      if(NOT at EQUAL -1)
        fail(${name} "the refusal names \"${text}\", which was given properly" "${out}")
      endif()
    endforeach()
  endif()
  if(failures EQUAL before)
    message(STATUS "ok ${name}")
  endif()
  set(failures ${failures} PARENT_SCOPE)
endfunction()

set(service -DKOVA_SERVICE_ORIGIN=https://api.kova-check.test:8443)
set(web -DKOVA_WEB_ORIGIN=https://www.kova-check.test)
set(trading -DKOVA_TRADING_WEB_ORIGIN=https://trade.kova-check.test)
set(ipecho -DKOVA_IPECHO_ORIGIN=http://ip.kova-check.test)

expect_refused(no_origins
  WANT "KOVA_SERVICE_ORIGIN is missing" "KOVA_WEB_ORIGIN is missing"
       "KOVA_TRADING_WEB_ORIGIN is missing" "KOVA_IPECHO_ORIGIN is missing")
expect_refused(http_service
  DEFS -DKOVA_SERVICE_ORIGIN=http://api.kova-check.test ${web} ${trading} ${ipecho}
  WANT "KOVA_SERVICE_ORIGIN must begin with https://"
  UNWANTED KOVA_WEB_ORIGIN KOVA_TRADING_WEB_ORIGIN KOVA_IPECHO_ORIGIN)
expect_refused(not_bare
  DEFS ${service} -DKOVA_WEB_ORIGIN=https://www.kova-check.test/home
       "-DKOVA_TRADING_WEB_ORIGIN=https://trade.kova-check.test\"" -DKOVA_IPECHO_ORIGIN=ftp://ip.kova-check.test
  WANT "KOVA_WEB_ORIGIN must be a bare origin" "KOVA_TRADING_WEB_ORIGIN must be a bare origin"
       "KOVA_IPECHO_ORIGIN must begin with http:// or https://"
  UNWANTED KOVA_SERVICE_ORIGIN)
expect_refused(defaults_and_port
  DEFS -DKOVA_SERVICE_ORIGIN=https://kova.example -DKOVA_WEB_ORIGIN=https://www.kova-check.test:65536
       -DKOVA_TRADING_WEB_ORIGIN= ${ipecho}
  WANT "KOVA_SERVICE_ORIGIN names a reserved .example host" "KOVA_WEB_ORIGIN has a port outside"
       "KOVA_TRADING_WEB_ORIGIN is missing"
  UNWANTED KOVA_IPECHO_ORIGIN)

# Four proper origins: it configures, as a release, and the origins given are
# the ones the program is compiled with.
release_configure(proper rc out ${service} ${web} ${trading} ${ipecho})
if(NOT rc EQUAL 0)
  fail(proper "refused four proper origins" "${out}")
else()
  set(before ${failures})
  set(bin ${WORK}/proper)
  file(STRINGS ${bin}/CMakeCache.txt cache REGEX "^(KOVA_RELEASE|CMAKE_BUILD_TYPE):")
  if(NOT "KOVA_RELEASE:BOOL=ON" IN_LIST cache OR NOT "CMAKE_BUILD_TYPE:STRING=Release" IN_LIST cache)
    fail(proper "not a Release build with KOVA_RELEASE on: ${cache}" "${out}")
  endif()
  if(EXISTS ${bin}/tests OR EXISTS ${bin}/bench)
    fail(proper "the tests or benchmarks are part of the release build" "${out}")
  endif()
  file(READ ${bin}/compile_commands.json commands)
  foreach(origin https://api.kova-check.test:8443 https://www.kova-check.test https://trade.kova-check.test
      http://ip.kova-check.test)
    string(FIND "${commands}" "${origin}\\\\\\\"" at)
    if(at EQUAL -1)
      fail(proper "no compile command carries ${origin}" "${out}")
    endif()
  endforeach()
  if(commands MATCHES "\\.example")
    fail(proper "a reserved .example default reached a compile command" "${out}")
  endif()
  if(NOT commands MATCHES "-ffile-prefix-map=")
    fail(proper "the compile commands map no build folder away (reproducible builds)" "${out}")
  endif()
  file(READ ${bin}/build.ninja ninja)
  if(NOT ninja MATCHES "--no-insert-timestamp" OR NOT ninja MATCHES "LINK_FLAGS = [^\n]*(^| )-s( |\n)")
    fail(proper "the program is linked with a time stamp or unstripped" "${out}")
  endif()
  if(failures EQUAL before)
    message(STATUS "ok proper")
  endif()
endif()

if(failures GREATER 0)
  message(FATAL_ERROR "${failures} release configure check(s) failed")
endif()
file(REMOVE_RECURSE ${WORK})
