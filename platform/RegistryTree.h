// Reading a key with everything below it, through the Registry interface: for
// the count a key deletion shows and for the undo text that brings a deleted
// subtree back.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Registry.h"

namespace hivemend {

struct RegTreeValue {
  std::u16string name;  // as the registry gives it; empty for the default value
  std::uint32_t type = 0;
  std::vector<std::uint8_t> data;
};

struct RegTreeKey {
  std::u16string path;  // below the root, as the registry spells the names below the top key
  std::vector<RegTreeValue> values;
};

// Every value of a subtree, and every key below its top key.
struct RegTreeCounts {
  std::uint32_t values = 0;
  std::uint32_t subkeys = 0;
};

// Reads the key at path and every key below it, each key before the keys
// below it. With keys, the paths name the key itself as the registry spells it
// (the names above it as given, runs of backslashes as one). keys (may be null) receives them with their values; counts (may
// be null) what they hold. Fails with the first failure to open or read a key
// of the subtree (kRegFileNotFound when the top key does not exist).
[[nodiscard]] long ReadTree(Registry& registry, RegRoot root, std::u16string_view path,
                            std::vector<RegTreeKey>* keys, RegTreeCounts* counts);

}  // namespace hivemend
