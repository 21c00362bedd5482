#include "update/InstallUpdate_win.h"

#include <cstdint>
#include <string_view>

#include "platform/File.h"
#include "platform/HttpsFetch.h"
#include "platform/Process.h"
#include "platform/Version.h"

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

InstallResult FetchFailure(FetchResult result, const FetchDetail& detail) {
  switch (result) {
    case FetchResult::Stopped: return InstallOutcome::Stopped;
    case FetchResult::WriteFailed: return InstallOutcome::CannotWrite;
    case FetchResult::TimedOut: return InstallOutcome::TimedOut;
    case FetchResult::Certificate: return InstallOutcome::Certificate;
    case FetchResult::NotHttps: return InstallOutcome::NotHttps;
    case FetchResult::ReadFailed:
    case FetchResult::Truncated: return InstallOutcome::Interrupted;
    case FetchResult::NoLength: return InstallOutcome::NoLength;
    case FetchResult::TooLarge: return InstallOutcome::TooLarge;
    case FetchResult::NotOk: {
      InstallResult failure(InstallOutcome::ServerStatus);
      failure.status = detail.status;
      return failure;
    }
    default: return InstallOutcome::NoConnection;
  }
}

InstallOutcome SignatureFailure(SignatureCheck check) {
  switch (check) {
    case SignatureCheck::OtherSigner: return InstallOutcome::OtherPublisher;
    case SignatureCheck::Revoked: return InstallOutcome::Revoked;
    case SignatureCheck::RevocationUnknown: return InstallOutcome::RevocationUnknown;
    default: return InstallOutcome::NotVerified;
  }
}

// Downloads into the file and checks what it holds. Started: all checks passed.
InstallResult DownloadAndCheck(const InstallJob& job, ExclusiveFile& file) {
  FetchRequest fetch;
  fetch.agent = std::u16string(kUpdateAgentName);
  fetch.url = job.installer_url;
  fetch.max_bytes = kMaxInstallerBytes;
  fetch.require_length = true;
  fetch.stop_event = job.stop_event;
  std::uint64_t received = 0;
  fetch.write = [&](const std::uint8_t* data, std::size_t size) {
    received += size;
    return file.Write(data, size);
  };
  fetch.progress = job.progress;
  FetchDetail detail;
  const FetchResult fetched = FetchHttps(fetch, &detail);
  if (fetched != FetchResult::Ok) return FetchFailure(fetched, detail);
  if (received <= kMinimumInstallerSize) return InstallOutcome::TooSmall;
  if (!file.FinishWriting()) return InstallOutcome::CannotWrite;
  if (IsSet(job.stop_event)) return InstallOutcome::Stopped;
  if (job.checking) job.checking();

  const SignatureCheck signature =
      CheckCodeSignature(file.path(), file.native_handle(), job.publisher_keys, kUpdateTimeoutMs);
  if (IsSet(job.stop_event)) return InstallOutcome::Stopped;
  if (signature != SignatureCheck::Valid) return SignatureFailure(signature);

  // Read from the file that was checked: it is held, and nobody can change it.
  const auto version = ProgramFileVersion(file.path());
  if (!IsInstallerVersionAccepted(version, job.offered_version, kProgramVersion)) {
    InstallResult wrong(InstallOutcome::WrongVersion);
    if (version) wrong.installer_version = VersionText(*version);
    return wrong;
  }
  return InstallOutcome::Started;
}

InstallResult Run(const InstallJob& job) {
  const std::u16string folder = InstallerFolderOf(job.program_path);
  if (folder.empty()) return InstallOutcome::NoFolder;
  if (job.publisher_keys.empty()) return InstallOutcome::NoPublisher;
  ExclusiveFile file;
  if (!file.CreateNew(folder, kInstallerFileStem, kInstallerFileExtension)) return InstallOutcome::CannotWrite;
  InstallResult result = DownloadAndCheck(job, file);
  // The last moment a Cancel counts: the process has not started yet.
  if (result.outcome == InstallOutcome::Started && IsSet(job.stop_event)) result = InstallOutcome::Stopped;
  if (result.outcome != InstallOutcome::Started) {
    file.Remove();
    return result;
  }
  // The file stays held, unchanged since the check, until the process runs;
  // it installs into the folder of the running copy, wherever that is.
  const std::u16string arguments = InstallerArguments(folder);
  if (job.registry) MarkUpdateStarting(*job.registry);
  if (StartProcessVerbatim(file.path(), arguments)) return InstallOutcome::Started;
  // An installer that asks for administrator rights starts only through the
  // system's consent prompt when this process does not have them.
  long elevated = -1;
  if (!ProcessIsElevated()) {
    elevated = StartProcessElevatedVerbatim(file.path(), arguments, nullptr);
    if (elevated == 0) return InstallOutcome::Started;
  }
  if (job.registry) UnmarkUpdateStarting(*job.registry);
  file.Remove();
  return elevated == ERROR_CANCELLED ? InstallOutcome::Declined : InstallOutcome::StartFailed;
}

}  // namespace

InstallResult DownloadAndStartInstaller(const InstallJob& job) {
  InstallResult result = Run(job);
  result.offered_version = job.offered_version;
  return result;
}

}  // namespace hivemend
