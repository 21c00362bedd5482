#include "platform/MemoryRegistry.h"

#include <algorithm>
#include <cstring>
#include <map>

#include "platform/RegistryName.h"
#include "platform/Text.h"

namespace hivemend {

struct MemoryRegistry::Node {
  RegRoot root;
  std::u16string path;     // as first created
  std::u16string folded;   // the key's identity below its root
  Node* parent = nullptr;  // none for a root
  std::map<std::u16string, Node*> children;  // by folded name, which is also the enumeration order
  std::vector<Value> values;                 // in the order first written
  std::unordered_map<std::u16string, size_t> value_index;  // folded name -> index in values
  std::uint64_t last_write = 0;
  bool deleted = false;  // handles to it stay valid but find nothing
};

namespace {

std::u16string_view LastPart(std::u16string_view path) {
  const size_t slash = path.rfind(u'\\');
  return slash == std::u16string_view::npos ? path : path.substr(slash + 1);
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
  state.access = EffectiveKeyAccess(access);
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
  if (open_[slot].node->deleted && needed != 0) {
    *status = kRegKeyDeleted;
    return nullptr;
  }
  return open_[slot].node;
}

void MemoryRegistry::TouchLocked(Node* node) { node->last_write = ++clock_; }

long MemoryRegistry::OpenKey(RegRoot root, std::u16string_view path, std::uint32_t access,
                             Handle* key) {
  if (key == nullptr) return kRegInvalidParameter;
  thread_local std::u16string scratch;
  if (const long status = CheckedKeyPathIdentity(path, scratch, nullptr); status != kRegOk) return status;
  std::lock_guard lock(mutex_);
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
  if (const long status = CheckedKeyPathIdentity(path, folded, &kept); status != kRegOk) return status;
  std::lock_guard lock(mutex_);
  auto& map = keys_[static_cast<int>(root)];
  Node* node = map.find(std::u16string())->second.get();
  // Create every missing parent, from the root down.
  size_t end = 0;
  while (!folded.empty()) {
    end = folded.find(u'\\', end);
    const size_t len = end == std::u16string::npos ? folded.size() : end;
    auto [it, inserted] = map.try_emplace(folded.substr(0, len));
    if (inserted) {
      auto child = std::make_unique<Node>();
      child->root = root;
      child->path = kept.substr(0, len);
      child->folded = folded.substr(0, len);
      child->parent = node;
      node->children.emplace(std::u16string(LastPart(child->folded)), child.get());
      TouchLocked(node);
      TouchLocked(child.get());
      it->second = std::move(child);
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
  auto it = node->value_index.find(folded);
  if (it == node->value_index.end()) return kRegFileNotFound;
  const Value& v = node->values[it->second];
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
  if (name.size() > kMaxValueNameLength) return kRegInvalidParameter;
  std::u16string folded;
  FoldRegistryNameInto(name, folded);
  std::lock_guard lock(mutex_);
  long status = kRegOk;
  Node* node = NodeOf(key, kAllowsSet, &status);
  if (node == nullptr) return status;
  auto [it, inserted] = node->value_index.try_emplace(std::move(folded), node->values.size());
  if (inserted) node->values.push_back(Value{std::u16string(name), 0, {}});
  Value& v = node->values[it->second];
  v.type = type;
  v.data.assign(data, data + size);
  TouchLocked(node);
  return kRegOk;
}

long MemoryRegistry::DeleteValue(Handle key, std::u16string_view name) {
  std::u16string folded;
  FoldRegistryNameInto(name, folded);
  std::lock_guard lock(mutex_);
  long status = kRegOk;
  Node* node = NodeOf(key, kAllowsSet, &status);
  if (node == nullptr) return status;
  auto it = node->value_index.find(folded);
  if (it == node->value_index.end()) return kRegFileNotFound;
  const size_t index = it->second;
  node->value_index.erase(it);
  node->values.erase(node->values.begin() + static_cast<std::ptrdiff_t>(index));
  for (auto& [other, at] : node->value_index) {
    if (at > index) --at;
  }
  TouchLocked(node);
  return kRegOk;
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

long MemoryRegistry::QueryKeyInfo(Handle key, RegKeyInfo* info) {
  if (info == nullptr) return kRegInvalidParameter;
  std::lock_guard lock(mutex_);
  long status = kRegOk;
  Node* node = NodeOf(key, kAllowsQuery, &status);
  if (node == nullptr) return status;
  info->subkeys = static_cast<std::uint32_t>(node->children.size());
  info->values = static_cast<std::uint32_t>(node->values.size());
  info->last_write = node->last_write;
  return kRegOk;
}

long MemoryRegistry::EnumKey(Handle key, std::uint32_t index, std::u16string* name) {
  if (name == nullptr) return kRegInvalidParameter;
  std::lock_guard lock(mutex_);
  long status = kRegOk;
  Node* node = NodeOf(key, kAllowsEnumerate, &status);
  if (node == nullptr) return status;
  if (index >= node->children.size()) return kRegNoMoreItems;
  auto it = node->children.begin();
  std::advance(it, index);
  *name = std::u16string(LastPart(it->second->path));
  return kRegOk;
}

long MemoryRegistry::EnumValue(Handle key, std::uint32_t index, std::u16string* name, std::uint32_t* type,
                               std::vector<std::uint8_t>* data) {
  if (name == nullptr) return kRegInvalidParameter;
  std::lock_guard lock(mutex_);
  long status = kRegOk;
  Node* node = NodeOf(key, kAllowsQuery, &status);
  if (node == nullptr) return status;
  if (index >= node->values.size()) return kRegNoMoreItems;
  const Value& v = node->values[index];
  *name = v.name;
  if (type) *type = v.type;
  if (data) *data = v.data;
  return kRegOk;
}

long MemoryRegistry::DeleteTree(RegRoot root, std::u16string_view path) {
  std::u16string folded;
  if (const long status = CheckedKeyPathIdentity(path, folded, nullptr); status != kRegOk) return status;
  if (folded.empty()) return kRegAccessDenied;
  std::lock_guard lock(mutex_);
  auto& map = keys_[static_cast<int>(root)];
  auto top = map.find(folded);
  if (top == map.end()) return kRegFileNotFound;
  Node* parent = top->second->parent;
  parent->children.erase(std::u16string(LastPart(folded)));
  TouchLocked(parent);
  // The key and everything below it: the paths that continue it with a backslash.
  std::vector<std::u16string> doomed{folded};
  const std::u16string below = folded + u'\\';
  for (const auto& [other, node] : map) {
    if (other.starts_with(below)) doomed.push_back(other);
  }
  for (const std::u16string& gone : doomed) {
    auto it = map.find(gone);
    it->second->deleted = true;
    it->second->children.clear();
    graveyard_.push_back(std::move(it->second));
    map.erase(it);
  }
  return kRegOk;
}

std::uint64_t MemoryRegistry::ChangeClock() {
  std::lock_guard lock(mutex_);
  return ++clock_;
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
      key.values = node->values;
      std::sort(key.values.begin(), key.values.end(), [](const Value& a, const Value& b) {
        return CompareNoCase(a.name, b.name) < 0;
      });
      out.push_back(std::move(key));
    }
  }
  return out;
}

}  // namespace hivemend
