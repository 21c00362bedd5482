// The filter above the list: a box whose text a row must contain (in its key,
// value name or either data column, without regard to letter case) and a
// status choice. A change applies the filter a slice of time at a time on the
// window's thread (FilterPass), so that the window answers between slices at
// a million rows; a new change starts it again. While it runs, the loads'
// rows wait. The status bar says "Showing N of M rows" while a filter is set.
// User-interface thread only.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "app/ChangeList_win.h"
#include "app/StatusBar_win.h"
#include "engine/RowFilter.h"

namespace hivemend {

// The filter's next slice: a timer, or a message the window posts to itself.
inline constexpr UINT_PTR kFilterTimer = 4890;
inline constexpr UINT kFilterSliceMessage = WM_APP + 9;

class FilterBar {
 public:
  // hold_loads(true) while a pass runs, (false) when it has ended.
  void Attach(HWND window, ChangeList& list, StatusBar& status, std::function<void(bool)> hold_loads);

  // The box's and the choice's notifications and the filter's keys (Ctrl+F,
  // F3, Shift+F3, Escape and Enter in the box); true when taken.
  bool OnCommand(int id, int code);
  // kFilterTimer or kFilterSliceMessage: the next slice.
  void OnNext();
  // "Showing N of M rows" (nothing without a filter; "Filtering M rows ..."
  // while a pass runs), after rows came or went.
  void ShowCounts();
  bool running() const { return pass_.has_value(); }

 private:
  RowFilter Wanted() const;
  void Restart();
  void Continue();
  void Next();
  // F3 and Shift+F3: the selection moves to the next (previous) row shown.
  void FindNext(bool forward);

  static constexpr unsigned kSliceMs = 20;
  HWND window_ = nullptr;
  HWND edit_ = nullptr;
  HWND choice_ = nullptr;
  ChangeList* list_ = nullptr;
  StatusBar* status_ = nullptr;
  std::function<void(bool)> hold_loads_;
  std::optional<FilterPass> pass_;
  bool next_posted_ = false;
  std::uint64_t selection_seen_ = 0;  // the list's selection_changes() when the pass began
  std::u16string shown_text_;
};

}  // namespace hivemend
