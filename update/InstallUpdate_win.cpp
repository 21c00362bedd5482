#include "update/InstallUpdate_win.h"

#include <cstdint>
#include <string_view>
#include <vector>

#include "platform/File.h"
#include "platform/HttpsFetch.h"
#include "platform/Process.h"
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

}  // namespace

bool DownloadAndStartInstaller(Registry& registry, const std::u16string& installer_url,
                               const std::u16string& installer_path) {
  std::vector<std::uint8_t> body;
  if (FetchHttps(kUpdateAgentName, installer_url, &body) != FetchResult::Ok) return false;
  if (body.size() <= kMinimumInstallerSize) return false;
  const std::string_view bytes(reinterpret_cast<const char*>(body.data()), body.size());
  if (!WriteWholeFile(installer_path, bytes, WriteMode::Replace)) return false;

  MarkUpdateStarting(registry);
  if (StartProcess(installer_path, {kInstallerSwitch})) return true;
  UnmarkUpdateStarting(registry);
  return false;
}

}  // namespace hivemend
