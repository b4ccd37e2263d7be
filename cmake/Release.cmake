# The release build (preset win32-release): the program as the operator ships
# it. Its origins are the operator's, named on the command line; the
# reserved-name defaults set further down (center/, ui/) are never taken, so
# they are checked here, before those defaults exist. Tests, benchmarks,
# fuzzers and the stand-in service are left out (root CMakeLists.txt).
option(KOVA_RELEASE "The shipped program: the operator's origins required; no tests, benchmarks or service" OFF)

# Appends to PROBLEMS_VAR what is wrong with origin VAR: missing, or not a bare
# SCHEMES://host[:port] (its value is pasted into a C string literal).
function(kova_release_check_origin var schemes what problems_var)
  set(problems ${${problems_var}})
  if(NOT DEFINED CACHE{${var}} OR "$CACHE{${var}}" STREQUAL "")
    list(APPEND problems "${var} is missing: ${what}, e.g. -D${var}=${schemes}://host")
  else()
    set(value "$CACHE{${var}}")
    set(label "[A-Za-z0-9]([-A-Za-z0-9]*[A-Za-z0-9])?")
    if(schemes STREQUAL "https")
      set(scheme_re "https")
      set(scheme_text "https://")
    else()
      set(scheme_re "https?")
      set(scheme_text "http:// or https://")
    endif()
    if(NOT value MATCHES "^(${scheme_re})://")
      list(APPEND problems "${var} must begin with ${scheme_text} (${what}): \"${value}\"")
    elseif(NOT value MATCHES "^${scheme_re}://(${label}(\\.${label})*)(:([0-9]+))?$")
      list(APPEND problems
        "${var} must be a bare origin, ${scheme_text}host[:port] with no path, query, spaces or quotes: \"${value}\"")
    else()
      set(host "${CMAKE_MATCH_1}")
      set(port "${CMAKE_MATCH_6}")
      string(LENGTH "${port}" port_digits)
      if(port_digits GREATER 5 OR (port_digits GREATER 0 AND (port LESS 1 OR port GREATER 65535)))
        list(APPEND problems "${var} has a port outside 1-65535: \"${value}\"")
      elseif(host MATCHES "(^|\\.)example$")
        # The defaults' reserved names; a cache left from a test build brings them.
        list(APPEND problems "${var} names a reserved .example host, a default that never reaches an operator: \"${value}\"")
      endif()
    endif()
  endif()
  set(${problems_var} "${problems}" PARENT_SCOPE)
endfunction()

if(KOVA_RELEASE)
  if(NOT WIN32)
    message(FATAL_ERROR "KOVA_RELEASE builds the Windows program: configure the win32-release preset")
  endif()
  set(kova_release_problems "")
  kova_release_check_origin(KOVA_SERVICE_ORIGIN https "the operator's service" kova_release_problems)
  kova_release_check_origin(KOVA_WEB_ORIGIN https "the operator's web site" kova_release_problems)
  kova_release_check_origin(KOVA_TRADING_WEB_ORIGIN https "the operator's trading web site" kova_release_problems)
  kova_release_check_origin(KOVA_IPECHO_ORIGIN http "the IP-echo service" kova_release_problems)
  if(kova_release_problems)
    list(JOIN kova_release_problems "\n  " kova_release_text)
    message(FATAL_ERROR "A release build (KOVA_RELEASE) takes no default origins; "
      "name all four on the command line (-DNAME=origin):\n  ${kova_release_text}\n")
  endif()
endif()
