#include "engine/RowFilter.h"

#include <cstdint>

#include "engine/MergeEffect.h"
#include "platform/Text.h"

namespace hivemend {

namespace {
bool HasControlCharacter(std::u16string_view text) {
  for (char16_t c : text) {
    if (c < 0x20 || (c >= 0x7F && c <= 0x9F)) return true;
  }
  return false;
}

constexpr EntryStatus kStatuses[] = {EntryStatus::Missing, EntryStatus::Delete, EntryStatus::Same,
                                     EntryStatus::Changed, EntryStatus::ChangedType};
}  // namespace

StatusChoice StatusChoiceAt(size_t index) {
  if (index == 1) return {StatusChoice::Kind::WouldChange};
  if (index >= 2 && index < kStatusChoiceCount) return {StatusChoice::Kind::Status, kStatuses[index - 2]};
  return {};
}

std::u16string StatusChoiceText(size_t index) {
  if (index == 0) return u"All rows";
  if (index == 1) return u"Rows that would change";
  return std::u16string(StatusText(StatusChoiceAt(index).status));
}

RowFilter::RowFilter(std::u16string_view text, StatusChoice choice) : text_(text), choice_(choice) {
  needle_.reserve(text.size());
  for (char16_t c : text) needle_ += FoldRegistryChar(c);
}

bool RowFilter::Contains(std::u16string_view haystack) const {
  if (needle_.size() > haystack.size()) return false;
  const char16_t first = needle_[0];
  const size_t last_start = haystack.size() - needle_.size();
  for (size_t i = 0; i <= last_start; ++i) {
    if (FoldRegistryChar(haystack[i]) != first) continue;
    size_t k = 1;
    while (k < needle_.size() && FoldRegistryChar(haystack[i + k]) == needle_[k]) ++k;
    if (k == needle_.size()) return true;
  }
  return false;
}

bool RowFilter::ColumnContains(const ChangeEntry& entry, int column) const {
  thread_local std::u16string scratch;
  scratch.clear();
  entry.AppendColumnText(column, scratch, DataTextStyle::OneLine);
  return Contains(scratch);
}

bool RowFilter::TextMatches(const ChangeEntry& entry) const {
  if (needle_.empty()) return true;
  if (key_cache_.empty()) key_cache_.assign(kKeyCacheSize, KeyMatch{});
  // Rows share their key's path: each key is looked at about once, also when
  // a sort has scattered its rows.
  const EntryKey* key = &entry.key();
  KeyMatch& cached = key_cache_[(reinterpret_cast<std::uintptr_t>(key) >> 4) % kKeyCacheSize];
  if (cached.key != key) cached = {key, Contains(key->path)};
  if (cached.matches || Contains(entry.name())) return true;
  // Text without control characters reads as the list shows it: searched
  // where it is, without making the column's text.
  if (entry.form() == EntryForm::String && !HasControlCharacter(entry.file_text())) {
    if (Contains(entry.file_text())) return true;
  } else if (ColumnContains(entry, 5)) {
    return true;
  }
  return ColumnContains(entry, 6);
}

bool RowFilter::Matches(const ChangeEntry& entry) const {
  switch (choice_.kind) {
    case StatusChoice::Kind::All: break;
    case StatusChoice::Kind::WouldChange:
      if (!WouldChange(entry)) return false;
      break;
    case StatusChoice::Kind::Status:
      if (entry.status() != choice_.status) return false;
      break;
  }
  return TextMatches(entry);
}

bool RowFilter::Narrows(const RowFilter& other) const {
  return choice_ == other.choice_ && needle_.find(other.needle_) != std::u16string::npos;
}

void RowFilter::Apply(EntryStore& store, const RowFilter* previous) const {
  key_cache_.assign(kKeyCacheSize, KeyMatch{});
  if (empty()) {
    store.SetHiddenWhere([](const ChangeEntry&) { return false; });
  } else if (previous != nullptr && Narrows(*previous)) {
    store.SetHiddenWhere([&](const ChangeEntry& entry) { return !Matches(entry); }, /*shown_only=*/true);
  } else {
    store.SetHiddenWhere([&](const ChangeEntry& entry) { return !Matches(entry); });
  }
  key_cache_.clear();  // keys may go with their rows, and others take their place
}

FilterPass::FilterPass(EntryStore& store, RowFilter target, const RowFilter& applied)
    : store_(store), target_(std::move(target)), shown_only_(!target_.empty() && target_.Narrows(applied)) {
  Restart();
}

void FilterPass::Restart() {
  version_ = store_.version();
  next_chunk_ = 0;
  target_.ForgetKeys();
}

bool FilterPass::Step(std::chrono::steady_clock::duration budget) {
  if (store_.version() != version_) Restart();
  const auto end = std::chrono::steady_clock::now() + budget;
  const bool all = target_.empty();
  const auto hides = [&](const ChangeEntry& entry) { return !all && !target_.Matches(entry); };
  while (next_chunk_ < store_.chunk_count()) {
    store_.MarkHidden(next_chunk_++, hides, shown_only_);
    if (std::chrono::steady_clock::now() >= end) break;
  }
  if (next_chunk_ < store_.chunk_count()) return false;
  store_.CommitMarks();
  target_.ForgetKeys();  // keys may go with their rows before the next pass
  return true;
}

std::u16string ShowingRowsText(size_t shown, size_t total) {
  return u"Showing " + Decimal(shown) + u" of " + Decimal(total) + u" rows";
}

std::u16string HiddenCheckedText(EntryStore& store) {
  size_t checked = 0, hidden = 0;
  store.ForEach([&](const EntryStore::Row& row) {
    checked += row.checked;
    hidden += row.checked && store.IsHidden(row);
  });
  if (hidden == 0) return {};
  return u"\r\n\r\n" + Decimal(hidden) + u" of the " + Decimal(checked) + u" checked rows are hidden by the filter.";
}

}  // namespace hivemend
