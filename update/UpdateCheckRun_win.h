// The update check's steps on the worker thread, apart from the thread itself,
// so that tests can run them against their own registry, events and server.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/Registry.h"

namespace hivemend {

struct UpdateCheckRun {
  Registry* registry = nullptr;
  HANDLE terminate_event = nullptr;  // may be null: then there is no first wait
  DWORD terminate_wait_ms = 5000;
  HANDLE done_event = nullptr;
  HWND window = nullptr;             // receives terminate_message when the wait
  UINT terminate_message = 0;        // uses up another copy's close request
  std::u16string version_url;
};

enum class UpdateCheckOutcome {
  CloseRequested,  // the first wait took a close request and passed it on
  Disabled,        // UpdateCheckEnabled is 0; done_event set, text empty
  Fetched,         // *latest holds the trimmed text; done_event set
  NoResult,        // no connection, a failed or non-200 answer, an empty body
};

// HKEY_LOCAL_MACHINE\Software\Hivemend "UpdateCheckEnabled": false only when
// the key can be created or opened, the value read as 4 bytes, and it is 0.
bool IsUpdateCheckEnabled(Registry& registry);

// Runs the check once. *latest is written before done_event is set and is not
// touched for CloseRequested and NoResult.
UpdateCheckOutcome RunUpdateCheck(const UpdateCheckRun& run, std::u16string* latest);

// The body as text: the bytes up to the first zero byte, converted from the
// thread's ANSI code page, with surrounding white space removed. False when no
// byte comes before the first zero byte.
bool VersionTextFromBody(const std::vector<std::uint8_t>& body, std::u16string* text);

}  // namespace hivemend
