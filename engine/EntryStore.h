// The list of changes: the one store of compared values. The window shows it
// through an owner-data list view; the merge reads and removes rows from it.
//
// Rows are kept in ascending order of their first column's text (compared
// without regard to case, CompareNoCase) as they arrive: a new row goes after
// the rows whose first column compares equal. Inserting costs time in the
// number of rows per chunk, never in the number of rows already there.
// Not thread-safe: the user-interface thread owns it.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <stdexcept>
#include <type_traits>
#include <utility>
#include <vector>

#include "engine/ChangeEntry.h"

namespace hivemend {

class EntryStore {
 public:
  struct Row {
    ChangeEntry entry;
    bool checked = false;  // rows start unchecked
    // The list's selection and focus, kept with the row so that they follow
    // it through inserts, sorts and removals. At most one row has focus.
    bool selected = false;
    bool focused = false;
   private:
    friend class EntryStore;
    // Hidden by the list's filter (RowFilter): two flags, of which the store
    // reads one (IsHidden) while a filter applied in steps sets the other.
    std::uint8_t hidden_bits_ = 0;
  };

  EntryStore();
  ~EntryStore();
  EntryStore(const EntryStore&) = delete;
  EntryStore& operator=(const EntryStore&) = delete;

  size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }

  // Returns the new row's index. The row is shown unless hidden.
  size_t Insert(ChangeEntry entry, bool hidden = false);
  Row& at(size_t index);
  const Row& at(size_t index) const;
  // Removes one row and gives back its entry (with its data block).
  ChangeEntry Remove(size_t index);
  void Clear();

  // The rows the filter shows, and where they stand: the list shows row
  // ShownRow(n) as its n-th line. Both cost log(rows) and a chunk's scan.
  size_t shown_size() const { return shown_; }
  // Whether the filter hides the row; set through the store, which counts the
  // rows shown.
  bool IsHidden(const Row& row) const { return Hidden(row); }
  void SetHidden(size_t index, bool hidden);
  size_t ShownRow(size_t shown_index) const;
  // The line that shows the row at index; none for a hidden row.
  std::optional<size_t> ShownIndexOf(size_t index) const;
  // Which rows a filter has to look at: every row, or, against the filter
  // whose flags the rows have, only the rows shown (a narrower filter: the
  // hidden stay hidden) or only the rows hidden (a wider one: the shown stay
  // shown).
  enum class Looked { All, Shown, Hidden };
  // Sets the hidden flag of every row looked at to hides(const ChangeEntry&).
  template <typename F>
  void SetHiddenWhere(F&& hides, Looked looked = Looked::All) {
    for (size_t c = 0; c < chunks_.size(); ++c) {
      std::uint32_t shown = 0;
      for (Slot slot : chunks_[c]) {
        Row& row = rows_[slot];
        SetFlag(row, active_, HiddenAfter(row, looked, hides));
        shown += !Hidden(row);
      }
      chunk_shown_[c] = shown;
    }
    RebuildCounts();
  }

  // A filter applied in steps (FilterPass). Each row has kFlagSets hidden
  // flags: the active set, which the store reads, and others. Each step
  // marks the rows of one chunk in another set; the last makes that set the
  // active one, in time of the number of chunks, not of rows. The set active
  // before keeps its flags, so a filter applied before can be taken back at
  // once. Neither changes what at(), size() and ForEach read, so a merge's
  // thread may read the rows meanwhile. Sets other than the active one hold
  // only while the rows stay as they are: version() changes with every
  // insert, removal and reorder. seen(const Row&, bool hidden) sees every row
  // of the chunk in order, with its mark.
  static constexpr unsigned kFlagSets = 8;
  unsigned active_set() const { return active_; }
  size_t chunk_count() const { return chunks_.size(); }
  std::uint64_t version() const { return version_; }
  template <typename F, typename Seen>
  void MarkHidden(size_t chunk, unsigned set, F&& hides, Looked looked, Seen&& seen) {
    std::vector<std::uint32_t>& marked = set_shown_.at(set);
    if (set == active_) throw std::logic_error("EntryStore marks the active set");
    if (marked.size() != chunks_.size()) marked.resize(chunks_.size());
    std::uint32_t shown = 0;
    for (Slot slot : chunks_.at(chunk)) {
      Row& row = rows_[slot];
      const bool hidden = HiddenAfter(row, looked, hides);
      SetFlag(row, set, hidden);
      shown += !hidden;
      seen(static_cast<const Row&>(row), hidden);
    }
    marked[chunk] = shown;
  }
  template <typename F>
  void MarkHidden(size_t chunk, unsigned set, F&& hides, Looked looked = Looked::All) {
    MarkHidden(chunk, set, hides, looked, [](const Row&, bool) {});
  }
  // Makes a set whose every chunk is marked the active one.
  void CommitMarks(unsigned set);
  // Calls seen(const Row&, bool hidden) for every row of a chunk, with the
  // flag of a set.
  template <typename Seen>
  void SeeChunk(size_t chunk, unsigned set, Seen&& seen) const {
    for (Slot slot : chunks_.at(chunk)) seen(rows_[slot], ((rows_[slot].hidden_bits_ >> set) & 1) != 0);
  }

