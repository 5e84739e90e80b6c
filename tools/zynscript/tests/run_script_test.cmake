# Runs one script test: a fresh settings store, the test servers registered in it, then zynscript
# on the script. Passes when the exit code is EXPECT_RC (0 by default) and, when given, stderr
# matches EXPECT_STDERR and stdout matches EXPECT_STDOUT.
#   cmake -DZYNSCRIPT=… -DREGSVR=… -DSERVERS="a.so;b.so" -DSCRIPT=… -DREGDIR=… [-DEXPECT_RC=n]
#         [-DEXPECT_STDERR=regex] [-DEXPECT_STDOUT=regex] [-DARGS="x;y"] -P run_script_test.cmake
string(REPLACE "|" ";" SERVERS "${SERVERS}")
string(REPLACE "|" ";" ARGS "${ARGS}")
file(REMOVE_RECURSE "${REGDIR}")
file(MAKE_DIRECTORY "${REGDIR}")
set(ENV{ZYN_REGISTRY_DIR} "${REGDIR}")
set(ENV{QT_QPA_PLATFORM} offscreen)

foreach(server IN LISTS SERVERS)
  execute_process(COMMAND "${REGSVR}" "${server}" RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "registering ${server} failed (${rc})")
  endif()
endforeach()

if(NOT DEFINED EXPECT_RC)
  set(EXPECT_RC 0)
endif()
execute_process(COMMAND "${ZYNSCRIPT}" "${SCRIPT}" ${ARGS}
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
message(STATUS "stdout:\n${out}")
message(STATUS "stderr:\n${err}")
if(NOT rc STREQUAL "${EXPECT_RC}")
  message(FATAL_ERROR "zynscript ${SCRIPT} exited with ${rc}, expected ${EXPECT_RC}")
endif()
if(DEFINED EXPECT_STDERR AND NOT err MATCHES "${EXPECT_STDERR}")
  message(FATAL_ERROR "stderr does not match: ${EXPECT_STDERR}")
endif()
if(DEFINED EXPECT_STDOUT AND NOT out MATCHES "${EXPECT_STDOUT}")
  message(FATAL_ERROR "stdout does not match: ${EXPECT_STDOUT}")
endif()
