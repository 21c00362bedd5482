// The hive registry on hivex. The library compares names with strcasecmp on
// UTF-8 (A to Z only) and rewrites a key's whole value list on every change,
// so this layer keeps its own indexes: a key's subkeys by folded name, read
// once, and its values, read once, changed in memory and written back with one
// call per key when the hives are committed.
#include <hivex.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <map>
#include <optional>
#include <unordered_map>

#include "platform/File.h"
#include "platform/FileReplace.h"
#include "platform/HiveRegistry.h"
#include "platform/RegistryName.h"
#include "platform/Text.h"

namespace hivemend {

namespace {

// hivex hands a value's type over as its C enum, which names only the common
// types; a value may have any 32-bit type. The bits are copied, never loaded
// or cast as an enum value that the enum does not name.
static_assert(sizeof(hive_type) == sizeof(std::uint32_t));
std::uint32_t TypeBits(const hive_type& type) {
  std::uint32_t bits = 0;
  std::memcpy(&bits, &type, sizeof bits);
  return bits;
}
void SetTypeBits(hive_type& type, std::uint32_t bits) { std::memcpy(&type, &bits, sizeof bits); }

constexpr long kRegBadDb = 1009;  // ERROR_BADDB: the hive could not be read or written
// The largest value that a hive of format 1.4 or later holds in one cell.
constexpr size_t kLargestCellValue = 16344;

struct FreeDeleter {
  void operator()(void* p) const { std::free(p); }
};
template <typename T>
using Owned = std::unique_ptr<T, FreeDeleter>;

// A name the library can store and give back unchanged: UTF-8 of it holds no
// NUL and comes back as the same units.
bool StorableName(std::u16string_view name, std::string* utf8) {
  if (std::find(name.begin(), name.end(), u'\0') != name.end()) return false;
  *utf8 = ToUtf8(name);
  return FromUtf8(*utf8) == name;
}

// Windows orders a key's subkeys by their names upper-cased; for ASCII names
// that is A to Z mapped to upper case, then unit by unit.
int WindowsOrder(std::u16string_view a, std::u16string_view b) {
  auto upper = [](char16_t c) { return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - 32) : c; };
  for (size_t i = 0; i < a.size() && i < b.size(); ++i) {
    if (upper(a[i]) != upper(b[i])) return upper(a[i]) < upper(b[i]) ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : a.size() < b.size() ? -1 : 1;
}

bool AsciiName(std::u16string_view name) {
  return std::all_of(name.begin(), name.end(), [](char16_t c) { return c > 0 && c < 0x80; });
}

std::uint32_t ReadMinorVersion(const std::string& file) {
  std::ifstream in(file, std::ios::binary);
  unsigned char header[0x1C] = {};
  in.read(reinterpret_cast<char*>(header), sizeof header);
  return static_cast<std::uint32_t>(header[0x18]) | (header[0x19] << 8) | (header[0x1A] << 16) |
         (static_cast<std::uint32_t>(header[0x1B]) << 24);
}

bool AtOrBelow(std::u16string_view path, std::u16string_view top) {
  if (top.empty()) return true;
  return path.starts_with(top) && (path.size() == top.size() || path[top.size()] == u'\\');
}

class HivexRegistry final : public HiveRegistry {
 public:
  explicit HivexRegistry(HiveMapping mapping) : mapping_(std::move(mapping)) {}
  ~HivexRegistry() override {
    for (auto& hive : hives_) {
      if (hive->h != nullptr) hivex_close(hive->h);
    }
  }

