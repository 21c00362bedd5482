# Makes the installers that the installer tests use: the build's own (VERSION)
# in OUT/release, and the same one calling itself NEWER_VERSION in OUT/newer.
# PROJECTS ("<build dir>|<project>|<component>|/"), when given, packages that
# install component instead of the program's files.
file(REMOVE_RECURSE ${OUT})
string(REPLACE "|" ";" projects "${PROJECTS}")
foreach(kind release newer)
  set(version ${VERSION})
  if(kind STREQUAL "newer")
    set(version ${NEWER_VERSION})
  endif()
  if(PROJECTS)
    execute_process(COMMAND ${CPACK} --config ${CONFIG} -B ${OUT}/${kind} -D "CPACK_PACKAGE_VERSION=${version}"
                            -D "CPACK_INSTALL_CMAKE_PROJECTS=${projects}"
      RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
  else()
    execute_process(COMMAND ${CPACK} --config ${CONFIG} -B ${OUT}/${kind} -D "CPACK_PACKAGE_VERSION=${version}"
      RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
  endif()
  if(NOT result EQUAL 0 OR NOT EXISTS ${OUT}/${kind}/HivemendSetup64.exe)
    message(FATAL_ERROR "cpack failed for the ${kind} installer:\n${output}")
  endif()
endforeach()
