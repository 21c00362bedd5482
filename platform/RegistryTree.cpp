#include "platform/RegistryTree.h"

#include <algorithm>

#include "platform/RegistryName.h"

namespace hivemend {

namespace {

// The path with its last name as the registry spells it (the names above it
// stay as given): found among the subkeys of its parent.
std::u16string RegistrySpelling(Registry& registry, RegRoot root, std::u16string_view path) {
  std::u16string folded, kept;
  KeyPathIdentity(path, folded, &kept);
  const size_t slash = kept.rfind(u'\\');
  if (kept.empty()) return kept;
  const std::u16string parent = slash == std::u16string::npos ? std::u16string() : kept.substr(0, slash);
  const std::u16string wanted = FoldedRegistryName(kept.substr(slash == std::u16string::npos ? 0 : slash + 1));
  RegKey key(registry);
  if (key.Open(root, parent, kKeyRead) != kRegOk) return kept;
  for (std::uint32_t i = 0;; ++i) {
    std::u16string name;
    if (key.EnumKey(i, &name) != kRegOk) break;
    if (FoldedRegistryName(name) == wanted) return parent.empty() ? name : parent + u'\\' + name;
  }
  return kept;
}

}  // namespace

long ReadTree(Registry& registry, RegRoot root, std::u16string_view path, std::vector<RegTreeKey>* keys,
              RegTreeCounts* counts) {
  RegTreeCounts total;
  std::vector<std::u16string> pending{keys != nullptr ? RegistrySpelling(registry, root, path)
                                                      : std::u16string(path)};
  bool top = true;
  while (!pending.empty()) {
    std::u16string current = std::move(pending.back());
    pending.pop_back();
    RegKey key(registry);
    if (const long status = key.Open(root, current, kKeyRead); status != kRegOk) return status;
    RegKeyInfo info;
    if (const long status = key.Info(&info); status != kRegOk) return status;
    if (!top) ++total.subkeys;
    top = false;
    if (keys != nullptr) {
      RegTreeKey read;
      read.path = current;
      for (std::uint32_t i = 0;; ++i) {
        RegTreeValue value;
        const long status = key.EnumValue(i, &value.name, &value.type, &value.data);
        if (status == kRegNoMoreItems) break;
        if (status != kRegOk) return status;
        read.values.push_back(std::move(value));
      }
      total.values += static_cast<std::uint32_t>(read.values.size());
      keys->push_back(std::move(read));
    } else {
      total.values += info.values;
    }
    std::vector<std::u16string> children;
    for (std::uint32_t i = 0;; ++i) {
      std::u16string name;
      const long status = key.EnumKey(i, &name);
      if (status == kRegNoMoreItems) break;
      if (status != kRegOk) return status;
      children.push_back(current.empty() ? name : current + u'\\' + name);
    }
    // Taken from the back: pushed in reverse, the subkeys come in their order.
    std::reverse(children.begin(), children.end());
    for (std::u16string& child : children) pending.push_back(std::move(child));
  }
  if (counts != nullptr) *counts = total;
  return kRegOk;
}

}  // namespace hivemend
