// The list of changes on screen: an owner-data list view (control 1005) that
// shows the rows of the window's EntryStore, with check boxes that the program
// keeps in the store. User-interface thread only.
#pragma once

#include <windows.h>

#include <commctrl.h>

#include "app/ListRules.h"
#include "engine/EntryStore.h"

namespace hivemend {

class ChangeList {
 public:
  ChangeList() = default;
  ChangeList(const ChangeList&) = delete;
  ChangeList& operator=(const ChangeList&) = delete;

  // Columns, extended styles and the handling of check boxes; once, during the
  // window's initialisation.
  void Attach(HWND list);
  HWND handle() const { return list_; }
  EntryStore& store() { return store_; }

  // A new row from a load, placed by its first column. The list shows it after
  // the next ShowNewRows.
  void AddRow(ChangeEntry&& entry);
  // Shows the rows added since the last time: now, or when the last time is at
  // least kShowIntervalMs ago (the window calls this on a timer too).
  void ShowNewRows(bool now);
  // After rows were removed from the store by someone else (the merge).
  void RefreshCount();

  void Clear();
  // A click on a column header: flips the column's sort flag and sorts.
  void SortByColumn(int column);
  void ApplyRule(CheckRule rule);

  // WM_NOTIFY from the list view; true when handled, with *result to return.
  bool OnNotify(const NMHDR& header, LRESULT* result);

 private:
  static LRESULT CALLBACK SubclassProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam,
                                       UINT_PTR id, DWORD_PTR self);
  bool OnMouseDown(LPARAM lparam);
  void ToggleSelected();
  void GetDisplayInfo(LVITEMW& item) const;
  int FindByPrefix(const NMLVFINDITEMW& find) const;

  static constexpr ULONGLONG kShowIntervalMs = 500;
  HWND list_ = nullptr;
  size_t shown_count_ = 0;
  ULONGLONG last_shown_ = 0;
  EntryStore store_;
  ColumnSortFlags sort_flags_;
};

}  // namespace hivemend
