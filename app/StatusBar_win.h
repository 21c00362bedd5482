// The main window's status bar: five parts (the load's line text, the counts
// of the rows' statuses, the checked count, the lines the last load could not
// read, and while a filter is set the rows it shows) whose widths follow the
// window's
// (StatusPartEdges), texts cut with an ellipsis where a part is too narrow,
// and paint held back while a load sends texts faster than anyone can read
// them. User-interface thread only.
#pragma once

#include <windows.h>

#include <string>

namespace hivemend {

class StatusBar {
 public:
  enum Part { kLine = 0, kCounts = 1, kChecked = 2, kRefusedLines = 3, kShowing = 4 };

  // Creates the bar along the bottom edge of parent.
  void Create(HWND parent);
  HWND handle() const { return bar_; }
  // After the parent's size or DPI changed.
  void Layout(int dpi);

  void Set(int part, const std::u16string& text);
  // The rows the filter shows ("Showing N of M rows"); empty: no filter, and
  // the part takes no room.
  void SetShowing(const std::u16string& text);
  // Empties every part but the checked count (before a load, with the list).
  void ClearTexts();
  // A load's text: set at once, painted at most four times a second while
  // loads run (busy), at once when none does.
  void SetHeld(int part, const std::u16string& text, bool busy);
  // Paints what was held back; due_only: only when the last paint is a
  // quarter of a second old.
  void ShowHeld(bool due_only = false);

 private:
  static LRESULT CALLBACK SubclassProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam, UINT_PTR id,
                                       DWORD_PTR self);
  void Paint(HDC dc);

  static constexpr ULONGLONG kHeldIntervalMs = 250;
  HWND bar_ = nullptr;
  int dpi_ = 96;
  bool showing_ = false;
  bool held_ = false;
  ULONGLONG shown_at_ = 0;
};

}  // namespace hivemend
