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
  return (other.choice_.kind == StatusChoice::Kind::All || choice_ == other.choice_) &&
         needle_.find(other.needle_) != std::u16string::npos;
}

EntryStore::Looked RowFilter::RowsToLookAt(const RowFilter& applied) const {
  if (Narrows(applied)) return EntryStore::Looked::Shown;
  if (applied.Narrows(*this)) return EntryStore::Looked::Hidden;
  return EntryStore::Looked::All;
}

void RowFilter::Apply(EntryStore& store, const RowFilter* previous) const {
  key_cache_.assign(kKeyCacheSize, KeyMatch{});
  const EntryStore::Looked looked = previous != nullptr ? RowsToLookAt(*previous) : EntryStore::Looked::All;
  if (empty()) {
    store.SetHiddenWhere([](const ChangeEntry&) { return false; }, looked);
  } else {
    store.SetHiddenWhere([&](const ChangeEntry& entry) { return !Matches(entry); }, looked);
  }
  key_cache_.clear();  // keys may go with their rows, and others take their place
}

std::optional<unsigned> FilterSets::Find(const RowFilter& filter, std::uint64_t version) const {
  const auto same = [&](unsigned set) {
    return filters_[set].text() == filter.text() && filters_[set].choice() == filter.choice();
  };
  if (same(active_)) return active_;  // the store keeps the active set's flags right
  for (unsigned set = 0; set < kSets; ++set) {
    if (versions_[set] == version && same(set)) return set;
  }
  return std::nullopt;
}

unsigned FilterSets::TakeSpare() {
  unsigned spare = active_ == 0 ? 1 : 0;
  for (unsigned set = 0; set < kSets; ++set) {
    if (set != active_ && used_[set] < used_[spare]) spare = set;
  }
  versions_[spare].reset();  // its flags change from now on
  return spare;
}

void FilterSets::Committed(unsigned set, const RowFilter& filter, std::uint64_t version) {
  versions_[active_] = version;  // the store kept the flags of the set active until now right
  versions_[set] = version;
  filters_[set] = filter;
  used_[set] = ++clock_;
  active_ = set;
}

FilterPass::FilterPass(EntryStore& store, RowFilter target, FilterSets& sets, bool note_selection)
    : store_(store), target_(std::move(target)), sets_(sets), note_selection_(note_selection) {
  Restart();
}

void FilterPass::Restart() {
  version_ = store_.version();
  next_chunk_ = 0;
  next_line_ = next_old_line_ = 0;
  selection_ = {};
  target_.ForgetKeys();
  const std::optional<unsigned> kept = sets_.Find(target_, version_);
  recalled_ = kept.has_value();
  set_ = kept ? *kept : sets_.TakeSpare();
  looked_ = target_.RowsToLookAt(sets_.applied());
}

bool FilterPass::Step(std::chrono::steady_clock::duration budget, const std::function<bool()>& interrupted) {
  if (store_.version() != version_) Restart();
  const auto end = std::chrono::steady_clock::now() + budget;
  const bool all = target_.empty();
  const auto hides = [&](const ChangeEntry& entry) { return !all && !target_.Matches(entry); };
  const auto note = [](Runs& runs, std::optional<size_t>& focus, const EntryStore::Row& row, size_t& line) {
    if (row.selected) {
      if (!runs.empty() && runs.back().second + 1 == line) ++runs.back().second;
      else runs.emplace_back(line, line);
    }
    if (row.focused) focus = line;
    ++line;
  };
  const auto seen = [&](const EntryStore::Row& row, bool hidden) {
    if (!note_selection_) return;
    selection_.any = selection_.any || row.selected || row.focused;
    selection_.hidden = selection_.hidden || (hidden && row.selected);
    if (!hidden) note(selection_.runs, selection_.focus, row, next_line_);
    if (!store_.IsHidden(row)) note(selection_.old_runs, selection_.old_focus, row, next_old_line_);
  };
  // Flags kept from before need no look at the rows but for the selection.
  if (recalled_ && !note_selection_) next_chunk_ = store_.chunk_count();
  while (next_chunk_ < store_.chunk_count()) {
    if (recalled_) store_.SeeChunk(next_chunk_++, set_, seen);
    else store_.MarkHidden(next_chunk_++, set_, hides, looked_, seen);
    if (std::chrono::steady_clock::now() >= end || (interrupted && interrupted())) break;
  }
  if (next_chunk_ < store_.chunk_count()) return false;
  store_.CommitMarks(set_);
  target_.ForgetKeys();  // keys may go with their rows before the next pass
  sets_.Committed(set_, target_, version_);
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