  bool OpenAll(bool write, std::u16string* problem) {
    for (size_t i = 0; i < mapping_.mounts().size(); ++i) hives_.push_back(std::make_unique<Hive>());
    for (size_t i = 0; i < hives_.size(); ++i) {
      Hive& hive = *hives_[i];
      hive.file = mapping_.mounts()[i].file;
      const std::string name = ToUtf8(hive.file);
      if (write && !hive.lock.Take(hive.file, problem)) return false;
      errno = 0;
      hive.h = hivex_open(name.c_str(), write ? HIVEX_OPEN_WRITE : 0);
      if (hive.h == nullptr) {
        const int code = errno;
        *problem = hive.file + (code == ENOENT || code == EACCES || code == EISDIR
                                    ? u": cannot be opened (" + SystemErrorMessage(static_cast<std::uint32_t>(code)) + u")"
                                    : u": not a registry hive file, or a damaged one");
        return false;
      }
      hive.minor = ReadMinorVersion(name);
      if (mapping_.HasControlSets(i)) ReadCurrentControlSet(i);
    }
    return true;
  }

  long OpenKey(RegRoot root, std::u16string_view path, std::uint32_t access, Handle* key) override {
    if (key == nullptr) return kRegInvalidParameter;
    return Open(root, path, access, false, key);
  }
  long CreateKey(RegRoot root, std::u16string_view path, std::uint32_t access, Handle* key) override {
    if (key == nullptr) return kRegInvalidParameter;
    return Open(root, path, access, true, key);
  }

  long QueryValue(Handle key, std::u16string_view name, std::uint32_t* type, std::uint8_t* data,
                  std::uint32_t* size) override {
    if (data != nullptr && size == nullptr) return kRegInvalidParameter;
    long status = kRegOk;
    Values* values = ValuesOfKey(key, kAllowsQuery, kRegFileNotFound, &status);
    if (values == nullptr) return status;
    const auto it = values->index.find(FoldedRegistryName(name));
    if (it == values->index.end()) return kRegFileNotFound;
    const Value& v = values->list[it->second];
    return AnswerValueQuery(v.type, v.data, type, data, size);
  }

  long SetValue(Handle key, std::u16string_view name, std::uint32_t type, const std::uint8_t* data,
                std::uint32_t size) override {
    if (data == nullptr && size != 0) return kRegInvalidParameter;
    if (name.size() > kMaxValueNameLength) return kRegInvalidParameter;
    long status = kRegOk;
    OpenState* open = nullptr;
    Values* values = ValuesOfKey(key, kAllowsSet, kRegAccessDenied, &status, &open);
    if (values == nullptr) return status;
    std::string utf8;
    if (!StorableName(name, &utf8)) return kRegNotSupported;
    if (size > kLargestCellValue && hives_[open->hive]->minor >= 4) return kRegNotSupported;
    auto [it, inserted] = values->index.try_emplace(FoldedRegistryName(name), values->list.size());
    if (inserted) values->list.push_back(Value{std::u16string(name), std::move(utf8), 0, {}});
    Value& v = values->list[it->second];
    v.type = type;
    v.data.assign(data, data + size);
    values->dirty = true;
    Touch(open->hive, open->node);
    return kRegOk;
  }

  long DeleteValue(Handle key, std::u16string_view name) override {
    long status = kRegOk;
    OpenState* open = nullptr;
    Values* values = ValuesOfKey(key, kAllowsSet, kRegFileNotFound, &status, &open);
    if (values == nullptr) return status;
    const auto it = values->index.find(FoldedRegistryName(name));
    if (it == values->index.end()) return kRegFileNotFound;
    const size_t index = it->second;
    values->index.erase(it);
    values->list.erase(values->list.begin() + static_cast<std::ptrdiff_t>(index));
    for (auto& [other, at] : values->index) {
      if (at > index) --at;
    }
    values->dirty = true;
    Touch(open->hive, open->node);
    return kRegOk;
  }

  void CloseKey(Handle key) override {
    long status = kRegOk;
    if (StateOf(key, 0, &status) == nullptr) return;
    const std::uint64_t slot = (key & 0xFFFFFFFFu) - 1;
    open_[slot].used = false;
    free_slots_.push_back(static_cast<std::uint32_t>(slot));
  }

