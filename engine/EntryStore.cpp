#include "engine/EntryStore.h"

#include <algorithm>
#include <stdexcept>

#include "platform/Text.h"

namespace hivemend {
namespace {
constexpr size_t kChunkLimit = 1024;  // a chunk is split in two beyond this
}

EntryStore::EntryStore() : counts_(1, 0) {}
EntryStore::~EntryStore() = default;

void EntryStore::RebuildCounts() {
  counts_.assign(chunks_.size() + 1, 0);
  for (size_t c = 0; c < chunks_.size(); ++c) {
    for (size_t i = c + 1; i < counts_.size(); i += i & (~i + 1)) counts_[i] += chunks_[c].size();
  }
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
  return *chunks_[c][o];
}

const EntryStore::Row& EntryStore::at(size_t index) const {
  const auto [c, o] = Locate(index);
  return *chunks_[c][o];
}

size_t EntryStore::Insert(ChangeEntry entry) {
  auto row = std::make_unique<Row>();
  row->entry = std::move(entry);
  const std::u16string& key = row->entry.hive;
  auto greater = [&](const std::unique_ptr<Row>& r) { return CompareNoCase(key, r->entry.hive) < 0; };

  // The first chunk whose last row sorts after the new one; the row goes before
  // the first row of that chunk that sorts after it.
  size_t c = 0;
  {
    size_t lo = 0, hi = chunks_.size();
    while (lo < hi) {
      const size_t mid = (lo + hi) / 2;
      if (greater(chunks_[mid].back())) hi = mid; else lo = mid + 1;
    }
    c = lo;
  }
  if (chunks_.empty()) {
    chunks_.emplace_back();
    c = 0;
  } else if (c == chunks_.size()) {
    c = chunks_.size() - 1;  // after every row: the end of the last chunk
  }
  Chunk& chunk = chunks_[c];
  const auto pos = std::partition_point(chunk.begin(), chunk.end(),
                                        [&](const std::unique_ptr<Row>& r) { return !greater(r); });
  size_t offset = static_cast<size_t>(pos - chunk.begin());
  chunk.insert(pos, std::move(row));
  ++size_;

  if (counts_.size() != chunks_.size() + 1) RebuildCounts(); else AddToCount(c, 1);
  const size_t index = RowsBefore(c) + offset;

  if (chunk.size() > kChunkLimit) {
    Chunk tail(std::make_move_iterator(chunk.begin() + kChunkLimit / 2), std::make_move_iterator(chunk.end()));
    chunk.resize(kChunkLimit / 2);
    chunks_.insert(chunks_.begin() + static_cast<std::ptrdiff_t>(c) + 1, std::move(tail));
    RebuildCounts();
  }
  return index;
}

ChangeEntry EntryStore::Remove(size_t index) {
  const auto [c, o] = Locate(index);
  ChangeEntry entry = std::move(chunks_[c][o]->entry);
  chunks_[c].erase(chunks_[c].begin() + static_cast<std::ptrdiff_t>(o));
  --size_;
  if (chunks_[c].empty()) {
    chunks_.erase(chunks_.begin() + static_cast<std::ptrdiff_t>(c));
    RebuildCounts();
  } else {
    AddToCount(c, -1);
  }
  return entry;
}

void EntryStore::Clear() {
  chunks_.clear();
  size_ = 0;
  counts_.assign(1, 0);
}

std::vector<std::unique_ptr<EntryStore::Row>> EntryStore::TakeAll() {
  std::vector<std::unique_ptr<Row>> all;
  all.reserve(size_);
  for (Chunk& chunk : chunks_)
    for (auto& row : chunk) all.push_back(std::move(row));
  Clear();
  return all;
}

void EntryStore::PutAll(std::vector<std::unique_ptr<Row>> rows) {
  Clear();
  for (size_t i = 0; i < rows.size(); i += kChunkLimit / 2) {
    const size_t end = std::min(rows.size(), i + kChunkLimit / 2);
    chunks_.emplace_back(std::make_move_iterator(rows.begin() + static_cast<std::ptrdiff_t>(i)),
                         std::make_move_iterator(rows.begin() + static_cast<std::ptrdiff_t>(end)));
  }
  size_ = rows.size();
  RebuildCounts();
}

}  // namespace hivemend
