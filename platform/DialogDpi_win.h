// Dialogs for the DPI of their monitor: the DPI of a window or a monitor,
// system figures and fonts for a DPI, and the rescaling of a dialog of fixed
// layout on WM_DPICHANGED. The per-DPI functions of Windows 10 are looked up
// at run time; where they are missing the system DPI's figures are scaled.
// User-interface thread only.
#pragma once

#include <windows.h>

#include "platform/UniqueHandle_win.h"

namespace hivemend {

// The DPI of the system (96 where it cannot tell).
UINT SystemDpi();
// The DPI a window is shown at; the system DPI where the system cannot tell.
UINT DpiOfWindow(HWND window);
// The effective DPI of a monitor; the system DPI where the system cannot tell.
UINT DpiOfMonitor(HMONITOR monitor);

// GetSystemMetrics(index) for a DPI.
int SystemMetricForDpi(int index, UINT dpi);
// The non-client metrics (and so the message and caption fonts) for a DPI.
// False, and metrics untouched, when the system gives none.
bool NonClientMetricsForDpi(UINT dpi, NONCLIENTMETRICSW* metrics);
// The dialog base units of the system font (what GetDialogBaseUnits gives at
// the system DPI: its average character width and its height) for a DPI.
SIZE DialogBaseUnitsForDpi(UINT dpi);
// The outer size of a window whose client area has the given size, at a DPI.
SIZE WindowSizeForClient(SIZE client, DWORD style, DWORD ex_style, UINT dpi);
// The icon of a module (or a system icon with module nullptr) at the icon
// size of a DPI; nullptr when it does not load. The caller owns it.
ScopedIcon LoadIconForDpi(HMODULE module, const wchar_t* name, UINT dpi);

// A dialog of fixed layout that follows the DPI itself: the dialog manager
// leaves it alone on a DPI change (call at WM_INITDIALOG).
void TakeOverDialogDpiScaling(HWND dialog);
// A copy of a font with its height scaled by to / from; nullptr on failure.
ScopedGdiObject ScaledFont(HFONT font, UINT from_dpi, UINT to_dpi);
// WM_DPICHANGED for a dialog of fixed layout: every child's edges scaled by
// to / from in the client area, font (when not nullptr) given to the dialog and
// every child, then the window put on the suggested rectangle. The caller
// keeps font alive as long as the dialog.
void RescaleDialog(HWND dialog, UINT from_dpi, UINT to_dpi, HFONT font, const RECT& suggested);

}  // namespace hivemend
