#include "platform/KeyKeepingRegistry.h"

#include "platform/RegistryName.h"

namespace hivemend {

KeyKeepingRegistry::~KeyKeepingRegistry() {
  if (close_kept_) {
    for (Handle key : kept_) target().CloseKey(key);
  }
}

long KeyKeepingRegistry::OpenKey(RegRoot root, std::u16string_view path, std::uint32_t access, Handle* key) {
  if (key == nullptr) return kRegInvalidParameter;
  std::lock_guard lock(mutex_);
  Id id{root, access, std::u16string(path)};
  if (const auto it = open_.find(id); it != open_.end()) {
    *key = it->second;
    return kRegOk;
  }
  Handle opened = 0;
  const long status = target().OpenKey(root, path, access, &opened);
  if (status != kRegOk) return status;
  open_.emplace(std::move(id), opened);
  kept_.insert(opened);
  *key = opened;
  return kRegOk;
}

void KeyKeepingRegistry::CloseKey(Handle key) {
  {
    std::lock_guard lock(mutex_);
    if (kept_.contains(key)) return;
  }
  target().CloseKey(key);
}

long KeyKeepingRegistry::DeleteTree(RegRoot root, std::u16string_view path) {
  const long status = target().DeleteTree(root, path);
  // The kept keys at or below it are opened anew by later opens; their
  // handles stay as they are (a deleted key's handle says so) until this
  // registry goes.
  std::u16string top;
  KeyPathIdentity(path, top);
  std::lock_guard lock(mutex_);
  std::u16string folded;
  for (auto it = open_.begin(); it != open_.end();) {
    KeyPathIdentity(std::get<2>(it->first), folded);
    const bool below = std::get<0>(it->first) == root && folded.starts_with(top) &&
                       (folded.size() == top.size() || top.empty() || folded[top.size()] == u'\\');
    it = below ? open_.erase(it) : std::next(it);
  }
  return status;
}

}  // namespace hivemend
