# What keeps a program from taking updates from anywhere but its publisher:
#
#   cmake -DSOURCE=<tree> -DSCRATCH=<folder> -P ReleaseConfigurationTest.cmake
#       a configuration that names a real update server but no publisher's key
#       fails, with and without the tests
#   cmake -DPROGRAM=<hivemend.exe> -DTESTHOST=<the test copy> -P ReleaseConfigurationTest.cmake
#       the program's file does not even name the environment variables that
#       the test copy reads its server and keys from (and the test copy does)
set(variables HIVEMEND_TEST_UPDATE_HOST HIVEMEND_TEST_PUBLISHER_PINS HIVEMEND_TEST_FIRST_CHECK_WAIT_MS)
set(failures 0)

if(SOURCE)
  foreach(tests ON OFF)
    set(host_option "-DHIVEMEND_UPDATE_HOST=updates.example.com")
    if(tests STREQUAL "OFF")
      set(host_option "-DHIVEMEND_DOWNLOAD_HOST=files.example.com")
    endif()
    file(REMOVE_RECURSE ${SCRATCH})
    execute_process(COMMAND ${CMAKE_COMMAND} -S ${SOURCE} -B ${SCRATCH} -DHIVEMEND_TESTS=${tests} ${host_option}
                    RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
    if(result EQUAL 0 OR NOT output MATCHES "HIVEMEND_PUBLISHER_PINS must name the key")
      message(SEND_ERROR "HIVEMEND_TESTS=${tests} ${host_option} without a pin was not refused:\n${output}")
      math(EXPR failures "${failures} + 1")
    endif()
  endforeach()
  file(REMOVE_RECURSE ${SCRATCH})
endif()

if(PROGRAM)
  foreach(variable IN LISTS variables)
    file(STRINGS ${PROGRAM} found REGEX ${variable} LIMIT_COUNT 1)
    if(found)
      message(SEND_ERROR "${PROGRAM} names ${variable}")
      math(EXPR failures "${failures} + 1")
    endif()
    file(STRINGS ${TESTHOST} found REGEX ${variable} LIMIT_COUNT 1)
    if(NOT found)
      message(SEND_ERROR "${TESTHOST} does not name ${variable}: this test could not see it")
      math(EXPR failures "${failures} + 1")
    endif()
  endforeach()
endif()

if(failures GREATER 0)
  message(FATAL_ERROR "${failures} failure(s)")
endif()
message(STATUS "ok")
