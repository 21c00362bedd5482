// The window's merge command: what "Merge checked changes into registry" does.
// Windows only; called on the window's thread.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "engine/EntryStore.h"
#include "merge/Merge.h"
#include "msgbox/MessageBoxParams.h"
#include "platform/Registry.h"

namespace hivemend {

// Merges the checked rows of store into the registry (Merge.h), with every box
// owned by owner: the question and the error boxes are the platform's, the
// outcome is shown by the program's message box with the process-wide
// settings. Returns when the last box has been closed; the rows it applied are
// gone from store, and the caller refreshes what shows them. registry: the one
// the rows were compared with; null means the system's.
void RunMergeCommand(HWND owner, EntryStore& store, Registry* registry = nullptr);

// The same with the registry, the history folder and the message box settings
// given.
MergeResult RunMergeCommandWith(HWND owner, EntryStore& store, Registry& registry,
                                const std::function<std::u16string()>& history_folder,
                                const MessageBoxParams* params);

}  // namespace hivemend