  long QueryKeyInfo(Handle key, RegKeyInfo* info) override {
    if (info == nullptr) return kRegInvalidParameter;
    long status = kRegOk;
    OpenState* open = StateOf(key, kAllowsQuery, &status);
    if (open == nullptr) return status;
    if (open->virtual_key) {
      *info = RegKeyInfo{static_cast<std::uint32_t>(mapping_.NamesBelow(open->root, open->path).size()), 0, 0};
      return kRegOk;
    }
    const std::vector<Child>* children = ChildrenOf(open->hive, open->node, &status);
    if (children == nullptr) return status;
    Values* values = ValuesOf(open->hive, open->node, &status);
    if (values == nullptr) return status;
    info->subkeys = static_cast<std::uint32_t>(children->size());
    info->values = static_cast<std::uint32_t>(values->list.size());
    info->last_write = nodes_[{open->hive, open->node}].last_write;
    return kRegOk;
  }

  long EnumKey(Handle key, std::uint32_t index, std::u16string* name) override {
    if (name == nullptr) return kRegInvalidParameter;
    long status = kRegOk;
    OpenState* open = StateOf(key, kAllowsEnumerate, &status);
    if (open == nullptr) return status;
    if (open->virtual_key) {
      const std::vector<std::u16string> names = mapping_.NamesBelow(open->root, open->path);
      if (index >= names.size()) return kRegNoMoreItems;
      *name = names[index];
      return kRegOk;
    }
    const std::vector<Child>* children = ChildrenOf(open->hive, open->node, &status);
    if (children == nullptr) return status;
    if (index >= children->size()) return kRegNoMoreItems;
    *name = (*children)[index].name;
    return kRegOk;
  }

  long EnumValue(Handle key, std::uint32_t index, std::u16string* name, std::uint32_t* type,
                 std::vector<std::uint8_t>* data) override {
    if (name == nullptr) return kRegInvalidParameter;
    long status = kRegOk;
    Values* values = ValuesOfKey(key, kAllowsQuery, kRegNoMoreItems, &status);
    if (values == nullptr) return status;
    if (index >= values->list.size()) return kRegNoMoreItems;
    const Value& v = values->list[index];
    *name = v.name;
    if (type) *type = v.type;
    if (data) *data = v.data;
    return kRegOk;
  }

  long DeleteTree(RegRoot root, std::u16string_view path) override {
    std::u16string folded;
    if (const long status = CheckedKeyPathIdentity(path, folded); status != kRegOk) return status;
    if (folded.empty()) return kRegAccessDenied;
    const HiveMapping::Place place = mapping_.Locate(root, path);
    if (place.where == HiveMapping::Where::Outside) return kRegFileNotFound;
    std::u16string inner_folded;
    KeyPathIdentity(place.inner, inner_folded);
    if (place.where == HiveMapping::Where::Above || inner_folded.empty()) return kRegAccessDenied;  // a hive's root
    hive_node_h node = 0;
    if (const long status = Walk(place.mount, place.inner, false, &node); status != kRegOk) return status;
    hive_h* h = hives_[place.mount]->h;
    const hive_node_h parent = hivex_node_parent(h, node);
    std::vector<hive_node_h> doomed{node};
    for (size_t i = 0; i < doomed.size(); ++i) {
      Owned<hive_node_h> children(hivex_node_children(h, doomed[i]));
      if (!children) return kRegBadDb;
      for (const hive_node_h* c = children.get(); *c != 0; ++c) doomed.push_back(*c);
    }
    if (hivex_node_delete_child(h, node) != 0) return kRegBadDb;
    // The deleted keys' cells may be used again by later changes: nothing
    // kept of them may be written back.
    for (hive_node_h gone : doomed) nodes_.erase({place.mount, gone});
    nodes_[{place.mount, parent}].children.reset();
    Touch(place.mount, parent);
    for (OpenState& open : open_) {
      if (open.used && !open.virtual_key && open.hive == place.mount && AtOrBelow(open.inner_folded, inner_folded)) {
        open.deleted = true;
      }
    }
    return kRegOk;
  }

