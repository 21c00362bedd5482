#include "engine/CheckRules.h"

#include <utility>

#include "engine/MergeEffect.h"
#include "platform/Text.h"

namespace hivemend {

std::optional<CheckRule> CheckRuleFromText(std::u16string_view text) {
  static constexpr std::pair<std::u16string_view, CheckRule> kRules[] = {
      {u"all", CheckRule::All},         {u"none", CheckRule::None},       {u"invert", CheckRule::Invert},
      {u"changed", CheckRule::Changed}, {u"missing", CheckRule::Missing}, {u"differ", CheckRule::Differ},
  };
  if (text.empty()) return std::nullopt;
  for (const auto& [name, rule] : kRules)
    if (EqualsNoCase(text, name)) return rule;
  return std::nullopt;
}

bool CheckedByRule(CheckRule rule, const ChangeEntry& entry, bool checked) {
  const EntryStatus status = entry.status();
  switch (rule) {
    case CheckRule::All: return true;
    case CheckRule::None: return false;
    case CheckRule::Invert: return !checked;
    case CheckRule::Changed: return status == EntryStatus::Changed || status == EntryStatus::ChangedType;
    case CheckRule::Missing: return status == EntryStatus::Missing;
    case CheckRule::Differ: return WouldChange(entry);
  }
  return checked;
}

void ApplyCheckRule(EntryStore& store, CheckRule rule, RefusedRows refused) {
  const bool refused_checked = refused == RefusedRows::CheckedByAll && rule == CheckRule::All;
  store.ForEach([&](EntryStore::Row& row) {
    row.checked = row.entry.refused() ? refused_checked : CheckedByRule(rule, row.entry, row.checked);
  });
}

}  // namespace hivemend
