#include "update/InstallUpdate_win.h"

#include <cstdint>
#include <string_view>

#include "platform/File.h"
#include "platform/HttpsFetch.h"
#include "platform/Process.h"

namespace hivemend {
namespace {

constexpr std::u16string_view kUserKey = u"Software\\Hivemend";
constexpr std::u16string_view kUpdateFinished = u"UpdateFinished";

// Failures to record the mark are ignored: the installer starts all the same.
void MarkUpdateStarting(Registry& registry) {
  RegKey key(registry);
  if (key.Create(RegRoot::CurrentUser, kUserKey, kKeySetValue) != kRegOk) return;
  const std::uint32_t one = 1;
  (void)key.Set(kUpdateFinished, kRegDword, reinterpret_cast<const std::uint8_t*>(&one), sizeof(one));
}

void UnmarkUpdateStarting(Registry& registry) {
  RegKey key(registry);
  if (key.Create(RegRoot::CurrentUser, kUserKey, kKeySetValue) != kRegOk) return;
  (void)key.Delete(kUpdateFinished);
}

bool IsSet(HANDLE event) { return event != nullptr && WaitForSingleObject(event, 0) == WAIT_OBJECT_0; }

InstallOutcome Download(const InstallJob& job, ExclusiveFile& file) {
  FetchRequest fetch;
  fetch.agent = std::u16string(kUpdateAgentName);
  fetch.url = job.installer_url;
  fetch.max_bytes = kMaxInstallerBytes;
  fetch.stop_event = job.stop_event;
  std::uint64_t received = 0;
  fetch.write = [&](const std::uint8_t* data, std::size_t size) {
    received += size;
    return file.Write(data, size);
  };
  fetch.progress = job.progress;
  switch (FetchHttps(fetch)) {
    case FetchResult::Ok: break;
    case FetchResult::Stopped: return InstallOutcome::Stopped;
    case FetchResult::WriteFailed: return InstallOutcome::CannotWrite;
    default: return InstallOutcome::DownloadFailed;
  }
  if (received <= kMinimumInstallerSize) return InstallOutcome::TooSmall;
  if (!file.FinishWriting()) return InstallOutcome::CannotWrite;
  if (IsSet(job.stop_event)) return InstallOutcome::Stopped;
  if (CheckCodeSignature(file.path(), file.native_handle(), *job.publisher) != SignatureCheck::Valid)
    return InstallOutcome::NotVerified;
  return InstallOutcome::Started;
}

}  // namespace

InstallOutcome DownloadAndStartInstaller(const InstallJob& job) {
  const std::u16string folder = InstallerFolderOf(job.program_path);
  if (folder.empty()) return InstallOutcome::NoFolder;
  if (!job.publisher) return InstallOutcome::NoPublisher;
  ExclusiveFile file;
  if (!file.CreateNew(folder, kInstallerFileStem, kInstallerFileExtension)) return InstallOutcome::CannotWrite;
  const InstallOutcome outcome = Download(job, file);
  if (outcome != InstallOutcome::Started) {
    file.Remove();
    return outcome;
  }
  // The file stays held, unchanged since the check, until the process runs.
  if (job.registry) MarkUpdateStarting(*job.registry);
  if (StartProcess(file.path(), {kInstallerSwitch})) return InstallOutcome::Started;
  // An installer that asks for administrator rights starts only through the
  // system's consent prompt when this process does not have them.
  if (!ProcessIsElevated() && StartProcessElevated(file.path(), {std::u16string(kInstallerSwitch)}, nullptr) == 0)
    return InstallOutcome::Started;
  if (job.registry) UnmarkUpdateStarting(*job.registry);
  file.Remove();
  return InstallOutcome::StartFailed;
}

}  // namespace hivemend
