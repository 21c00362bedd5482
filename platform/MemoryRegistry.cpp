#include "platform/MemoryRegistry.h"

#include <algorithm>
#include <cstring>

#include "platform/RegistryName.h"
#include "platform/Text.h"

namespace hivemend {

struct MemoryRegistry::Node {
  RegRoot root;
  std::u16string path;
  std::unordered_map<std::u16string, Value> values;  // by folded name
};

namespace {

// The registry refuses a leading backslash; otherwise a path names the key
// that its identity names.
bool NormalizePath(std::u16string_view path, std::u16string& folded, std::u16string* kept) {
  if (!path.empty() && path.front() == u'\\') return false;
  KeyPathIdentity(path, folded, kept);
  return true;
}

// What an access mask allows, with the generic rights mapped as for keys.
constexpr std::uint32_t kAllowsQuery = 0x0001;
constexpr std::uint32_t kAllowsSet = 0x0002;
std::uint32_t EffectiveAccess(std::uint32_t access) {
  if (access & kGenericRead) access |= kKeyRead;
  if (access & kGenericWrite) access |= kKeyWrite;
  if (access & 0x10000000u) access |= kKeyRead | kKeyWrite;  // GENERIC_ALL
  return access;
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

MemoryRegistry::Node* MemoryRegistry::FindLocked(RegRoot root, const std::u16string& folded_path) const {
  const auto& map = keys_[static_cast<int>(root)];
  auto it = map.find(folded_path);
  return it == map.end() ? nullptr : it->second.get();
}

MemoryRegistry::Handle MemoryRegistry::AddHandleLocked(Node* node, std::uint32_t access) {
  std::uint32_t slot;
  if (free_slots_.empty()) {
    slot = static_cast<std::uint32_t>(open_.size());
    open_.emplace_back();
  } else {
    slot = free_slots_.back();
    free_slots_.pop_back();
  }
  OpenKeyState& state = open_[slot];
  state.node = node;
  state.access = EffectiveAccess(access);
  ++state.generation;
  ++open_count_;
  return (static_cast<Handle>(state.generation) << 32) | (slot + 1);
}

MemoryRegistry::Node* MemoryRegistry::NodeOf(Handle key, std::uint32_t needed, long* status) const {
  const std::uint64_t slot = (key & 0xFFFFFFFFu) - 1;
  if (slot >= open_.size() || open_[slot].node == nullptr || open_[slot].generation != (key >> 32)) {
    *status = kRegInvalidHandle;
    return nullptr;
  }
  if ((open_[slot].access & needed) != needed) {
    *status = kRegAccessDenied;
    return nullptr;
  }
  return open_[slot].node;
}

long MemoryRegistry::OpenKey(RegRoot root, std::u16string_view path, std::uint32_t access,
                             Handle* key) {
  if (key == nullptr) return kRegInvalidParameter;
  thread_local std::u16string scratch;
  std::lock_guard lock(mutex_);
  if (!NormalizePath(path, scratch, nullptr)) return kRegBadPathname;
  Node* node = FindLocked(root, scratch);
  if (node == nullptr) return kRegFileNotFound;
  *key = AddHandleLocked(node, access);
  return kRegOk;
}

long MemoryRegistry::CreateKey(RegRoot root, std::u16string_view path, std::uint32_t access,
                               Handle* key) {
  if (key == nullptr) return kRegInvalidParameter;
  std::u16string folded;
  std::u16string kept;
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
      it->second->path = kept.substr(0, len);
    }
    node = it->second.get();
    if (end == std::u16string::npos) break;
    ++end;
  }
  *key = AddHandleLocked(node, access);
  return kRegOk;
}

long MemoryRegistry::QueryValue(Handle key, std::u16string_view name, std::uint32_t* type,
                                std::uint8_t* data, std::uint32_t* size) {
  if (data != nullptr && size == nullptr) return kRegInvalidParameter;
  thread_local std::u16string folded;
  FoldRegistryNameInto(name, folded);
  std::lock_guard lock(mutex_);
  long status = kRegOk;
  Node* node = NodeOf(key, kAllowsQuery, &status);
  if (node == nullptr) return status;
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
  FoldRegistryNameInto(name, folded);
  std::lock_guard lock(mutex_);
  long status = kRegOk;
  Node* node = NodeOf(key, kAllowsSet, &status);
  if (node == nullptr) return status;
  auto [it, inserted] = node->values.try_emplace(std::move(folded));
  if (inserted) it->second.name = std::u16string(name);
  it->second.type = type;
  it->second.data.assign(data, data + size);
  return kRegOk;
}

long MemoryRegistry::DeleteValue(Handle key, std::u16string_view name) {
  std::u16string folded;
  FoldRegistryNameInto(name, folded);
  std::lock_guard lock(mutex_);
  long status = kRegOk;
  Node* node = NodeOf(key, kAllowsSet, &status);
  if (node == nullptr) return status;
  return node->values.erase(folded) != 0 ? kRegOk : kRegFileNotFound;
}

void MemoryRegistry::CloseKey(Handle key) {
  std::lock_guard lock(mutex_);
  long status = kRegOk;
  if (NodeOf(key, 0, &status) == nullptr) return;
  const std::uint64_t slot = (key & 0xFFFFFFFFu) - 1;
  open_[slot].node = nullptr;
  free_slots_.push_back(static_cast<std::uint32_t>(slot));
  --open_count_;
}

size_t MemoryRegistry::OpenHandles() const {
  std::lock_guard lock(mutex_);
  return open_count_;
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
