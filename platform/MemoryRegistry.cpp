#include "platform/MemoryRegistry.h"

#include <algorithm>
#include <cstring>

#include "platform/Text.h"

namespace hivemend {

struct MemoryRegistry::Node {
  RegRoot root;
  std::u16string path;
  std::unordered_map<std::u16string, Value> values;  // by folded name
};

namespace {

// The registry refuses empty path components and a leading backslash; a single
// trailing backslash is accepted and ignored.
bool NormalizePath(std::u16string_view path, std::u16string& folded, std::u16string_view* kept) {
  if (!path.empty() && path.back() == u'\\') path.remove_suffix(1);
  if (!path.empty() && path.front() == u'\\') return false;
  if (path.find(u"\\\\") != std::u16string_view::npos) return false;
  folded.assign(path);
  for (char16_t& c : folded) c = FoldAscii(c);
  if (kept) *kept = path;
  return true;
}

void FoldInto(std::u16string_view name, std::u16string& out) {
  out.assign(name);
  for (char16_t& c : out) c = FoldAscii(c);
}

}  // namespace

MemoryRegistry::MemoryRegistry() {
  for (int r = 0; r < 5; ++r) {
    auto node = std::make_unique<Node>();
    node->root = static_cast<RegRoot>(r);
    keys_[r].emplace(std::u16string(), std::move(node));
  }
}

MemoryRegistry::~MemoryRegistry() = default;

MemoryRegistry::Node* MemoryRegistry::FindLocked(RegRoot root, std::u16string_view path,
                                                 std::u16string& scratch) const {
  if (!NormalizePath(path, scratch, nullptr)) return nullptr;
  const auto& map = keys_[static_cast<int>(root)];
  auto it = map.find(scratch);
  return it == map.end() ? nullptr : it->second.get();
}

MemoryRegistry::Node* MemoryRegistry::NodeOf(Handle key) const {
  auto it = open_.find(key);
  return it == open_.end() ? nullptr : it->second;
}

long MemoryRegistry::OpenKey(RegRoot root, std::u16string_view path, std::uint32_t,
                             Handle* key) {
  if (key == nullptr) return kRegInvalidParameter;
  thread_local std::u16string scratch;
  std::lock_guard lock(mutex_);
  Node* node = FindLocked(root, path, scratch);
  if (node == nullptr) return kRegFileNotFound;
  const Handle h = next_handle_++;
  open_.emplace(h, node);
  *key = h;
  return kRegOk;
}

long MemoryRegistry::CreateKey(RegRoot root, std::u16string_view path, std::uint32_t,
                               Handle* key) {
  if (key == nullptr) return kRegInvalidParameter;
  std::u16string folded;
  std::u16string_view kept;
  if (!NormalizePath(path, folded, &kept)) return kRegBadPathname;
  std::lock_guard lock(mutex_);
  auto& map = keys_[static_cast<int>(root)];
  Node* node = nullptr;
  // Create every missing parent, from the root down.
  size_t end = 0;
  while (true) {
    end = folded.find(u'\\', end);
    const size_t len = end == std::u16string::npos ? folded.size() : end;
    auto [it, inserted] = map.try_emplace(folded.substr(0, len));
    if (inserted) {
      it->second = std::make_unique<Node>();
      it->second->root = root;
      it->second->path = std::u16string(kept.substr(0, len));
    }
    node = it->second.get();
    if (end == std::u16string::npos) break;
    ++end;
  }
  const Handle h = next_handle_++;
  open_.emplace(h, node);
  *key = h;
  return kRegOk;
}

long MemoryRegistry::QueryValue(Handle key, std::u16string_view name, std::uint32_t* type,
                                std::uint8_t* data, std::uint32_t* size) {
  if (data != nullptr && size == nullptr) return kRegInvalidParameter;
  thread_local std::u16string folded;
  FoldInto(name, folded);
  std::lock_guard lock(mutex_);
  Node* node = NodeOf(key);
  if (node == nullptr) return kRegInvalidHandle;
  auto it = node->values.find(folded);
  if (it == node->values.end()) return kRegFileNotFound;
  const Value& v = it->second;
  const auto needed = static_cast<std::uint32_t>(v.data.size());
  if (data != nullptr && *size < needed) {
    *size = needed;
    if (type) *type = v.type;
    return kRegMoreData;
  }
  if (data != nullptr && needed != 0) std::memcpy(data, v.data.data(), needed);
  if (size) *size = needed;
  if (type) *type = v.type;
  return kRegOk;
}

long MemoryRegistry::SetValue(Handle key, std::u16string_view name, std::uint32_t type,
                              const std::uint8_t* data, std::uint32_t size) {
  if (data == nullptr && size != 0) return kRegInvalidParameter;
  std::u16string folded;
  FoldInto(name, folded);
  std::lock_guard lock(mutex_);
  Node* node = NodeOf(key);
  if (node == nullptr) return kRegInvalidHandle;
  auto [it, inserted] = node->values.try_emplace(std::move(folded));
  if (inserted) it->second.name = std::u16string(name);
  it->second.type = type;
  it->second.data.assign(data, data + size);
  return kRegOk;
}

long MemoryRegistry::DeleteValue(Handle key, std::u16string_view name) {
  std::u16string folded;
  FoldInto(name, folded);
  std::lock_guard lock(mutex_);
  Node* node = NodeOf(key);
  if (node == nullptr) return kRegInvalidHandle;
  return node->values.erase(folded) != 0 ? kRegOk : kRegFileNotFound;
}

void MemoryRegistry::CloseKey(Handle key) {
  std::lock_guard lock(mutex_);
  open_.erase(key);
}

size_t MemoryRegistry::OpenHandles() const {
  std::lock_guard lock(mutex_);
  return open_.size();
}

std::vector<MemoryRegistry::Key> MemoryRegistry::Snapshot() const {
  std::lock_guard lock(mutex_);
  std::vector<Key> out;
  for (int r = 0; r < 5; ++r) {
    std::vector<const Node*> nodes;
    for (const auto& [folded, node] : keys_[r]) {
      if (!folded.empty() || !node->values.empty()) nodes.push_back(node.get());
    }
    std::sort(nodes.begin(), nodes.end(), [](const Node* a, const Node* b) {
      return CompareNoCase(a->path, b->path) < 0;
    });
    for (const Node* node : nodes) {
      Key key;
      key.root = node->root;
      key.path = node->path;
      for (const auto& [folded, value] : node->values) key.values.push_back(value);
      std::sort(key.values.begin(), key.values.end(), [](const Value& a, const Value& b) {
        return CompareNoCase(a.name, b.name) < 0;
      });
      out.push_back(std::move(key));
    }
  }
  return out;
}

}  // namespace hivemend
