// Downloads the installer into the running program's folder, checks that the
// publisher signed it and that it is the version offered, and starts it
// silently into that folder. Runs on a worker thread; shows nothing and does
// not wait for the installer.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

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
  // The version the user was offered; the installer must name it.
  std::u16string offered_version;
  // The publisher's keys (KeyPin); none: no download.
  std::vector<KeyPin> publisher_keys;
  // Until the installer's process has started, setting it stops everything
  // and deletes the file.
  HANDLE stop_event = nullptr;
  DownloadProgress progress;  // may be empty
  // Called on the worker when the download is complete and its checks begin;
  // may be empty.
  std::function<void()> checking;
};

// Downloads job.installer_url into a new file of a unique name in the
// program's folder, held so that no one else can change it until the process
// has been started. When the answer is 200 with an announced length, larger
// than kMinimumInstallerSize bytes, its Authenticode signature is valid and
// made with one of job.publisher_keys, no certificate of its chain is revoked,
// and its file version is job.offered_version and newer than the program's,
// sets HKEY_CURRENT_USER\Software\Hivemend "UpdateFinished" to 1 and starts
// "<file>" /S /D=<the program's folder>. Any failure after the file was made
// deletes it; a failed start also removes "UpdateFinished" again.
InstallResult DownloadAndStartInstaller(const InstallJob& job);

// DownloadAndStartInstaller with the system registry, the configured server
// and publisher, and the running program's path.
InstallResult InstallUpdate(std::u16string_view offered_version, HANDLE stop_event, DownloadProgress progress);

}  // namespace hivemend
