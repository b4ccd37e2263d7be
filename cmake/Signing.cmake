# Authenticode signing of the Windows programs. The test and demo builds sign
# with the test publisher of their own build folder (cmake/test-signing.sh),
# made once at configure time with openssl and trusted in the test prefixes
# through kova_addroot; a release is signed by scripts/release instead, with
# the operator's key, and its build signs nothing.
if(NOT WIN32 OR KOVA_RELEASE)
  function(kova_sign target)
  endfunction()
  return()
endif()

find_program(KOVA_OPENSSL openssl REQUIRED)
find_program(KOVA_OSSLSIGNCODE osslsigncode REQUIRED)
set(KOVA_SIGNING_DIR ${CMAKE_BINARY_DIR}/signing)
if(NOT EXISTS ${KOVA_SIGNING_DIR}/publisher.p12 OR NOT EXISTS ${KOVA_SIGNING_DIR}/other.key.sha256)
  execute_process(COMMAND bash ${PROJECT_SOURCE_DIR}/cmake/test-signing.sh ${KOVA_SIGNING_DIR}
    RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "making the test publisher in ${KOVA_SIGNING_DIR} failed")
  endif()
endif()
file(STRINGS ${KOVA_SIGNING_DIR}/publisher.key.sha256 KOVA_TEST_PUBLISHER_KEY LIMIT_COUNT 1)
file(STRINGS ${KOVA_SIGNING_DIR}/other.key.sha256 KOVA_TEST_OTHER_KEY LIMIT_COUNT 1)

# Signs the target's file in place after each link.
function(kova_sign target)
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${PROJECT_SOURCE_DIR}/scripts/sign-exe $<TARGET_FILE:${target}> $<TARGET_FILE:${target}>
      ${KOVA_SIGNING_DIR}/publisher.p12 ${KOVA_SIGNING_DIR}/password ${KOVA_SIGNING_DIR}/ca.pem
    VERBATIM)
endfunction()
