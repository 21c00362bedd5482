// A registry that keeps the keys opened through it open until it goes, so that
// a load and the merge that follows it in one process open each key once.
#pragma once

#include <functional>
#include <mutex>
#include <string>
#include <tuple>
#include <unordered_map>
#include <unordered_set>

#include "platform/ForwardingRegistry.h"

namespace hivemend {

// A later open of a key with the same root, the same path text and the same
// access gets the handle already open; closing a kept handle does nothing. A
// key deleted through this registry (or below a deleted key) is opened anew.
// Everything else goes to the registry it wraps, which must outlive it.
class KeyKeepingRegistry final : public ForwardingRegistry {
 public:
  explicit KeyKeepingRegistry(Registry& target) : ForwardingRegistry(target) {}
  ~KeyKeepingRegistry() override;  // closes every kept key, unless left to the process's end
  KeyKeepingRegistry(const KeyKeepingRegistry&) = delete;
  KeyKeepingRegistry& operator=(const KeyKeepingRegistry&) = delete;

  // For a process that ends right after this registry goes: the kept keys are
  // not closed one by one (a call into the system each) but by the process's
  // end, all at once.
  void LeaveKeysToProcessEnd() { close_kept_ = false; }

  long OpenKey(RegRoot root, std::u16string_view path, std::uint32_t access, Handle* key) override;
  void CloseKey(Handle key) override;
  long DeleteTree(RegRoot root, std::u16string_view path) override;

 private:
  using Id = std::tuple<RegRoot, std::uint32_t, std::u16string>;  // root, access, path as given
  struct IdHash {
    size_t operator()(const Id& id) const {
      return std::hash<std::u16string>()(std::get<2>(id)) ^
             (static_cast<size_t>(std::get<1>(id)) * 8 + static_cast<size_t>(std::get<0>(id)));
    }
  };

  std::mutex mutex_;
  std::unordered_map<Id, Handle, IdHash> open_;  // asked for every key a load and its merge open
  std::unordered_set<Handle> kept_;  // every handle this registry closes when it goes
  bool close_kept_ = true;
};

}  // namespace hivemend
