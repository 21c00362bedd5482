// The list's sort and check rules, over the portable store. No Windows here:
// the window calls these, and the native tests check them.
#pragma once

#include <array>
#include <optional>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

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

// Applies a rule to every row, from the first to the last; a row of a line
// that could not be read ends unchecked whatever the rule.
void ApplyCheckRule(EntryStore& store, CheckRule rule);

// The checked rows of each file, so that a copy of the program started anew
// on the same files checks the same rows: one line per file, in the order
// given, holding the line numbers of its checked rows as ascending ranges
// ("3-7,12,15"), or "-" for none; CR LF after each.
std::u16string CheckedLinesText(EntryStore& store, const std::vector<std::u16string>& files);
// The line numbers of each line of such a text, ascending; none for a text
// that is not one.
std::optional<std::vector<std::vector<std::uint32_t>>> ParseCheckedLines(std::u16string_view text);

}  // namespace hivemend
