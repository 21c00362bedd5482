// The list's sort and check rules, over the portable store. No Windows here:
// the window calls these, and the native tests check them.
#pragma once

#include <array>
#include <optional>
#include <string_view>

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

 private:
  std::array<bool, kColumnCount> flags_{};
};

// Sorts the rows by one column's text, compared without regard to case (A-Z
// folded, then code unit by code unit, a prefix first): so "10" comes before
// "9" and "0x10" before "0x9". Rows whose texts compare equal keep their order.
void SortRows(EntryStore& store, int column, bool ascending);

enum class CheckRule { All, None, Invert, Changed, Missing };

// The rule named by a combo box text ("all", "none", "invert", "changed",
// "missing", in any letter case); none for an empty or other text.
std::optional<CheckRule> CheckRuleFromText(std::u16string_view text);

// The check state a rule gives a row with this status and state.
bool CheckedByRule(CheckRule rule, EntryStatus status, bool checked);

// Applies a rule to every row, from the first to the last.
void ApplyCheckRule(EntryStore& store, CheckRule rule);

}  // namespace hivemend
