// The update check's steps on the worker thread, apart from the thread itself,
// so that tests can run them against their own registry and server.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/Registry.h"

namespace hivemend {

struct UpdateCheckRun {
  Registry* registry = nullptr;
  HANDLE stop_event = nullptr;  // when set, ends the first wait or the fetch; may be null
  DWORD first_wait_ms = 5000;   // before anything else
  std::u16string version_url;
};

enum class UpdateCheckOutcome {
  Stopped,   // stop_event was set during the first wait or the fetch
  Disabled,  // UpdateCheckEnabled is 0; *latest empty
  Fetched,   // *latest holds the trimmed text
  NoResult,  // no connection, a failed or non-200 answer, an empty body or one above 4 KB
};

// HKEY_LOCAL_MACHINE\Software\Hivemend "UpdateCheckEnabled": false only when
// the key can be created or opened, the value read as 4 bytes, and it is 0.
bool IsUpdateCheckEnabled(Registry& registry);

// Runs the check once. *latest is not touched for Stopped and NoResult.
UpdateCheckOutcome RunUpdateCheck(const UpdateCheckRun& run, std::u16string* latest);

// The body as text: the bytes up to the first zero byte, converted from the
// thread's ANSI code page, with surrounding white space removed. False when no
// byte comes before the first zero byte.
bool VersionTextFromBody(const std::vector<std::uint8_t>& body, std::u16string* text);

}  // namespace hivemend
