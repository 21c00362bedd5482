#include "update/UpdateCheckRun_win.h"

#include <algorithm>

#include "platform/File.h"
#include "platform/HttpsFetch.h"
#include "platform/Text.h"
#include "update/UpdateVersion.h"

namespace hivemend {
// Only read: a missing key means the check is on, and is not created (a
// machine-wide key made by a mere read would outlive an uninstall).
bool IsUpdateCheckEnabled(Registry& registry) {
  RegKey key(registry);
  if (key.Open(RegRoot::LocalMachine, u"Software\\Hivemend", kKeyQueryValue) != kRegOk) return true;
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
  if (end == body.begin()) return false;
  const std::string_view bytes(reinterpret_cast<const char*>(body.data()), static_cast<size_t>(end - body.begin()));
  *text = std::u16string(TrimSpace(ThreadAnsiToUtf16(bytes)));
  return true;
}

UpdateCheckOutcome RunUpdateCheck(const UpdateCheckRun& run, std::u16string* latest) {
  if (run.stop_event == nullptr) Sleep(run.first_wait_ms);
  else if (WaitForSingleObject(run.stop_event, run.first_wait_ms) == WAIT_OBJECT_0) return UpdateCheckOutcome::Stopped;

  if (run.registry != nullptr && !IsUpdateCheckEnabled(*run.registry)) {
    latest->clear();
    return UpdateCheckOutcome::Disabled;
  }

  std::vector<std::uint8_t> body;
  FetchRequest fetch;
  fetch.agent = std::u16string(kUpdateAgentName);
  fetch.url = run.version_url;
  fetch.max_bytes = kMaxVersionBodyBytes;
  fetch.stop_event = run.stop_event;
  fetch.write = [&body](const std::uint8_t* data, std::size_t size) {
    body.insert(body.end(), data, data + size);
    return true;
  };
  switch (FetchHttps(fetch)) {
    case FetchResult::Ok: break;
    case FetchResult::Stopped: return UpdateCheckOutcome::Stopped;
    default: return UpdateCheckOutcome::NoResult;
  }
  std::u16string text;
  if (!VersionTextFromBody(body, &text)) return UpdateCheckOutcome::NoResult;
  *latest = std::move(text);
  return UpdateCheckOutcome::Fetched;
}

}  // namespace hivemend
