// A resizable dialog's frame: keeps its controls anchored to their edges
// (WindowLayout.h), enforces the minimum size, fits the window to the work area
// of its monitor, and lays everything out again for a new DPI. Owned by the
// window; user-interface thread only.
#pragma once

#include <windows.h>

#include <utility>
#include <vector>

#include "app/SavedLayout.h"
#include "app/WindowLayout.h"
#include "platform/UniqueHandle_win.h"

namespace hivemend {

// The DPI of a window's monitor (96 where the system cannot tell).
UINT WindowDpi(HWND window);
// The work area of the monitor nearest to a rectangle.
Rect WorkAreaNear(const Rect& rect);
Rect ToRect(const RECT& r);
RECT ToRECT(const Rect& r);

class WindowFrame {
 public:
  // Takes the controls' present places in the client area as their base, for
  // a client area of the template's size (in dialog units: the system may
  // have made the window smaller than its template before this). status_bar
  // may be nullptr; it places itself along the bottom edge.
  void Attach(HWND window, Size template_units, const std::vector<std::pair<int, std::uint8_t>>& anchors,
              HWND status_bar, HWND list);
  // Centres the window on its monitor's work area, no larger than it.
  void FitToWorkArea();

  void OnSize(int cx, int cy);
  void OnGetMinMaxInfo(MINMAXINFO& info) const;
  // WM_DPICHANGED: fonts, controls, list columns and status bar parts for the
  // new DPI, then the window to the suggested rectangle.
  void OnDpiChanged(UINT dpi, const RECT& suggested);

  // Puts the window where the layout says, scaled to this DPI and brought
  // onto the nearest monitor's work area, with its column widths and order.
  void Restore(const SavedLayout& layout);
  // The window's present layout (the folder left empty).
  SavedLayout Capture() const;
  // Moves the window down and right, step by step, while the top-left corner
  // of another window that bears the property (another copy's) is where its
  // own would be.
  void MoveOffOthers(const wchar_t* property);

  UINT dpi() const { return dpi_; }
  // The least client size at which every control stays usable.
  Size MinimumClient() const;

 private:
  HWND window_ = nullptr;
  HWND status_bar_ = nullptr;
  HWND list_ = nullptr;
  UINT dpi_ = 96;
  AnchorLayout layout_;
  ScopedGdiObject font_;  // the dialog's font after a DPI change
};

}  // namespace hivemend
