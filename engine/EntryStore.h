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
#include <cstddef>
#include <memory>
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
  };

  EntryStore();
  ~EntryStore();
  EntryStore(const EntryStore&) = delete;
  EntryStore& operator=(const EntryStore&) = delete;

  size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }

  // Returns the new row's index.
  size_t Insert(ChangeEntry entry);
  Row& at(size_t index);
  const Row& at(size_t index) const;
  // Removes one row and gives back its entry (with its data block).
  ChangeEntry Remove(size_t index);
  void Clear();

  // Calls f(Row&) for every row from the first to the last.
  template <typename F>
  void ForEach(F&& f) {
    for (auto& chunk : chunks_)
      for (auto& row : chunk) f(*row);
  }

  // Reorders all rows (a stable sort with the given "less" of two rows). Later
  // inserts are placed by their first column again.
  template <typename Less>
  void Reorder(Less&& less) {
    std::vector<std::unique_ptr<Row>> all = TakeAll();
    std::stable_sort(all.begin(), all.end(),
                     [&](const std::unique_ptr<Row>& a, const std::unique_ptr<Row>& b) { return less(*a, *b); });
    PutAll(std::move(all));
  }

  // The same, ordered by a key that key(row) gives (for example a view of one
  // column's text) and compared with less. The keys sit side by side while
  // sorting, so this is much faster than Reorder for large stores.
  template <typename Key, typename Less>
  void ReorderByKey(Key&& key, Less&& less) {
    std::vector<std::unique_ptr<Row>> all = TakeAll();
    using K = std::decay_t<decltype(key(std::declval<const Row&>()))>;
    std::vector<std::pair<K, size_t>> keys;
    keys.reserve(all.size());
    for (size_t i = 0; i < all.size(); ++i) keys.emplace_back(key(*all[i]), i);
    std::stable_sort(keys.begin(), keys.end(),
                     [&](const std::pair<K, size_t>& a, const std::pair<K, size_t>& b) { return less(a.first, b.first); });
    std::vector<std::unique_ptr<Row>> sorted;
    sorted.reserve(all.size());
    for (const auto& k : keys) sorted.push_back(std::move(all[k.second]));
    PutAll(std::move(sorted));
  }

 private:
  using Chunk = std::vector<std::unique_ptr<Row>>;
  std::pair<size_t, size_t> Locate(size_t index) const;  // chunk, offset
  // Row counts per chunk as a Fenwick tree, so that the index of a chunk's
  // first row and the chunk of an index cost log(chunks). Rebuilt when chunks
  // are added or removed, updated when a chunk grows or shrinks.
  void RebuildCounts();
  void AddToCount(size_t chunk, std::ptrdiff_t delta);
  size_t RowsBefore(size_t chunk) const;
  std::vector<std::unique_ptr<Row>> TakeAll();
  void PutAll(std::vector<std::unique_ptr<Row>> rows);

  std::vector<Chunk> chunks_;
  size_t size_ = 0;
  std::vector<size_t> counts_;  // the Fenwick tree over chunk sizes
};

}  // namespace hivemend
