#include "app/ListRules.h"

#include "platform/Text.h"

namespace hivemend {

void SortRows(EntryStore& store, int column, bool ascending) {
  if (column < 0 || column >= kColumnCount) return;
  // The column texts are made once and folded (A-Z to a-z) into one buffer,
  // side by side; comparing two folded texts code unit by code unit as
  // unsigned numbers, a prefix first, is then the comparison without regard
  // to case. A row's key is its text's place in the buffer, which may move
  // while it fills.
  using At = std::pair<size_t, size_t>;
  std::u16string folded;
  auto key = [&](const EntryStore::Row& row) {
    const size_t start = folded.size();
    row.entry.AppendColumnText(column, folded);
    for (size_t i = start; i < folded.size(); ++i) folded[i] = FoldAscii(folded[i]);
    return At(start, folded.size() - start);
  };
  auto text = [&](At at) { return std::u16string_view(folded).substr(at.first, at.second); };
  // A stable sort keeps the order of rows that compare equal; the descending
  // order is the reverse comparison, not the reversed result.
  if (ascending) {
    store.ReorderByKey(key, [&](At a, At b) { return text(a) < text(b); });
  } else {
    store.ReorderByKey(key, [&](At a, At b) { return text(b) < text(a); });
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

bool CheckedByRule(CheckRule rule, EntryStatus status, bool checked) {
  switch (rule) {
    case CheckRule::All: return true;
    case CheckRule::None: return false;
    case CheckRule::Invert: return !checked;
    case CheckRule::Changed: return status == EntryStatus::Changed || status == EntryStatus::ChangedType;
    case CheckRule::Missing: return status == EntryStatus::Missing;
  }
  return checked;
}

void ApplyCheckRule(EntryStore& store, CheckRule rule) {
  store.ForEach([rule](EntryStore::Row& row) {
    row.checked = CheckedByRule(rule, row.entry.status(), row.checked);
  });
}

}  // namespace hivemend
