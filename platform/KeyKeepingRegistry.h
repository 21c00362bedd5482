// A registry that keeps the keys opened through it open until it goes, so that
// a load and the merge that follows it in one process open each key once.
#pragma once

#include <map>
#include <mutex>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "platform/Registry.h"

namespace hivemend {

// A later open of a key with the same root, the same path text and the same
// access gets the handle already open; closing a kept handle does nothing. A
// key deleted through this registry (or below a deleted key) is opened anew.
// Everything else goes to the registry it wraps, which must outlive it.
class KeyKeepingRegistry final : public Registry {
 public:
  explicit KeyKeepingRegistry(Registry& target) : target_(target) {}
  ~KeyKeepingRegistry() override;  // closes every kept key
  KeyKeepingRegistry(const KeyKeepingRegistry&) = delete;
  KeyKeepingRegistry& operator=(const KeyKeepingRegistry&) = delete;

  long OpenKey(RegRoot root, std::u16string_view path, std::uint32_t access, Handle* key) override;
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
  void CloseKey(Handle key) override;
  long QueryKeyInfo(Handle key, RegKeyInfo* info) override { return target_.QueryKeyInfo(key, info); }
  long EnumKey(Handle key, std::uint32_t index, std::u16string* name) override {
    return target_.EnumKey(key, index, name);
  }
  long EnumValue(Handle key, std::uint32_t index, std::u16string* name, std::uint32_t* type,
                 std::vector<std::uint8_t>* data) override {
    return target_.EnumValue(key, index, name, type, data);
  }
  long DeleteTree(RegRoot root, std::u16string_view path) override;
  std::uint64_t ChangeClock() override { return target_.ChangeClock(); }

 private:
  using Id = std::tuple<RegRoot, std::uint32_t, std::u16string>;  // root, access, path as given

  Registry& target_;
  std::mutex mutex_;
  std::map<Id, Handle> open_;
  std::set<Handle> kept_;  // every handle this registry closes when it goes
};

}  // namespace hivemend