  // Calls f(Row&) for every row from the first to the last.
  template <typename F>
  void ForEach(F&& f) {
    for (auto& chunk : chunks_)
      for (Slot slot : chunk) f(rows_[slot]);
  }

  // Removes every row for which pred(const Row&) holds, keeping the order of
  // the others. Returns how many went.
  template <typename Pred>
  size_t RemoveIf(Pred&& pred) {
    std::vector<Slot> kept;
    kept.reserve(size_);
    size_t removed = 0;
    for (const Chunk& chunk : chunks_) {
      for (Slot slot : chunk) {
        if (pred(static_cast<const Row&>(rows_[slot]))) {
          rows_[slot] = Row{};
          free_slots_.push_back(slot);
          ++removed;
        } else {
          kept.push_back(slot);
        }
      }
    }
    if (removed == 0) return 0;
    ++version_;
    if (kept.empty()) {
      Clear();
      return removed;
    }
    const bool in_order = in_first_column_order_;
    PutAll(std::move(kept));
    in_first_column_order_ = in_order;
    return removed;
  }

  // Reorders all rows (a stable sort with the given "less" of two rows). Later
  // inserts are placed by their first column again.
  template <typename Less>
  void Reorder(Less&& less) {
    std::vector<Slot> all = TakeAll();
    std::stable_sort(all.begin(), all.end(), [&](Slot a, Slot b) { return less(rows_[a], rows_[b]); });
    PutAll(std::move(all));
  }

  // The same, ordered by keys given in the present row order (keys[i] is the
  // key of row i) and compared with less. The keys sit side by side while
  // sorting, so this is much faster than Reorder for large stores.
  template <typename K, typename Less>
  void ReorderByKeys(const std::vector<K>& keys, Less&& less) {
    std::vector<Slot> all = TakeAll();
    if (keys.size() != all.size()) throw std::invalid_argument("EntryStore keys");
    std::vector<std::pair<K, Slot>> sorted;
    sorted.reserve(all.size());
    for (size_t i = 0; i < all.size(); ++i) sorted.emplace_back(keys[i], all[i]);
    std::stable_sort(sorted.begin(), sorted.end(),
                     [&](const std::pair<K, Slot>& a, const std::pair<K, Slot>& b) { return less(a.first, b.first); });
    for (size_t i = 0; i < sorted.size(); ++i) all[i] = sorted[i].second;
    PutAll(std::move(all));
  }

 private:
  // Rows live in slots that never move; the order is a list of slot numbers
  // cut into chunks. A removed row's slot is reused.
  using Slot = std::uint32_t;
  using Chunk = std::vector<Slot>;
  std::pair<size_t, size_t> Locate(size_t index) const;  // chunk, offset
  // Row counts per chunk as a Fenwick tree, so that the index of a chunk's
  // first row and the chunk of an index cost log(chunks). Rebuilt when chunks
  // are added or removed, updated when a chunk grows or shrinks.
  void RebuildCounts();
  void AddToCount(size_t chunk, std::ptrdiff_t delta);
  size_t RowsBefore(size_t chunk) const;
  size_t ShownBefore(size_t chunk) const;
  void AddToShown(size_t chunk, std::ptrdiff_t delta);
  std::uint32_t CountShown(const Chunk& chunk) const;
  bool Hidden(const Row& row) const { return (row.hidden_bits_ >> active_) & 1; }
  template <typename F>
  bool HiddenAfter(const Row& row, Looked looked, F& hides) const {
    switch (looked) {
      case Looked::Shown: return Hidden(row) || hides(static_cast<const ChangeEntry&>(row.entry));
      case Looked::Hidden: return Hidden(row) && hides(static_cast<const ChangeEntry&>(row.entry));
      case Looked::All: break;
    }
    return hides(static_cast<const ChangeEntry&>(row.entry));
  }
  static void SetFlag(Row& row, unsigned bit, bool hidden) {
    row.hidden_bits_ = static_cast<std::uint8_t>((row.hidden_bits_ & ~(1u << bit)) | (unsigned{hidden} << bit));
  }
  std::vector<Slot> TakeAll();
  void PutAll(std::vector<Slot> order);
  static Chunk NewChunk();

  // Where the last row went, while nothing else has changed since.
  struct LastInsert {
    Slot slot;
    size_t chunk;
    size_t offset;
  };
  std::optional<LastInsert> last_insert_;
  bool in_first_column_order_ = true;  // false after a sort, until Clear

  std::deque<Row> rows_;
  std::vector<Slot> free_slots_;
  std::vector<Chunk> chunks_;
  size_t size_ = 0;
  std::vector<size_t> counts_;  // the Fenwick tree over chunk sizes
  std::vector<std::uint32_t> chunk_shown_;  // rows shown per chunk
  std::vector<size_t> shown_counts_;        // the Fenwick tree over chunk_shown_
  size_t shown_ = 0;
  std::uint64_t version_ = 0;
  unsigned active_ = 0;  // which flag of a row says it is hidden
  // Rows shown per chunk by the other sets of flags (that of the active set
  // is chunk_shown_).
  std::array<std::vector<std::uint32_t>, kFlagSets> set_shown_;
};

}  // namespace hivemend
