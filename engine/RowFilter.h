// The list's filter: which rows the window shows. A row is shown when it
// passes the status choice and, when there is a text, the text is found,
// without regard to letter case, in its key, its value name or one of its two
// data columns (the list's one-line texts). The store keeps each row's
// hidden flag and counts the rows shown (EntryStore), so rows that a load adds
// or a merge removes keep the count right.
#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
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
  // (the other's choice is "All rows" or this one's, and this text contains
  // the other's).
  bool Narrows(const RowFilter& other) const;
  // The rows that going from the filter applied to this one has to look at:
  // only the rows shown when this narrows it, only the rows hidden when it
  // narrows this, else every row.
  EntryStore::Looked RowsToLookAt(const RowFilter& applied) const;

  // Sets every row's hidden flag. previous: the filter the flags were last set
  // with (RowsToLookAt).
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

// The filters whose flags the rows keep (EntryStore's sets of flags): the one
// applied, whose flags the store reads, and the last ones applied before,
// which a pass takes back at once while no rows have come, gone or moved.
class FilterSets {
 public:
  const RowFilter& applied() const { return filters_[active_]; }
  // The set that holds the flags of a filter with the same text and choice.
  std::optional<unsigned> Find(const RowFilter& filter, std::uint64_t version) const;
  // The set to mark a new filter in: the one used least lately, which
  // forgets its filter.
  unsigned TakeSpare();
  // A set's flags follow filter now, and it is the active set.
  void Committed(unsigned set, const RowFilter& filter, std::uint64_t version);

 private:
  static constexpr unsigned kSets = EntryStore::kFlagSets;
  std::array<RowFilter, kSets> filters_;
  std::array<std::optional<std::uint64_t>, kSets> versions_;  // when the flags were right
  std::array<std::uint64_t, kSets> used_{};
  std::uint64_t clock_ = 0;
  unsigned active_ = 0;
};

// A filter applied to a large store a slice of time at a time, so that the
// window answers between slices. The rows keep the flags of the filter applied
// before until the last step sets them all at once. Rows added, removed or
// reordered between steps make the pass start again.
//
// On the way the pass notes where the selection stands under the new filter,
// so that the list can show it again without looking at every row.
class FilterPass {
 public:
  // Where the selected rows stand under the target: runs of lines [first,
  // last], in order, and the focused row's line; the same under the filter
  // applied before (old_runs, old_focus: what the list shows until the pass
  // ends); whether any row (shown or hidden) is selected or has the focus,
  // and whether a row the target hides is selected.
  using Runs = std::vector<std::pair<size_t, size_t>>;
  struct Selection {
    Runs runs, old_runs;
    std::optional<size_t> focus, old_focus;
    bool any = false, hidden = false;
  };

  // sets: the store's filters (the one applied, and those kept). Without
  // note_selection, selection() stays empty.
  FilterPass(EntryStore& store, RowFilter target, FilterSets& sets, bool note_selection = true);
  // Looks at rows for about budget, or until interrupted() says that the
  // thread is wanted elsewhere (asked after each chunk; at least one chunk of
  // rows is looked at); true once every row has been looked at and the flags
  // are set.
  bool Step(std::chrono::steady_clock::duration budget, const std::function<bool()>& interrupted = {});
  const RowFilter& target() const { return target_; }
  // Once Step has returned true.
  const Selection& selection() const { return selection_; }

 private:
  void Restart();

  EntryStore& store_;
  RowFilter target_;
  FilterSets& sets_;
  bool note_selection_;
  unsigned set_ = 0;      // the set the target's flags go to
  bool recalled_ = false;  // that set holds them already
  EntryStore::Looked looked_ = EntryStore::Looked::All;
  std::uint64_t version_ = 0;
  size_t next_chunk_ = 0;
  size_t next_line_ = 0, next_old_line_ = 0;  // the lines of the next row shown
  Selection selection_;
};

// "Showing N of M rows".
std::u16string ShowingRowsText(size_t shown, size_t total);

// What the merge question adds about the checked rows that the filter hides:
// "\r\n\r\nN of the M checked rows are hidden by the filter." or nothing.
std::u16string HiddenCheckedText(EntryStore& store);

}  // namespace hivemend
