// The merge history (dialog 140): the merges of the history folder, newest
// first, each with its time, merged files, rows and whether errors were
// logged, read from the comment lines at the start of each undo file when its
// line is shown (ReadMergeRecord). "Preview undo" (or a double-click, or Enter) ends the dialog
// with the chosen undo file for the window to load; "Show in folder" shows it
// selected in its folder and leaves the dialog open.
#pragma once

#include <windows.h>

#include <functional>
#include <optional>
#include <string>

namespace hivemend {

struct HistoryDialogOptions {
  std::u16string folder;
  // Shows a file selected in its folder; empty: the file browser.
  std::function<void(HWND owner, const std::u16string& file)> show_in_folder;
};

// Shows the dialog modally, owned by owner. Returns the undo file to preview,
// or nothing when the dialog was closed.
std::optional<std::u16string> ShowHistoryDialog(HWND owner, const HistoryDialogOptions& options);

}  // namespace hivemend
