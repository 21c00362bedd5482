// The update service as the program uses it: the configured server and
// publisher, the system registry and the running program's folder.
#include "platform/Process.h"
#include "platform/Registry.h"
#include "update/InstallUpdate_win.h"
#include "update/UpdateServer.h"

namespace hivemend {

InstallResult InstallUpdate(std::u16string_view offered_version, HANDLE stop_event, DownloadProgress progress) {
  InstallJob job;
  job.registry = SystemRegistry();
  job.installer_url = InstallerUrl();
  job.program_path = ProgramPath();
  job.offered_version = std::u16string(offered_version);
  job.publisher_keys = PublisherKeys();
  job.stop_event = stop_event;
  job.progress = std::move(progress);
  return DownloadAndStartInstaller(job);
}

}  // namespace hivemend
