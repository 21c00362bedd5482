// The list's row menu and the window's keys, as commands of the main window.
// User-interface thread.
#pragma once

#include <windows.h>

#include "app/ChangeList_win.h"
#include "platform/Registry.h"

namespace hivemend {

// The row menu (right-click on a row, Shift+F10 or the context-menu key, when
// position is -1: then it opens at the current row). A right-click on a row
// that is not selected selects it alone. Returns the chosen command, 0 for
// none. registry tells whether the row's key exists (may be null).
int TrackRowMenu(HWND window, ChangeList& list, Registry* registry, LPARAM position);

// The command of a key pressed in the window (Ctrl+O, F5, Ctrl+C, Ctrl+A,
// Enter, Ctrl+F, F3, Shift+F3, and Escape and Enter in the filter box), 0 for
// a key the window leaves to its controls. -1: the row menu.
int CommandForKey(HWND window, ChangeList& list, const MSG& message);

}  // namespace hivemend
