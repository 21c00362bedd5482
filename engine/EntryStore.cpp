#include "engine/EntryStore.h"

#include <algorithm>
#include <limits>
#include <stdexcept>

#include "platform/Text.h"

namespace hivemend {
namespace {
constexpr size_t kChunkLimit = 1024;  // a chunk is split in two beyond this
}

EntryStore::EntryStore() : counts_(1, 0), shown_counts_(1, 0) {}
EntryStore::~EntryStore() = default;

void EntryStore::RebuildCounts() {
  counts_.assign(chunks_.size() + 1, 0);
  shown_counts_.assign(chunks_.size() + 1, 0);
  shown_ = 0;
  for (size_t c = 0; c < chunks_.size(); ++c) {
    for (size_t i = c + 1; i < counts_.size(); i += i & (~i + 1)) {
      counts_[i] += chunks_[c].size();
      shown_counts_[i] += chunk_shown_[c];
    }
    shown_ += chunk_shown_[c];
  }
}

void EntryStore::AddToShown(size_t chunk, std::ptrdiff_t delta) {
  chunk_shown_[chunk] = static_cast<std::uint32_t>(chunk_shown_[chunk] + delta);
  shown_ = static_cast<size_t>(static_cast<std::ptrdiff_t>(shown_) + delta);
  for (size_t i = chunk + 1; i < shown_counts_.size(); i += i & (~i + 1)) shown_counts_[i] += static_cast<size_t>(delta);
}

size_t EntryStore::ShownBefore(size_t chunk) const {
  size_t sum = 0;
  for (size_t i = chunk; i > 0; i -= i & (~i + 1)) sum += shown_counts_[i];
  return sum;
}

std::uint32_t EntryStore::CountShown(const Chunk& chunk) const {
  std::uint32_t n = 0;
  for (Slot slot : chunk) n += !Hidden(rows_[slot]);
  return n;
}

void EntryStore::SetHidden(size_t index, bool hidden) {
  const auto [c, o] = Locate(index);
  Row& row = rows_[chunks_[c][o]];
  if (Hidden(row) == hidden) return;
  SetFlag(row, active_, hidden);
  AddToShown(c, hidden ? -1 : 1);
}

void EntryStore::CommitMarks(unsigned set) {
  if (set == active_) return;
  if (set_shown_.at(set).size() != chunks_.size()) throw std::logic_error("EntryStore marks");
  std::vector<std::uint32_t> shown = std::move(set_shown_[set]);
  set_shown_[active_] = std::move(chunk_shown_);
  chunk_shown_ = std::move(shown);
  set_shown_[set].clear();
  active_ = set;
  // Only the counts of the rows shown: a merge may read the rows on its own
  // thread meanwhile, through the counts of all rows.
  shown_counts_.assign(chunks_.size() + 1, 0);
  shown_ = 0;
  for (size_t c = 0; c < chunks_.size(); ++c) {
    for (size_t i = c + 1; i < shown_counts_.size(); i += i & (~i + 1)) shown_counts_[i] += chunk_shown_[c];
    shown_ += chunk_shown_[c];
  }
}

size_t EntryStore::ShownRow(size_t shown_index) const {
  if (shown_index >= shown_) throw std::out_of_range("EntryStore shown index");
  if (shown_ == size_) return shown_index;
  size_t pos = 0;
  size_t remaining = shown_index;
  size_t step = 1;
  while (step * 2 < shown_counts_.size()) step *= 2;
  for (; step > 0; step /= 2) {
    if (pos + step < shown_counts_.size() && shown_counts_[pos + step] <= remaining) {
      pos += step;
      remaining -= shown_counts_[pos];
    }
  }
  const Chunk& chunk = chunks_[pos];
  for (size_t o = 0; o < chunk.size(); ++o) {
    if (Hidden(rows_[chunk[o]])) continue;
    if (remaining-- == 0) return RowsBefore(pos) + o;
  }
  throw std::logic_error("EntryStore shown counts");
}

std::optional<size_t> EntryStore::ShownIndexOf(size_t index) const {
  if (shown_ == size_ && index < size_) return index;
  const auto [c, o] = Locate(index);
  const Chunk& chunk = chunks_[c];
  if (Hidden(rows_[chunk[o]])) return std::nullopt;
  size_t n = ShownBefore(c);
  for (size_t k = 0; k < o; ++k) n += !Hidden(rows_[chunk[k]]);
  return n;
}

void EntryStore::AddToCount(size_t chunk, std::ptrdiff_t delta) {
  for (size_t i = chunk + 1; i < counts_.size(); i += i & (~i + 1)) counts_[i] += static_cast<size_t>(delta);
}

size_t EntryStore::RowsBefore(size_t chunk) const {
  size_t sum = 0;
  for (size_t i = chunk; i > 0; i -= i & (~i + 1)) sum += counts_[i];
  return sum;
}

std::pair<size_t, size_t> EntryStore::Locate(size_t index) const {
  if (index >= size_) throw std::out_of_range("EntryStore index");
  // Descend the tree: the last chunk whose rows before it are <= index.
  size_t pos = 0;
  size_t remaining = index;
  size_t step = 1;
  while (step * 2 < counts_.size()) step *= 2;
  for (; step > 0; step /= 2) {
    if (pos + step < counts_.size() && counts_[pos + step] <= remaining) {
      pos += step;
      remaining -= counts_[pos];
    }
  }
  return {pos, remaining};
}

EntryStore::Row& EntryStore::at(size_t index) {
  const auto [c, o] = Locate(index);
  return rows_[chunks_[c][o]];
}

const EntryStore::Row& EntryStore::at(size_t index) const {
  const auto [c, o] = Locate(index);
  return rows_[chunks_[c][o]];
}

size_t EntryStore::Insert(ChangeEntry entry, bool hidden) {
  Slot slot;
  if (!free_slots_.empty()) {
    slot = free_slots_.back();
    free_slots_.pop_back();
    rows_[slot] = Row{};
    rows_[slot].entry = std::move(entry);
  } else {
    if (rows_.size() >= std::numeric_limits<Slot>::max()) throw std::length_error("EntryStore rows");
    slot = static_cast<Slot>(rows_.size());
    rows_.emplace_back().entry = std::move(entry);
  }
  SetFlag(rows_[slot], active_, hidden);
  ++version_;
  const EntryKey& key = rows_[slot].entry.key();
  auto greater = [&](Slot other) {
    const EntryKey& other_key = rows_[other].entry.key();
    return &other_key != &key && CompareNoCase(key.root_name, other_key.root_name) < 0;
  };

  size_t c = 0;
  size_t offset = 0;
  const Row* last = last_insert_ ? &rows_[last_insert_->slot] : nullptr;
  if (last != nullptr && (&last->entry.key() == &key || EqualsNoCase(last->entry.key().root_name, key.root_name))) {
    // Loads list the values of a key one after the other: a row whose first
    // column equals the last row's goes right after it, where the search
    // below would put it too.
    c = last_insert_->chunk;
    offset = last_insert_->offset + 1;
  } else {
    // The first chunk whose last row sorts after the new one; the row goes
    // before the first row of that chunk that sorts after it.
    size_t lo = 0, hi = chunks_.size();
    while (lo < hi) {
      const size_t mid = (lo + hi) / 2;
      if (greater(chunks_[mid].back())) hi = mid; else lo = mid + 1;
    }
    c = lo;
    if (chunks_.empty()) {
      chunks_.push_back(NewChunk());
      chunk_shown_.push_back(0);
      c = 0;
    } else if (c == chunks_.size()) {
      c = chunks_.size() - 1;  // after every row: the end of the last chunk
    }
    const Chunk& chunk = chunks_[c];
    offset = static_cast<size_t>(
        std::partition_point(chunk.begin(), chunk.end(), [&](Slot r) { return !greater(r); }) - chunk.begin());
  }
  Chunk& chunk = chunks_[c];
  chunk.insert(chunk.begin() + static_cast<std::ptrdiff_t>(offset), slot);
  ++size_;

  if (counts_.size() != chunks_.size() + 1) {
    chunk_shown_[c] += !hidden;
    RebuildCounts();
  } else {
    AddToCount(c, 1);
    if (!hidden) AddToShown(c, 1);
  }
  const size_t index = RowsBefore(c) + offset;

  if (chunk.size() > kChunkLimit) {
    Chunk tail = NewChunk();
    tail.assign(chunk.begin() + kChunkLimit / 2, chunk.end());
    chunk.resize(kChunkLimit / 2);
    const std::uint32_t tail_shown = CountShown(tail);
    chunk_shown_[c] -= tail_shown;
    chunk_shown_.insert(chunk_shown_.begin() + static_cast<std::ptrdiff_t>(c) + 1, tail_shown);
    chunks_.insert(chunks_.begin() + static_cast<std::ptrdiff_t>(c) + 1, std::move(tail));
    RebuildCounts();
    if (offset >= kChunkLimit / 2) {
      ++c;
      offset -= kChunkLimit / 2;
    }
  }
  // Only while the rows are in first-column order: after a sort by another
  // column the search decides.
  if (in_first_column_order_) last_insert_ = LastInsert{slot, c, offset};
  return index;
}

EntryStore::Chunk EntryStore::NewChunk() {
  Chunk chunk;
  chunk.reserve(kChunkLimit + 1);  // never more: a chunk is split first
  return chunk;
}

ChangeEntry EntryStore::Remove(size_t index) {
  const auto [c, o] = Locate(index);
  last_insert_.reset();
  ++version_;
  const Slot slot = chunks_[c][o];
  const bool was_shown = !Hidden(rows_[slot]);
  ChangeEntry entry = std::move(rows_[slot].entry);
  rows_[slot] = Row{};
  free_slots_.push_back(slot);
  chunks_[c].erase(chunks_[c].begin() + static_cast<std::ptrdiff_t>(o));
  --size_;
  if (chunks_[c].empty()) {
    chunks_.erase(chunks_.begin() + static_cast<std::ptrdiff_t>(c));
    chunk_shown_.erase(chunk_shown_.begin() + static_cast<std::ptrdiff_t>(c));
    RebuildCounts();
  } else {
    AddToCount(c, -1);
    if (was_shown) AddToShown(c, -1);
  }
  if (size_ == 0) Clear();
  return entry;
}

void EntryStore::Clear() {
  last_insert_.reset();
  ++version_;
  in_first_column_order_ = true;
  chunks_.clear();
  rows_.clear();
  free_slots_.clear();
  size_ = 0;
  counts_.assign(1, 0);
  chunk_shown_.clear();
  shown_counts_.assign(1, 0);
  shown_ = 0;
}

std::vector<EntryStore::Slot> EntryStore::TakeAll() {
  std::vector<Slot> all;
  all.reserve(size_);
  for (const Chunk& chunk : chunks_) all.insert(all.end(), chunk.begin(), chunk.end());
  return all;
}

void EntryStore::PutAll(std::vector<Slot> order) {
  last_insert_.reset();
  ++version_;
  in_first_column_order_ = false;
  chunks_.clear();
  chunk_shown_.clear();
  for (size_t i = 0; i < order.size(); i += kChunkLimit / 2) {
    const size_t end = std::min(order.size(), i + kChunkLimit / 2);
    chunks_.push_back(NewChunk());
    chunks_.back().assign(order.begin() + static_cast<std::ptrdiff_t>(i),
                          order.begin() + static_cast<std::ptrdiff_t>(end));
    chunk_shown_.push_back(CountShown(chunks_.back()));
  }
  size_ = order.size();
  RebuildCounts();
}

}  // namespace hivemend
