# Makes the installers that the installer tests use: the build's own in
# OUT/release, and the same one calling itself NEWER_VERSION in OUT/newer.
file(REMOVE_RECURSE ${OUT})
foreach(kind release newer)
  set(args --config ${CONFIG} -B ${OUT}/${kind})
  if(kind STREQUAL "newer")
    list(APPEND args -D CPACK_PACKAGE_VERSION=${NEWER_VERSION})
  endif()
  execute_process(COMMAND ${CPACK} ${args} RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
  if(NOT result EQUAL 0 OR NOT EXISTS ${OUT}/${kind}/HivemendSetup64.exe)
    message(FATAL_ERROR "cpack failed for the ${kind} installer:\n${output}")
  endif()
endforeach()
