#include "app/ListRules.h"

#include "platform/Text.h"

namespace hivemend {

void SortRows(EntryStore& store, int column, bool ascending) {
  if (column < 0 || column >= kColumnCount) return;
  // The texts are folded (A-Z to a-z) once into one buffer, side by side;
  // comparing two folded texts code unit by code unit as unsigned numbers, a
  // prefix first, is then the comparison without regard to case.
  size_t total = 0;
  store.ForEach([&](EntryStore::Row& row) { total += row.entry.Column(column).size(); });
  std::u16string folded;
  folded.reserve(total);  // never grows past this: the views below stay valid
  auto key = [&](const EntryStore::Row& row) {
    const std::u16string& text = row.entry.Column(column);
    const size_t start = folded.size();
    for (char16_t c : text) folded.push_back(FoldAscii(c));
    return std::u16string_view(folded).substr(start, text.size());
  };
  // A stable sort keeps the order of rows that compare equal; the descending
  // order is the reverse comparison, not the reversed result.
  if (ascending) {
    store.ReorderByKey(key, [](std::u16string_view a, std::u16string_view b) { return a < b; });
  } else {
    store.ReorderByKey(key, [](std::u16string_view a, std::u16string_view b) { return b < a; });
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
