// The main window (dialog 129): the list of changes, the buttons that load,
// cancel, clear, check and merge, the status bar, the menu and the timers.
#pragma once

#include <windows.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/Registry.h"

namespace hivemend {

struct MainDialogOptions {
  // TerminateEvent; none: the window never closes on another copy's request.
  HANDLE terminate_event = nullptr;
  // Paths named on the command line, each loaded when the window opens.
  std::vector<std::u16string> startup_arguments;
  // The registry that loads compare with and the merge writes to; none means
  // SystemRegistry().
  Registry* registry = nullptr;
  // Asks for the file to load; empty means the open-file dialog. For tests.
  std::function<std::optional<std::u16string>(HWND owner)> choose_file;
  // Shows a folder to the user; empty means the shell. For tests.
  std::function<void(HWND owner, const std::u16string& folder)> open_folder;
  // How long one turn of applying a load's results to the window may last
  // before the window answers other messages. Tests make it short.
  unsigned load_turn_ms = 30;
};

// Shows the main window modally and returns its result: 0 for File Exit and a
// terminate request, 2 for the close box and Escape.
INT_PTR ShowMainDialog(const MainDialogOptions& options);

// Window messages of the main window (WM_APP range).
inline constexpr UINT kLoadChannelMessage = WM_APP + 1;  // load operations wait to be taken
inline constexpr UINT kTerminateMessage = WM_APP + 2;    // a terminate request, passed on

// Timer ids.
inline constexpr UINT_PTR kTerminatePollTimer = 4881;
inline constexpr UINT_PTR kUpdatePollTimer = 4882;
inline constexpr UINT_PTR kRepaintTimer = 4883;
inline constexpr UINT_PTR kContinueTimer = 4884;  // the next turn of taking load operations

}  // namespace hivemend
