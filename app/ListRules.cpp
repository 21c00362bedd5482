#include "app/ListRules.h"

#include "platform/Text.h"

namespace hivemend {

void SortRows(EntryStore& store, int column, bool ascending) {
  if (column < 0 || column >= kColumnCount) return;
  // A stable sort keeps the order of rows that compare equal; the descending
  // order is the reverse comparison, not the reversed result.
  if (ascending) {
    store.Reorder([column](const EntryStore::Row& a, const EntryStore::Row& b) {
      return CompareNoCase(a.entry.Column(column), b.entry.Column(column)) < 0;
    });
  } else {
    store.Reorder([column](const EntryStore::Row& a, const EntryStore::Row& b) {
      return CompareNoCase(a.entry.Column(column), b.entry.Column(column)) > 0;
    });
  }
}

std::optional<CheckRule> CheckRuleFromText(std::u16string_view text) {
  static constexpr std::pair<std::u16string_view, CheckRule> kRules[] = {
      {u"all", CheckRule::All},         {u"none", CheckRule::None},       {u"invert", CheckRule::Invert},
      {u"changed", CheckRule::Changed}, {u"missing", CheckRule::Missing},
  };
  if (text.empty()) return std::nullopt;
  for (const auto& [name, rule] : kRules)
    if (EqualsNoCase(text, name)) return rule;
  return std::nullopt;
}

std::optional<bool> CheckedByRule(CheckRule rule, std::u16string_view status, bool checked) {
  switch (rule) {
    case CheckRule::All: return true;
    case CheckRule::None: return false;
    case CheckRule::Invert: return !checked;
    case CheckRule::Changed:
      if (status.empty()) return std::nullopt;
      return FoldAscii(status.front()) == u'c';
    case CheckRule::Missing:
      if (status.empty()) return std::nullopt;
      return EqualsNoCase(status, u"missing");
  }
  return std::nullopt;
}

void ApplyCheckRule(EntryStore& store, CheckRule rule) {
  store.ForEach([rule](EntryStore::Row& row) {
    if (const auto checked = CheckedByRule(rule, row.entry.status, row.checked)) row.checked = *checked;
  });
}

}  // namespace hivemend
