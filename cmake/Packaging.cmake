# The installer HivemendSetup64.exe (HivemendSetup64-test.exe in a build with
# the tests), made by CPack's NSIS generator (Windows build only):
# hivemend.exe in "Program Files\Hivemend" (64-bit view), a Start-menu
# shortcut, an uninstaller and its Uninstall entry. "/S" installs silently,
# also over an existing installation.
#
#   cmake --build <build> --target package     (or: cd <build> && cpack)
if(NOT WIN32)
  return()
endif()

install(TARGETS hivemend RUNTIME DESTINATION .)
set(packaged_name hivemend)

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
set(CPACK_NSIS_DEFINES "Unicode true\nTarget amd64-unicode")
set(CPACK_NSIS_MENU_LINKS "${packaged_name}.exe" "Hivemend")
set(CPACK_NSIS_INSTALLED_ICON_NAME "${packaged_name}.exe")
set(CPACK_NSIS_MODIFY_PATH OFF)
set(CPACK_NSIS_ENABLE_UNINSTALL_BEFORE_INSTALL OFF)
set(CPACK_NSIS_UNINSTALL_NAME "Uninstall")
# A running copy keeps its program file open, but Windows lets it be renamed:
# move it aside so that the new one can be written, and remove it as soon as it
# is no longer running (at the latest after a restart).
set(CPACK_NSIS_EXTRA_PREINSTALL_COMMANDS "
  Delete \\\"$INSTDIR\\\\${packaged_name}.exe.old\\\"
  IfFileExists \\\"$INSTDIR\\\\${packaged_name}.exe\\\" 0 +2
    Rename \\\"$INSTDIR\\\\${packaged_name}.exe\\\" \\\"$INSTDIR\\\\${packaged_name}.exe.old\\\"")
set(CPACK_NSIS_EXTRA_INSTALL_COMMANDS "
  Delete /REBOOTOK \\\"$INSTDIR\\\\${packaged_name}.exe.old\\\"")
# The program downloads updates next to itself; they go with it.
set(CPACK_NSIS_EXTRA_UNINSTALL_COMMANDS "
  Delete /REBOOTOK \\\"$INSTDIR\\\\${packaged_name}.exe.old\\\"
  Delete \\\"$INSTDIR\\\\HivemendSetup64-*.exe\\\"")
include(CPack)
