// The update service as the program uses it: the configured server, the system
// registry and the running program's folder.
#include <windows.h>

#include <string>
#include <vector>

#include "platform/Registry.h"
#include "platform/WinString.h"
#include "update/InstallUpdate_win.h"
#include "update/UpdateServer.h"
#include "update/UpdateVersion.h"

namespace hivemend {
namespace {

std::u16string RunningProgramPath() {
  std::vector<wchar_t> buffer(4096, L'\0');
  const DWORD length = GetModuleFileNameW(nullptr, buffer.data(), 4095);
  // A path cut short at the buffer's end would name some other folder.
  if (length == 0 || length >= 4095) return std::u16string();
  return AsU16(buffer.data(), length);
}

}  // namespace

bool InstallUpdate() {
  Registry* registry = SystemRegistry();
  if (registry == nullptr) return false;
  return DownloadAndStartInstaller(*registry, InstallerUrl(), InstallerPathBeside(RunningProgramPath()));
}

}  // namespace hivemend
