// Downloads the installer next to the running program and starts it silently.
// Runs on the window's thread; shows nothing and does not wait for the installer.
#pragma once

#include <string>

#include "platform/Registry.h"

namespace hivemend {

// Downloads installer_url; when the answer is 200 and larger than
// kMinimumInstallerSize bytes, writes it to installer_path (replacing any file
// there), sets HKEY_CURRENT_USER\Software\Hivemend "UpdateFinished" to 1 and
// starts "<installer_path>" /S. A failed start removes "UpdateFinished" again.
// True when the installer process was started.
bool DownloadAndStartInstaller(Registry& registry, const std::u16string& installer_url,
                               const std::u16string& installer_path);

// DownloadAndStartInstaller with the system registry, the configured server and
// "HivemendSetup64.exe" in the running program's folder.
bool InstallUpdate();

}  // namespace hivemend
