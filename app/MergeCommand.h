// The window's merge command: what "Merge checked changes into registry" does.
// Called by the main window, on its thread.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "engine/EntryStore.h"
#include "merge/Merge.h"
#include "msgbox/MessageBoxParams.h"
#include "platform/Registry.h"

namespace hivemend {

// Merges the checked rows of store into registry (Merge.h), with every box
// owned by owner: the question and the error boxes are the platform's, the
// outcome is shown by the program's message box with params (none: its
// defaults). The undo file and the error log go into the folder that
// history_folder names. Returns when the last box has been closed; the rows it
// applied are gone from store, and the caller refreshes what shows them.
// Rows the account may not write are named first; offer_restart adds the
// choice to start again as administrator (result.restart), which is the
// caller's to do.
MergeResult RunMergeCommand(HWND owner, EntryStore& store, Registry& registry,
                            const std::function<std::u16string()>& history_folder,
                            const MessageBoxParams* params, bool offer_restart = false);

}  // namespace hivemend
