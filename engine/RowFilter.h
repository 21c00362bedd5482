// The list's filter: which rows the window shows. A row is shown when it
// passes the status choice and, when there is a text, the text is found,
// without regard to letter case, in its key, its value name or one of its two
// data columns (the list's one-line texts). The store keeps each row's
// hidden flag and counts the rows shown (EntryStore), so rows that a load adds
// or a merge removes keep the count right.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/ChangeEntry.h"
#include "engine/EntryStore.h"

namespace hivemend {

// The status choice: every row, the rows whose merge would change the
// registry (WouldChange), or the rows of one status.
struct StatusChoice {
  enum class Kind { All, WouldChange, Status };
  Kind kind = Kind::All;
  EntryStatus status = EntryStatus::Missing;  // for Kind::Status
  bool operator==(const StatusChoice&) const = default;
};

// The choices in the order the window offers them, and their texts: "All
// rows", "Rows that would change", then "MISSING", ... "CHANGED TYPE".
inline constexpr size_t kStatusChoiceCount = 7;
StatusChoice StatusChoiceAt(size_t index);
std::u16string StatusChoiceText(size_t index);

class RowFilter {
 public:
  RowFilter() = default;
  RowFilter(std::u16string_view text, StatusChoice choice);

  // Whether the filter hides nothing.
  bool empty() const { return needle_.empty() && choice_.kind == StatusChoice::Kind::All; }
  const std::u16string& text() const { return text_; }
  const StatusChoice& choice() const { return choice_; }

  bool Matches(const ChangeEntry& entry) const;
  // Forgets what it learnt of keys (before keys may go: a merge, a clear).
  void ForgetKeys() const { key_cache_.clear(); }
  // Whether the text alone is found in the row (the status choice aside).
  bool TextMatches(const ChangeEntry& entry) const;
  // Whether every row this filter shows is shown by the other one as well
  // (the same choice, and a text that contains the other's), so that going
  // from other to this needs to look only at the rows other shows.
  bool Narrows(const RowFilter& other) const;

  // Sets every row's hidden flag. previous: the filter the flags were last set
  // with; when this one narrows it, only the rows shown are looked at.
  void Apply(EntryStore& store, const RowFilter* previous = nullptr) const;

 private:
  bool Contains(std::u16string_view haystack) const;
  bool ColumnContains(const ChangeEntry& entry, int column) const;

  std::u16string text_;
  std::u16string needle_;  // folded
  StatusChoice choice_;
  // Whether the text is in the path of keys looked at lately. Valid while
  // the keys live: Apply empties it when it ends; Matches callers that keep
  // a filter across changes of the store call ForgetKeys.
  struct KeyMatch {
    const EntryKey* key = nullptr;
    bool matches = false;
  };
  static constexpr size_t kKeyCacheSize = 1 << 14;
  mutable std::vector<KeyMatch> key_cache_;
};

// A filter applied to a large store a slice of time at a time, so that the
// window answers between slices. The rows keep the flags of the filter applied
// before until the last step sets them all at once. Rows added, removed or
// reordered between steps make the pass start again.
class FilterPass {
 public:
  // applied: the filter whose flags the rows have now.
  FilterPass(EntryStore& store, RowFilter target, const RowFilter& applied);
  // Looks at rows for about budget (at least one chunk of rows); true once
  // every row has been looked at and the flags are set.
  bool Step(std::chrono::steady_clock::duration budget);
  const RowFilter& target() const { return target_; }

 private:
  void Restart();

  EntryStore& store_;
  RowFilter target_;
  bool shown_only_ = false;  // the target narrows the applied filter
  std::uint64_t version_ = 0;
  size_t next_chunk_ = 0;
};

// "Showing N of M rows".
std::u16string ShowingRowsText(size_t shown, size_t total);

// What the merge question adds about the checked rows that the filter hides:
// "\r\n\r\nN of the M checked rows are hidden by the filter." or nothing.
std::u16string HiddenCheckedText(EntryStore& store);

}  // namespace hivemend