  std::uint64_t ChangeClock() override { return ++clock_; }
  const HiveMapping& mapping() const override { return mapping_; }

  bool Changed() const override {
    return std::any_of(hives_.begin(), hives_.end(), [](const auto& h) { return h->changed; });
  }

  bool Commit(std::u16string* problem) override {
    for (size_t i = 0; i < hives_.size(); ++i) {
      Hive& hive = *hives_[i];
      if (!hive.changed) continue;
      if (!WriteValuesBack(i)) {
        *problem = hive.file + u": the changed values could not be stored in the hive; the file is unchanged";
        return false;
      }
      if (!ReplaceFileDurably(
              hive.file, [&](const std::string& temporary) { return hivex_commit(hive.h, temporary.c_str(), 0) == 0; },
              problem)) {
        return false;
      }
      hive.changed = false;
    }
    return true;
  }

 private:
  struct Hive {
    hive_h* h = nullptr;
    std::u16string file;
    WriterLock lock;
    std::uint32_t minor = 5;
    bool changed = false;
  };
  struct Value {
    std::u16string name;
    std::string utf8;
    std::uint32_t type = 0;
    std::vector<std::uint8_t> data;
  };
  struct Values {
    std::vector<Value> list;  // in the hive's order, new ones last
    std::unordered_map<std::u16string, size_t> index;  // folded name -> place in list
    bool dirty = false;
  };
  struct Child {
    std::u16string folded;
    std::u16string name;
    hive_node_h node;
  };
  struct NodeState {
    std::optional<std::vector<Child>> children;  // by folded name
    std::optional<Values> values;
    std::uint64_t last_write = 0;
  };
  struct OpenState {
    bool used = false;
    std::uint32_t generation = 0;
    std::uint32_t access = 0;
    bool virtual_key = false;  // above mount points
    bool deleted = false;
    RegRoot root = RegRoot::CurrentUser;
    std::u16string path;          // virtual keys: the path below the root
    size_t hive = 0;
    hive_node_h node = 0;
    std::u16string inner_folded;  // the key's identity in its hive
  };
  struct NodeId {
    size_t hive;
    hive_node_h node;
    bool operator<(const NodeId& o) const { return hive != o.hive ? hive < o.hive : node < o.node; }
  };

  void ReadCurrentControlSet(size_t mount) {
    hive_h* h = hives_[mount]->h;
    const hive_node_h select = hivex_node_get_child(h, hivex_root(h), "Select");
    if (select == 0) return;
    const hive_value_h current = hivex_node_get_value(h, select, "Current");
    hive_type type{};
    size_t length = 0;
    if (current == 0 || hivex_value_type(h, current, &type, &length) != 0 || TypeBits(type) != hive_t_REG_DWORD ||
        length != 4) {
      return;
    }
    const auto number = static_cast<std::uint32_t>(hivex_value_dword(h, current));
    if (number >= 1 && number <= 999) mapping_.SetCurrentControlSet(mount, number);
  }

  void Touch(size_t hive, hive_node_h node) {
    nodes_[{hive, node}].last_write = ++clock_;
    hives_[hive]->changed = true;
  }

  const std::vector<Child>* ChildrenOf(size_t hive, hive_node_h node, long* status) {
    NodeState& state = nodes_[{hive, node}];
    if (state.children) return &*state.children;
    hive_h* h = hives_[hive]->h;
    Owned<hive_node_h> children(hivex_node_children(h, node));
    if (!children) {
      *status = kRegBadDb;
      return nullptr;
    }
    std::vector<Child> list;
    for (const hive_node_h* c = children.get(); *c != 0; ++c) {
      Owned<char> name(hivex_node_name(h, *c));
      if (!name) {
        *status = kRegBadDb;
        return nullptr;
      }
      std::u16string text = FromUtf8(name.get());
      list.push_back(Child{FoldedRegistryName(text), std::move(text), *c});
    }
    std::sort(list.begin(), list.end(), [](const Child& a, const Child& b) { return a.folded < b.folded; });
    state.children = std::move(list);
    return &*state.children;
  }

