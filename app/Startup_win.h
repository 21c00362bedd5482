// Process start-up and the request between copies: TerminateEvent, the
// message box settings, the command line and the main window.
#pragma once

#include <windows.h>

#include <string_view>

namespace hivemend {

// The one channel between copies: another copy started with "/terminate" sets
// it; a running window waits on it. Auto-reset: one request releases one waiter.
inline constexpr wchar_t kTerminateEventName[] = L"Local\\{29f953fe-bd27-11e5-9912-ba0be0483c18}";

// True for "/terminate" in any letter case, as a whole argument.
bool IsTerminateSwitch(std::u16string_view argument);

// The whole life of the process: returns its exit code. 0 after "/terminate"
// (2 s after setting a running copy's event) and after File Exit or a
// terminate request; 2 after the close box or Escape. "/sethandler" and
// "/removehandler" do their work without a window and end with 0, or 1 when
// it failed. The first of the three switches decides; every other argument is
// then dropped.
int RunHivemend(int argc, wchar_t** argv);

}  // namespace hivemend
