// The update service as the program uses it: the configured server, the system
// registry and the running program's folder.
#include "platform/Process.h"
#include "platform/Registry.h"
#include "update/InstallUpdate_win.h"
#include "update/UpdateServer.h"
#include "update/UpdateVersion.h"

namespace hivemend {

bool InstallUpdate() {
  Registry* registry = SystemRegistry();
  if (registry == nullptr) return false;
  return DownloadAndStartInstaller(*registry, InstallerUrl(), InstallerPathBeside(ProgramPath()));
}

}  // namespace hivemend
