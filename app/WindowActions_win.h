// What the main window asks of the system for its commands: the open-file
// dialog, the registry editor, and starting the program again as
// administrator. User-interface thread.
#pragma once

#include <windows.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "engine/EntryStore.h"

namespace hivemend {

// The open-file dialog for a .REG file, starting in folder (none: the
// system's choice). Nothing when the user cancels.
std::optional<std::u16string> ChooseRegFile(HWND owner, const std::u16string& folder);

// Opens the registry editor at a key ("HKEY_CURRENT_USER\Software\..."): sets
// the editor's last-opened key for the user and starts it.
void OpenInRegistryEditor(const std::u16string& key);

// Starts this program again, as administrator, on files with the same rows
// checked (the selection goes in a file of its own, named after
// checked_switch). start runs the new copy with its arguments and returns 0
// or the system's error code. Returns that code; the selection file is removed
// when the start failed.
long RestartWithCheckedRows(
    EntryStore& store, const std::vector<std::u16string>& files, const std::u16string& checked_switch,
    const std::function<long(const std::vector<std::u16string>& arguments)>& start);

}  // namespace hivemend
