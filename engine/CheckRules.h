// The check rules: which rows a rule checks, for the window's Check box and
// the console's --rule.
#pragma once

#include <optional>
#include <string_view>

#include "engine/ChangeEntry.h"
#include "engine/EntryStore.h"

namespace hivemend {

// Differ checks the rows whose merge would change the registry (WouldChange).
enum class CheckRule { All, None, Invert, Changed, Missing, Differ };

// The rule named by a text ("all", "none", "invert", "changed", "missing",
// "differ", in any letter case); none for an empty or other text.
std::optional<CheckRule> CheckRuleFromText(std::u16string_view text);

// The check state a rule gives a row that is checked or not now.
bool CheckedByRule(CheckRule rule, const ChangeEntry& entry, bool checked);

// What a rule does with a row of a line that could not be read: the window
// leaves it unchecked (only a hand checks it), the console's "all" checks it
// so that the merge names it in the error log.
enum class RefusedRows { Unchecked, CheckedByAll };

// Applies a rule to every row, from the first to the last.
void ApplyCheckRule(EntryStore& store, CheckRule rule, RefusedRows refused = RefusedRows::Unchecked);

}  // namespace hivemend
