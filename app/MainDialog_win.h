// The main window (dialog 129): the list of changes, the buttons that load,
// cancel, clear, check and merge, the status bar, the menu, and the threads
// that it owns: its loads, the update check and the wait for another copy's
// close request. It stops and joins them all before it is gone.
#pragma once

#include <windows.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/UpdateDownload_win.h"
#include "app/WindowThreads_win.h"
#include "msgbox/MessageBoxParams.h"
#include "platform/Registry.h"

namespace hivemend {

// Everything the options point to must outlive the window.
struct MainDialogOptions {
  // TerminateEvent; none: the window never closes on another copy's request.
  HANDLE terminate_event = nullptr;
  // Paths named on the command line, each loaded when the window opens.
  std::vector<std::u16string> startup_arguments;
  // The registry that loads compare with and the merge writes to; none means
  // SystemRegistry().
  Registry* registry = nullptr;
  // The settings of the merge's result messages; none: the message box's
  // defaults.
  const MessageBoxParams* message_box_params = nullptr;
  // The update check, run on a thread of the window; empty means
  // CheckForUpdate (UpdateCheck_win.h). For tests.
  UpdateCheckFunction check_for_update;
  // The installer download after a Yes to the update prompt, run on a thread
  // of the window; empty means InstallUpdate (InstallUpdate_win.h). For tests.
  InstallFunction install_update;
  // Asks for the file to load; empty means the open-file dialog. For tests.
  std::function<std::optional<std::u16string>(HWND owner)> choose_file;
  // Shows a folder to the user; empty means the shell. For tests.
  std::function<void(HWND owner, const std::u16string& folder)> open_folder;
  // Shows a file where it lies, selected in its folder; empty means the file
  // browser. For tests.
  std::function<void(HWND owner, const std::u16string& file)> show_in_folder;
  // The history folder of undo files and error logs; empty means
  // HistoryFolder(). For tests.
  std::function<std::u16string()> history_folder;
  // Opens the registry editor at a key ("HKEY_CURRENT_USER\Software\..."); empty
  // means: set the editor's last-opened key for the user and start it. For tests.
  std::function<void(const std::u16string& key)> open_registry_editor;
  // How long one turn of applying a load's results to the window may last
  // before the window answers other messages. Tests make it short.
  unsigned load_turn_ms = 30;
  // The key below HKEY_CURRENT_USER (of the registry above) where the window
  // remembers its layout. Tests give a key of their own.
  std::u16string layout_key = u"Software\\Hivemend";
  // Starts the program again as administrator with the arguments: 0 when
  // started, else the system's error code (1223: the user said no). Empty
  // means the system's consent prompt. For tests; when set, the merge offers
  // the restart even where the program already runs as administrator.
  std::function<long(const std::vector<std::u16string>& arguments)> restart_elevated;
  // A file naming the rows to check in each startup file (CheckedLinesText),
  // written by the copy that restarted this one; read and removed when the
  // window opens.
  std::u16string checked_lines_file;
};

// The switch that names that file, followed by its path.
inline constexpr char16_t kCheckedSwitch[] = u"/checked";

// Shows the main window modally and returns its result: 0 for File Exit and a
// terminate request, 2 for the close box and Escape.
INT_PTR ShowMainDialog(const MainDialogOptions& options);

// Messages that the window's threads post to it (WM_APP range).
inline constexpr UINT kLoadChannelMessage = WM_APP + 1;  // load operations wait to be taken
inline constexpr UINT kTerminateMessage = WM_APP + 2;    // payload: TerminateRequest
inline constexpr UINT kUpdateResultMessage = WM_APP + 3; // payload: UpdateResult
inline constexpr UINT kMergeMessage = WM_APP + 4;        // the merge worker waits for the window
inline constexpr UINT kUpdateDoneMessage = WM_APP + 8;   // payload: UpdateDownloadDone

// Timer ids.
inline constexpr UINT_PTR kRepaintTimer = 4883;
inline constexpr UINT_PTR kContinueTimer = 4884;  // the next turn of taking load operations
inline constexpr UINT_PTR kMergeProgressTimer = 4885;

}  // namespace hivemend
