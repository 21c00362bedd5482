// The command as the window runs it: the system's registry, the user's history
// folder and the message box settings that start-up filled. Kept apart from
// MergeCommand_win.cpp so that tests of the command need no start-up code.
#include "app/Startup.h"
#include "merge/MergeCommand.h"
#include "platform/HistoryFolder.h"

namespace hivemend {

void RunMergeCommand(HWND owner, EntryStore& store, Registry* registry) {
  if (registry == nullptr) registry = SystemRegistry();
  if (registry == nullptr) return;
  RunMergeCommandWith(owner, store, *registry, HistoryFolder, &ProcessMessageBoxParams());
}

}  // namespace hivemend
