#include "engine/EntryStore.h"

#include <algorithm>
#include <stdexcept>

#include "platform/Text.h"

namespace hivemend {
namespace {
constexpr size_t kChunkLimit = 1024;  // a chunk is split in two beyond this
}

EntryStore::EntryStore() = default;
EntryStore::~EntryStore() = default;

void EntryStore::RebuildStarts() const {
  starts_.resize(chunks_.size());
  size_t start = 0;
  for (size_t c = 0; c < chunks_.size(); ++c) {
    starts_[c] = start;
    start += chunks_[c].size();
  }
  starts_valid_ = true;
}

std::pair<size_t, size_t> EntryStore::Locate(size_t index) const {
  if (index >= size_) throw std::out_of_range("EntryStore index");
  if (!starts_valid_) RebuildStarts();
  const auto it = std::upper_bound(starts_.begin(), starts_.end(), index);
  const size_t chunk = static_cast<size_t>(it - starts_.begin()) - 1;
  return {chunk, index - starts_[chunk]};
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

  size_t index = offset;
  for (size_t i = 0; i < c; ++i) index += chunks_[i].size();

  if (chunk.size() > kChunkLimit) {
    Chunk tail(std::make_move_iterator(chunk.begin() + kChunkLimit / 2), std::make_move_iterator(chunk.end()));
    chunk.resize(kChunkLimit / 2);
    chunks_.insert(chunks_.begin() + static_cast<std::ptrdiff_t>(c) + 1, std::move(tail));
  }
  starts_valid_ = false;
  return index;
}

ChangeEntry EntryStore::Remove(size_t index) {
  const auto [c, o] = Locate(index);
  ChangeEntry entry = std::move(chunks_[c][o]->entry);
  chunks_[c].erase(chunks_[c].begin() + static_cast<std::ptrdiff_t>(o));
  if (chunks_[c].empty()) chunks_.erase(chunks_.begin() + static_cast<std::ptrdiff_t>(c));
  --size_;
  starts_valid_ = false;
  return entry;
}

void EntryStore::Clear() {
  chunks_.clear();
  size_ = 0;
  starts_valid_ = false;
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
  starts_valid_ = false;
}

}  // namespace hivemend