  Values* ValuesOf(size_t hive, hive_node_h node, long* status) {
    NodeState& state = nodes_[{hive, node}];
    if (state.values) return &*state.values;
    hive_h* h = hives_[hive]->h;
    Owned<hive_value_h> handles(hivex_node_values(h, node));
    if (!handles) {
      *status = kRegBadDb;
      return nullptr;
    }
    Values values;
    for (const hive_value_h* v = handles.get(); *v != 0; ++v) {
      Owned<char> key(hivex_value_key(h, *v));
      hive_type type{};
      size_t length = 0;
      Owned<char> data(hivex_value_value(h, *v, &type, &length));
      if (!key || (!data && length != 0)) {
        *status = kRegBadDb;
        return nullptr;
      }
      Value value{FromUtf8(key.get()), key.get(), TypeBits(type), {}};
      value.data.assign(data.get(), data.get() + length);
      // A second value under a name that folds alike is kept for the write-back
      // (nothing of the hive is dropped), though only the first is found.
      values.index.try_emplace(FoldedRegistryName(value.name), values.list.size());
      values.list.push_back(std::move(value));
    }
    state.values = std::move(values);
    return &*state.values;
  }

  // The values of the key behind a handle that allows `needed`; a key above
  // mount points has none, and gives virtual_status.
  Values* ValuesOfKey(Handle key, std::uint32_t needed, long virtual_status, long* status,
                      OpenState** open_out = nullptr) {
    OpenState* open = StateOf(key, needed, status);
    if (open == nullptr) return nullptr;
    if (open->virtual_key) {
      *status = virtual_status;
      return nullptr;
    }
    if (open_out != nullptr) *open_out = open;
    return ValuesOf(open->hive, open->node, status);
  }

  // The node of the key at inner below the hive's root; created, with every
  // missing key above it, when create.
  long Walk(size_t hive, std::u16string_view inner, bool create, hive_node_h* out) {
    hive_h* h = hives_[hive]->h;
    hive_node_h node = hivex_root(h);
    if (node == 0) return kRegBadDb;
    size_t start = 0;
    while (start < inner.size()) {
      size_t end = inner.find(u'\\', start);
      if (end == std::u16string_view::npos) end = inner.size();
      const std::u16string_view name = inner.substr(start, end - start);
      start = end + 1;
      if (name.empty()) continue;
      long status = kRegOk;
      const std::vector<Child>* children = ChildrenOf(hive, node, &status);
      if (children == nullptr) return status;
      const std::u16string folded = FoldedRegistryName(name);
      const auto it = std::lower_bound(children->begin(), children->end(), folded,
                                       [](const Child& c, const std::u16string& f) { return c.folded < f; });
      if (it != children->end() && it->folded == folded) {
        node = it->node;
        continue;
      }
      if (!create) return kRegFileNotFound;
      if (const long added = AddChild(hive, node, name, &node); added != kRegOk) return added;
    }
    *out = node;
    return kRegOk;
  }

  long AddChild(size_t hive, hive_node_h parent, std::u16string_view name, hive_node_h* child) {
    if (!AsciiName(name)) return kRegNotSupported;
    hive_h* h = hives_[hive]->h;
    const std::string utf8 = ToUtf8(name);
    const hive_node_h added = hivex_node_add_child(h, parent, utf8.c_str());
    if (added == 0) return kRegBadDb;
    nodes_[{hive, parent}].children.reset();
    Touch(hive, parent);
    Touch(hive, added);
    // The library places the key by its own order: a key Windows would look
    // for elsewhere is taken out again.
    Owned<hive_node_h> siblings(hivex_node_children(h, parent));
    if (!siblings) return kRegBadDb;
    for (const hive_node_h* s = siblings.get(); *s != 0; ++s) {
      if (*s != added) continue;
      auto name_of = [&](hive_node_h n) {
        Owned<char> text(hivex_node_name(h, n));
        return text ? FromUtf8(text.get()) : std::u16string();
      };
      const bool before_ok = s == siblings.get() || WindowsOrder(name_of(s[-1]), name) < 0;
      const bool after_ok = s[1] == 0 || WindowsOrder(name, name_of(s[1])) < 0;
      if (!before_ok || !after_ok) {
        nodes_.erase({hive, added});
        return hivex_node_delete_child(h, added) == 0 ? kRegNotSupported : kRegBadDb;
      }
    }
    *child = added;
    return kRegOk;
  }

