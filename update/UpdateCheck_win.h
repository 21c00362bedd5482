// The update check as the main window uses it.
//
// The window runs CheckForUpdate on a worker thread that it owns, passes the
// text it returns to its own thread, and there calls RunUpdatePrompt with it,
// at most once. After a Yes it runs InstallUpdate (InstallUpdate_win.h) on a
// worker of its own.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <string_view>

namespace hivemend {

// UpdateCheckWorker's steps with the system registry and the configured
// server: waits 5000 ms, reads the switch and fetches the version text.
// Returns the text to offer, or nothing: the check is switched off, the server
// gave no text, or stop_event (an event that the caller sets to stop the
// check, or none) was set during the wait.
std::optional<std::u16string> CheckForUpdate(HANDLE stop_event);

// Offers latest_version when it is newer than the program's own; on the
// window's thread. True when the user answered Yes.
bool RunUpdatePrompt(HWND owner, std::u16string_view latest_version);

}  // namespace hivemend
