// The list's sort rules and its checked lines, over the portable store. No Windows here:
// the window calls these, and the native tests check them.
#pragma once

#include <array>
#include <optional>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/CheckRules.h"
#include "engine/EntryStore.h"

namespace hivemend {

// One flag per column, all false at start; true means the column's next sort
// is ascending. Kept for the whole process (not reset by "Clear all" or a load).
class ColumnSortFlags {
 public:
  // Flips the column's flag and returns the new value: the first click on a
  // column sorts ascending, the next descending, and so on.
  bool Flip(int column) { return flags_.at(static_cast<size_t>(column)) ^= true; }
  bool Get(int column) const { return flags_.at(static_cast<size_t>(column)); }
  void Set(int column, bool ascending) { flags_.at(static_cast<size_t>(column)) = ascending; }

 private:
  std::array<bool, kColumnCount> flags_{};
};

// Which sort the list's header shows. The header's arrow names the last sort
// only while the rows stand in its order: rows that a load adds are placed by
// their first column, so they break it until the load ends and the rows are
// sorted again by the last sort.
class SortMark {
 public:
  // The rows have just been sorted by column (-1: never sorted).
  void Sorted(int column, bool ascending) {
    column_ = column;
    ascending_ = ascending;
    in_order_ = column >= 0;
  }
  // A sort the rows are to take when the next load ends (a saved layout's).
  void Remember(int column, bool ascending) {
    Sorted(column, ascending);
    in_order_ = false;
  }
  void RowsAdded() { in_order_ = false; }
  // The list is empty: any order holds.
  void Cleared() { in_order_ = column_ >= 0; }
  // The column whose header shows the arrow, -1 for none.
  int ArrowColumn() const { return in_order_ ? column_ : -1; }
  // A load has ended: whether the rows are to be sorted by the last sort.
  bool ResortDue() const { return column_ >= 0 && !in_order_; }
  int column() const { return column_; }
  bool ascending() const { return column_ >= 0 && ascending_; }

 private:
  int column_ = -1;
  bool ascending_ = false;
  bool in_order_ = false;
};

// What a left click on the list does where it falls, by the list view's hit
// test flags (LVHT_ONITEMICON 0x2, LVHT_ONITEMLABEL 0x4, LVHT_ONITEMSTATEICON
// 0x8) and where the row's check box (its state image) lies. Only a click on
// the check box itself toggles its row: a list view with full-row selection
// reports a click anywhere on a row as a hit on all three parts at once, the
// state image included, and such a click selects.
inline constexpr unsigned kHitOnItemIcon = 0x2;
inline constexpr unsigned kHitOnItemLabel = 0x4;
inline constexpr unsigned kHitOnItemStateIcon = 0x8;
inline bool ClickTogglesCheck(unsigned hit_flags, int x, int box_left, int box_right) {
  const unsigned on_item = hit_flags & (kHitOnItemIcon | kHitOnItemLabel | kHitOnItemStateIcon);
  if (on_item == kHitOnItemStateIcon) return true;  // the list view told the check box apart itself
  return (on_item & kHitOnItemStateIcon) && box_left <= x && x < box_right;
}

// Sorts the rows by one column's text, compared without regard to case (A-Z
// folded, then code unit by code unit, a prefix first): so "10" comes before
// "9" and "0x10" before "0x9". Rows whose texts compare equal keep their order.
void SortRows(EntryStore& store, int column, bool ascending);

// The checked rows of each file, so that a copy of the program started anew
// on the same files checks the same rows: one line per file, in the order
// given, holding the line numbers of its checked rows as ascending ranges
// ("3-7,12,15"), or "-" for none; CR LF after each.
std::u16string CheckedLinesText(EntryStore& store, const std::vector<std::u16string>& files);
// The line numbers of each line of such a text, ascending; none for a text
// that is not one.
std::optional<std::vector<std::vector<std::uint32_t>>> ParseCheckedLines(std::u16string_view text);

}  // namespace hivemend
