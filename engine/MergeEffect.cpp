#include "engine/MergeEffect.h"

#include <algorithm>

namespace hivemend {
namespace {

// The comparison read the value (live() is set) or at least saw it: when the
// value grew between its two queries the status says it exists though no
// bytes were kept.
bool ValueExists(const ChangeEntry& entry) {
  if (entry.live() == LiveState::Absent) return false;
  return entry.live() != LiveState::None ||
         (entry.status() != EntryStatus::Missing && entry.status() != EntryStatus::Delete);
}

}  // namespace

bool WouldChange(const ChangeEntry& entry) {
  if (!entry.root() || entry.form() == EntryForm::Unknown) return false;
  if (entry.form() == EntryForm::DeleteValue) return ValueExists(entry);
  // A key deletion changes what exists; a key creation, a key that does not.
  if (entry.form() == EntryForm::DeleteKey) return entry.status() == EntryStatus::ChangedType;
  if (entry.form() == EntryForm::CreateKey) return entry.status() != EntryStatus::Same;
  // Absent, or present but unread (its bytes unknown): a write changes it.
  if (entry.live() == LiveState::None || entry.live() == LiveState::Absent) return true;
  if (entry.live_type() != entry.type()) return true;
  const auto file = entry.file_bytes();
  const auto live = entry.live_bytes();
  return !std::equal(file.begin(), file.end(), live.begin(), live.end());
}

}  // namespace hivemend
