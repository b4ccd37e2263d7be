# The program as shipped (without its debugging symbols) must stay under
# LIMIT bytes: cmake -DEXE=... -DSTRIP=... -DOUT=... -DLIMIT=... -P shipsize.cmake
execute_process(COMMAND "${STRIP}" -o "${OUT}" "${EXE}" RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "strip failed on ${EXE}")
endif()
file(SIZE "${OUT}" size)
message(STATUS "${EXE} as shipped: ${size} bytes (limit ${LIMIT})")
if(size GREATER LIMIT)
  message(FATAL_ERROR "the shipped program is ${size} bytes, over ${LIMIT}")
endif()
