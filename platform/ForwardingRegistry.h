// A registry that passes every call on to another one. Registries that change
// a few calls of another (KeyKeepingRegistry, and tests) derive from it.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/Registry.h"

namespace hivemend {

class ForwardingRegistry : public Registry {
 public:
  // target must outlive this registry; it is not used during construction.
  explicit ForwardingRegistry(Registry& target) : target_(target) {}

  long OpenKey(RegRoot root, std::u16string_view path, std::uint32_t access, Handle* key) override {
    return target_.OpenKey(root, path, access, key);
  }
  long CreateKey(RegRoot root, std::u16string_view path, std::uint32_t access, Handle* key) override {
    return target_.CreateKey(root, path, access, key);
  }
  long QueryValue(Handle key, std::u16string_view name, std::uint32_t* type, std::uint8_t* data,
                  std::uint32_t* size) override {
    return target_.QueryValue(key, name, type, data, size);
  }
  long SetValue(Handle key, std::u16string_view name, std::uint32_t type, const std::uint8_t* data,
                std::uint32_t size) override {
    return target_.SetValue(key, name, type, data, size);
  }
  long DeleteValue(Handle key, std::u16string_view name) override { return target_.DeleteValue(key, name); }
  void CloseKey(Handle key) override { target_.CloseKey(key); }
  long QueryKeyInfo(Handle key, RegKeyInfo* info) override { return target_.QueryKeyInfo(key, info); }
  long EnumKey(Handle key, std::uint32_t index, std::u16string* name) override {
    return target_.EnumKey(key, index, name);
  }
  long EnumValue(Handle key, std::uint32_t index, std::u16string* name, std::uint32_t* type,
                 std::vector<std::uint8_t>* data) override {
    return target_.EnumValue(key, index, name, type, data);
  }
  long DeleteTree(RegRoot root, std::u16string_view path) override { return target_.DeleteTree(root, path); }
  std::uint64_t ChangeClock() override { return target_.ChangeClock(); }

 protected:
  Registry& target() const { return target_; }

 private:
  Registry& target_;
};

}  // namespace hivemend
