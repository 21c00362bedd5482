// The About box (dialog 103): "Hivemend" and the program version, laid out
// for its monitor's DPI and again when that changes.
#pragma once

#include <windows.h>

namespace hivemend {

// Shows the About box modally, owned by owner; returns the id that closed it.
INT_PTR ShowAboutDialog(HWND owner);

}  // namespace hivemend
