// The list of changes on screen: an owner-data list view (control 1005) that
// shows the rows of the window's EntryStore that its filter shows (line n is
// the store's row ShownRow(n)), with check boxes that the program keeps in
// the store. The selection and the focus are kept in the store too,
// with their rows: the list view's own selection marks positions, so it is
// mirrored into the rows as it changes and put back from them whenever rows
// move (inserts during a load, sorts, removals). User-interface thread only.
#pragma once

#include <windows.h>

#include <commctrl.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

#include "app/ListRules.h"
#include "engine/Compare.h"
#include "engine/EntryStore.h"
#include "engine/RowFilter.h"

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

  // A new row from a load, placed by its first column and hidden when the
  // filter hides it. The list shows it after the next ShowNewRows.
  // Returns its index in the store.
  size_t AddRow(ChangeEntry&& entry);
  // The filter whose flags the rows have (FilterBar applies a new one).
  const RowFilter& filter() const { return filters_.applied(); }
  // The filters whose flags the rows keep.
  FilterSets& filters() { return filters_; }
  bool any_selection() const { return any_selection_; }
  // The rows' flags follow the pass's filter now: the list shows its rows.
  // Hidden rows keep their checks; their selection counts only once they show
  // again. The list shows the selection the pass noted (a slice of lines at a
  // time: ShowSelectionSlice) unless the selection changed since
  // selection_changes() said selection_seen.
  void FilterApplied(const FilterPass& pass, std::uint64_t selection_seen);
  // Counts the user's changes of the selection.
  std::uint64_t selection_changes() const { return selection_changes_; }
  // Shows the next selected lines of the last FilterApplied for about budget;
  // true once all are shown (or the user has changed the selection meanwhile).
  bool ShowSelectionSlice(std::chrono::steady_clock::duration budget);
  bool selection_pending() const { return !selection_runs_.empty(); }
  // Selects the next (previous) line after the current row, wrapping around,
  // and shows it; false when no line is shown.
  bool SelectNextShown(bool forward);
  // The line that shows a row of the store; none when it is not shown.
  std::optional<int> LineOf(size_t row) const;
  // Shows the rows added since the last time: now, or when the last time is at
  // least kShowIntervalMs ago (the window calls this on a timer too).
  void ShowNewRows(bool now);
  // Whether ShowNewRows(false) would show rows now. Showing them costs the list
  // view's scroll bar update (tens of milliseconds at a million rows under Wine).
  bool NewRowsDue() const {
    return store_.shown_size() != shown_count_ && GetTickCount64() - last_shown_ >= kShowIntervalMs;
  }
  // After rows were removed from the store by someone else (the merge).
  void RefreshCount();

  void Clear();
  // A click on a column header: flips the column's sort flag and sorts; the
  // column's header shows the direction.
  void SortByColumn(int column);
  // The last sort: its column (-1: none, the rows in the order of their first
  // column) and direction.
  int sort_column() const { return sort_.column(); }
  bool sort_ascending() const { return sort_.ascending(); }
  // Takes a remembered sort as the last sort (the next click on its column
  // sorts the other way); the rows are sorted by it when the next load ends.
  void SetSort(int column, bool ascending);
  // A load has ended: rows it added are placed by the last sort, which the
  // header then shows again (SortMark).
  void ApplyRememberedSort();
  // While set (a merge runs on another thread and reads the rows), nothing
  // changes the rows: clicks, keys, sorts and rules are refused; the rows can
  // still be viewed, scrolled and selected.
  void set_locked(bool locked) { locked_ = locked; }
  bool locked() const { return locked_; }
  void ApplyRule(CheckRule rule);

  // Called after the user changed a check box (click, space bar, rule, menu).
  void set_on_checks_changed(std::function<void()> f) { on_checks_changed_ = std::move(f); }
  // Selects every row shown (Ctrl+A).
  void SelectAll();
  // Sets the check of every selected row.
  void CheckSelected(bool checked);
  // The row whose details Enter and the row menu show: the focused row when
  // it is selected, else the first selected row; none without a selection.
  std::optional<size_t> CurrentRow() const;
  size_t SelectedCount() const;
  // The selected rows as the console front end prints them: a header line,
  // then one tab-separated line per row, in list order.
  std::u16string SelectedRowsText();
  // The statuses of the rows in the list, and how many are checked (shown or
  // hidden by the filter).
  CompareCounts Counts();
  size_t CheckedCount();

  // WM_NOTIFY from the list view; true when handled, with *result to return.
  bool OnNotify(const NMHDR& header, LRESULT* result);

 private:
  static LRESULT CALLBACK SubclassProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam,
                                       UINT_PTR id, DWORD_PTR self);
  bool OnMouseDown(LPARAM lparam);
  void ToggleSelected();
  void ChecksChanged();
  // The list view's selection and focus changed: the rows take them over.
  void OnItemChanged(const NMLISTVIEW& change);
  void OnRangeChanged(const NMLVODSTATECHANGE& change);
  // Puts the rows' selection and focus back into the list view.
  void ShowSelection();
  void ShowSortArrow(int column, bool ascending);
  void GetDisplayInfo(LVITEMW& item) const;
  int FindByPrefix(const NMLVFINDITEMW& find) const;

  static constexpr ULONGLONG kShowIntervalMs = 500;
  HWND list_ = nullptr;
  size_t shown_count_ = 0;  // the lines the list view was told of
  FilterSets filters_;
  ULONGLONG last_shown_ = 0;
  EntryStore store_;
  ColumnSortFlags sort_flags_;
  SortMark sort_;
  bool locked_ = false;
  void Resort();
  std::function<void()> on_checks_changed_;
  bool showing_selection_ = false;  // the list view's notifications come from ShowSelection
  bool any_selection_ = false;      // a row may be selected or focused
  bool hidden_selection_ = false;   // a row the filter hides may be selected
  std::uint64_t selection_changes_ = 0;
  // The lines whose selection FilterApplied has still to show (runs of lines
  // to deselect, then to select), the next line, and selection_changes_ and
  // the store's version when they were noted.
  struct LineRun {
    size_t first, last;
    bool select;
  };
  static constexpr unsigned kSelectionSliceMs = 10;
  std::vector<LineRun> selection_runs_;
  size_t next_selection_run_ = 0, next_selected_line_ = 0;
  std::uint64_t selection_runs_seen_ = 0, selection_runs_version_ = 0;
};

}  // namespace hivemend
