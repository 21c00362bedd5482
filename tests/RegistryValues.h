// Values as the tests write and read them in a registry.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "platform/Registry.h"
#include "tests/TestSupport.h"

namespace hivemend::test {

struct Value {
  std::uint32_t type = 0;
  std::vector<std::uint8_t> bytes;
  bool operator==(const Value&) const = default;
};

// name is the registry's name (decoded; empty for the default value).
inline void SetValue(Registry& registry, RegRoot root, std::u16string_view key_path, std::u16string_view name,
                     const Value& value) {
  RegKey key(registry);
  ASSERT_EQ(key.Create(root, key_path, kKeyWrite), kRegOk) << Show(key_path);
  ASSERT_EQ(key.Set(name, value.type, value.bytes.empty() ? nullptr : value.bytes.data(),
                    static_cast<std::uint32_t>(value.bytes.size())),
            kRegOk)
      << Show(name);
}
inline std::optional<Value> GetValue(Registry& registry, RegRoot root, std::u16string_view key_path,
                                     std::u16string_view name) {
  RegKey key(registry);
  if (key.Open(root, key_path, kKeyRead) != kRegOk) return std::nullopt;
  Value value;
  if (key.ReadWhole(name, &value.type, &value.bytes) != kRegOk) return std::nullopt;
  return value;
}
inline bool KeyExists(Registry& registry, RegRoot root, std::u16string_view key_path) {
  RegKey key(registry);
  return key.Open(root, key_path, kKeyRead) == kRegOk;
}

}  // namespace hivemend::test
