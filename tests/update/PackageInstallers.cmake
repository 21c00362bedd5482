# Makes the installers that the installer tests use: the build's own (VERSION)
# in OUT/current, and the same one calling itself NEWER_VERSION in OUT/newer,
# each named HivemendSetup64-test.exe as every installer of a test build is.
# With PROGRAM, the installers carry that file as hivemend.exe instead of the
# build's installed files (everything else comes from the same configuration).
file(REMOVE_RECURSE ${OUT})
if(PROGRAM)
  set(stage ${OUT}/stage)
  file(MAKE_DIRECTORY ${stage})
  file(COPY_FILE ${PROGRAM} ${stage}/hivemend.exe)
endif()
foreach(kind current newer)
  set(version ${VERSION})
  if(kind STREQUAL "newer")
    set(version ${NEWER_VERSION})
  endif()
  if(PROGRAM)
    execute_process(COMMAND ${CPACK} --config ${CONFIG} -B ${OUT}/${kind} -D "CPACK_PACKAGE_VERSION=${version}"
                            -D "CPACK_INSTALL_CMAKE_PROJECTS=" -D "CPACK_INSTALLED_DIRECTORIES=${stage};."
      RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
  else()
    execute_process(COMMAND ${CPACK} --config ${CONFIG} -B ${OUT}/${kind} -D "CPACK_PACKAGE_VERSION=${version}"
      RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
  endif()
  if(NOT result EQUAL 0 OR NOT EXISTS ${OUT}/${kind}/HivemendSetup64-test.exe)
    message(FATAL_ERROR "cpack failed for the ${kind} installer:\n${output}")
  endif()
endforeach()
