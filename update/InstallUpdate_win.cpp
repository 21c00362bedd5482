#include "update/InstallUpdate_win.h"

#include <windows.h>

#include <cstdint>
#include <vector>

#include "platform/UniqueHandle_win.h"
#include "platform/WinString.h"
#include "update/HttpsFetch_win.h"
#include "update/UpdateVersion.h"

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

bool WriteWholeFile(const std::u16string& path, const std::vector<std::uint8_t>& data) {
  if (data.size() > MAXDWORD) return false;
  ScopedHandle file(CreateFileW(AsWide(path), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  DWORD written = 0;
  // A partly written file stays on disk; it is never started.
  return WriteFile(file.get(), data.data(), static_cast<DWORD>(data.size()), &written, nullptr) &&
         written == data.size();
}

}  // namespace

bool DownloadAndStartInstaller(Registry& registry, const std::u16string& installer_url,
                               const std::u16string& installer_path) {
  std::vector<std::uint8_t> body;
  if (FetchHttps(installer_url, &body) != FetchResult::kOk) return false;
  if (body.size() <= kMinimumInstallerSize) return false;
  if (!WriteWholeFile(installer_path, body)) return false;

  std::u16string command_line = InstallerCommandLine(installer_path);
  MarkUpdateStarting(registry);
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process = {};
  const BOOL started = CreateProcessW(AsWide(installer_path), reinterpret_cast<wchar_t*>(command_line.data()),
                                      nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process);
  ScopedHandle process_handle(process.hProcess);
  ScopedHandle thread_handle(process.hThread);
  if (started && process_handle) return true;
  UnmarkUpdateStarting(registry);
  return false;
}

}  // namespace hivemend