  long Open(RegRoot root, std::u16string_view path, std::uint32_t access, bool create, Handle* key) {
    std::u16string folded;
    if (const long status = CheckedKeyPathIdentity(path, folded); status != kRegOk) return status;
    const HiveMapping::Place place = mapping_.Locate(root, path);
    OpenState state;
    state.access = EffectiveKeyAccess(access);
    state.root = root;
    switch (place.where) {
      case HiveMapping::Where::Outside: return create ? kRegAccessDenied : kRegFileNotFound;
      case HiveMapping::Where::Above:
        state.virtual_key = true;
        KeyPathIdentity(path, folded, &state.path);
        break;
      case HiveMapping::Where::Inside: {
        state.hive = place.mount;
        KeyPathIdentity(place.inner, state.inner_folded);
        if (const long status = Walk(place.mount, place.inner, create, &state.node); status != kRegOk) return status;
        break;
      }
    }
    *key = AddHandle(std::move(state));
    return kRegOk;
  }

  Handle AddHandle(OpenState state) {
    std::uint32_t slot;
    if (free_slots_.empty()) {
      slot = static_cast<std::uint32_t>(open_.size());
      open_.emplace_back();
    } else {
      slot = free_slots_.back();
      free_slots_.pop_back();
    }
    state.generation = open_[slot].generation + 1;
    state.used = true;
    open_[slot] = std::move(state);
    return (static_cast<Handle>(open_[slot].generation) << 32) | (slot + 1);
  }

  OpenState* StateOf(Handle key, std::uint32_t needed, long* status) {
    const std::uint64_t slot = (key & 0xFFFFFFFFu) - 1;
    if (slot >= open_.size() || !open_[slot].used || open_[slot].generation != (key >> 32)) {
      *status = kRegInvalidHandle;
      return nullptr;
    }
    OpenState& state = open_[slot];
    if ((state.access & needed) != needed) {
      *status = kRegAccessDenied;
      return nullptr;
    }
    if (state.deleted && needed != 0) {
      *status = kRegKeyDeleted;
      return nullptr;
    }
    return &state;
  }

  // Every key whose values changed gets its whole value list in one call.
  bool WriteValuesBack(size_t hive) {
    for (auto& [id, state] : nodes_) {
      if (id.hive != hive || !state.values || !state.values->dirty) continue;
      std::vector<hive_set_value> set;
      set.reserve(state.values->list.size());
      for (Value& v : state.values->list) {
        hive_set_value value{v.utf8.data(), hive_t_REG_NONE, v.data.size(), reinterpret_cast<char*>(v.data.data())};
        SetTypeBits(value.t, v.type);
        set.push_back(value);
      }
      if (hivex_node_set_values(hives_[hive]->h, id.node, set.size(), set.data(), 0) != 0) return false;
      state.values->dirty = false;
    }
    return true;
  }

  HiveMapping mapping_;
  std::vector<std::unique_ptr<Hive>> hives_;
  std::map<NodeId, NodeState> nodes_;
  std::vector<OpenState> open_;
  std::vector<std::uint32_t> free_slots_;
  std::uint64_t clock_ = 1;
};

}  // namespace

std::unique_ptr<HiveRegistry> OpenHiveRegistry(HiveMapping mapping, bool write, std::u16string* problem) {
  auto registry = std::make_unique<HivexRegistry>(std::move(mapping));
  if (!registry->OpenAll(write, problem)) return nullptr;
  return registry;
}

}  // namespace hivemend
