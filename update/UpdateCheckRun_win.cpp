#include "update/UpdateCheckRun_win.h"

#include <algorithm>

#include "platform/Text.h"
#include "platform/WinString.h"
#include "update/HttpsFetch_win.h"

namespace hivemend {
bool IsUpdateCheckEnabled(Registry& registry) {
  RegKey key(registry);
  if (key.Create(RegRoot::LocalMachine, u"Software\\Hivemend", kKeyQueryValue) != kRegOk) return true;
  std::uint32_t enabled = 1;
  std::uint32_t size = sizeof(enabled);
  // The type is not looked at: any value whose bytes read as 0 turns the check off.
  if (key.Query(u"UpdateCheckEnabled", nullptr, reinterpret_cast<std::uint8_t*>(&enabled), &size) !=
      kRegOk) {
    return true;
  }
  return enabled != 0;
}

bool VersionTextFromBody(const std::vector<std::uint8_t>& body, std::u16string* text) {
  const auto end = std::find(body.begin(), body.end(), std::uint8_t{0});
  const int length = static_cast<int>(std::min<std::ptrdiff_t>(end - body.begin(), 1 << 30));
  if (length == 0) return false;
  const char* bytes = reinterpret_cast<const char*>(body.data());
  const int wide_length = MultiByteToWideChar(CP_THREAD_ACP, 0, bytes, length, nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(wide_length), L'\0');
  if (wide_length > 0) MultiByteToWideChar(CP_THREAD_ACP, 0, bytes, length, wide.data(), wide_length);
  *text = std::u16string(TrimSpace(AsU16(wide.data(), wide.size())));
  return true;
}

UpdateCheckOutcome RunUpdateCheck(const UpdateCheckRun& run, std::u16string* latest) {
  if (run.stop_event == nullptr) Sleep(run.first_wait_ms);
  else if (WaitForSingleObject(run.stop_event, run.first_wait_ms) == WAIT_OBJECT_0) return UpdateCheckOutcome::kStopped;

  if (run.registry != nullptr && !IsUpdateCheckEnabled(*run.registry)) {
    latest->clear();
    return UpdateCheckOutcome::kDisabled;
  }

  std::vector<std::uint8_t> body;
  if (FetchHttps(run.version_url, &body) != FetchResult::kOk) return UpdateCheckOutcome::kNoResult;
  std::u16string text;
  if (!VersionTextFromBody(body, &text)) return UpdateCheckOutcome::kNoResult;
  *latest = std::move(text);
  return UpdateCheckOutcome::kFetched;
}

}  // namespace hivemend
