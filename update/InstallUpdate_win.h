// Downloads the installer into the running program's folder, checks that the
// publisher signed it, and starts it silently. Runs on a worker thread; shows
// nothing and does not wait for the installer.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "platform/CodeSignature.h"
#include "platform/Registry.h"
#include "update/UpdateVersion.h"

namespace hivemend {

// Called on the worker after each piece: bytes received and the announced
// total (0 when unknown).
using DownloadProgress = std::function<void(std::uint64_t received, std::uint64_t total)>;

struct InstallJob {
  Registry* registry = nullptr;  // for "UpdateFinished"
  std::u16string installer_url;
  // The running program's full path; the download goes into its folder.
  std::u16string program_path;
  // The SHA-256 of the publisher's signing certificate; none: no download.
  std::optional<CertificateHash> publisher;
  HANDLE stop_event = nullptr;  // when set, the download stops and its file is deleted
  DownloadProgress progress;    // may be empty
};

// Downloads job.installer_url into a new file of a unique name in the
// program's folder, held so that no one else can change it until the process
// has been started. When the answer is 200 and larger than
// kMinimumInstallerSize bytes and its Authenticode signature is valid and made
// by job.publisher, sets HKEY_CURRENT_USER\Software\Hivemend "UpdateFinished"
// to 1 and starts "<file>" /S. Any failure after the file was made deletes it;
// a failed start also removes "UpdateFinished" again.
InstallOutcome DownloadAndStartInstaller(const InstallJob& job);

// DownloadAndStartInstaller with the system registry, the configured server
// and publisher, and the running program's path.
InstallOutcome InstallUpdate(HANDLE stop_event, DownloadProgress progress);

}  // namespace hivemend
