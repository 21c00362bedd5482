# The installer HivemendSetup64.exe (HivemendSetup64-test.exe in a build with
# the tests), made by CPack's NSIS generator from our own script,
# cmake/NSIS.template.in (Windows build only): hivemend.exe and hivemend-cli.exe,
# stripped, in "Program Files\Hivemend" (64-bit view), a Start-menu shortcut,
# "Preview with Hivemend" on the context menu of .reg files, an uninstaller and
# its Uninstall entry; optionally Hivemend as the program for .reg files and
# the folder on the system PATH. "/S" installs silently, also over an existing
# installation; see the script for its switches.
#
#   cmake --build <build> --target package     (or: cd <build> && cpack)
if(NOT WIN32)
  return()
endif()

install(TARGETS hivemend hivemend-cli RUNTIME DESTINATION .)
# The package carries the programs without their debug data (about 15 MB each
# with it): the install step strips what it installs.
install(CODE "
  foreach(program hivemend.exe hivemend-cli.exe)
    execute_process(COMMAND \"${CMAKE_STRIP}\" --strip-all \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/\${program}\"
                    RESULT_VARIABLE stripped)
    if(NOT stripped EQUAL 0)
      message(FATAL_ERROR \"could not strip \${program}\")
    endif()
  endforeach()")

set(CPACK_GENERATOR NSIS)
set(CPACK_PACKAGE_NAME "Hivemend")
set(CPACK_PACKAGE_VENDOR "Tarnwick")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Hivemend: review a .REG file against the registry and merge only the chosen values")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
if(HIVEMEND_TESTS)
  set(CPACK_PACKAGE_FILE_NAME "HivemendSetup64-test")
else()
  set(CPACK_PACKAGE_FILE_NAME "HivemendSetup64")
endif()
set(CPACK_PACKAGE_INSTALL_DIRECTORY "Hivemend")
# One Uninstall entry for every version, so that an update replaces it.
set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY "Hivemend")
set(CPACK_NSIS_DISPLAY_NAME "Hivemend")
set(CPACK_NSIS_PACKAGE_NAME "Hivemend")
set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
set(CPACK_NSIS_UNINSTALL_NAME "Uninstall")
set(CPACK_HIVEMEND_ICON "${PROJECT_SOURCE_DIR}/resources/hivemend.ico")
# A licence page only with the project's own licence text.
set(CPACK_HIVEMEND_LICENSE_PAGE "")
if(EXISTS "${PROJECT_SOURCE_DIR}/LICENSE")
  set(CPACK_HIVEMEND_LICENSE_PAGE "!insertmacro MUI_PAGE_LICENSE \"${PROJECT_SOURCE_DIR}/LICENSE\"")
endif()
# CPack takes NSIS.template.in from the module path: ours, in this folder.
set(CPACK_MODULE_PATH "${CMAKE_CURRENT_LIST_DIR}")
include(CPack)
