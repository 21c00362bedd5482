// A registry for tests that forwards every call to another one, with each root
// moved below a test key of HKEY_CURRENT_USER: HKEY_LOCAL_MACHINE\Software\X
// becomes HKEY_CURRENT_USER\<base>\HKLM\Software\X. The code under test then
// reads and writes "its" keys without touching the real ones.
#pragma once

#include <string>

#include "platform/Registry.h"

namespace hivemend::test {

class RedirectedRegistry final : public Registry {
 public:
  RedirectedRegistry(Registry& target, std::u16string base) : target_(target), base_(std::move(base)) {}

  // Where a key of the code under test really is (below HKEY_CURRENT_USER).
  std::u16string Redirected(RegRoot root, std::u16string_view path) const {
    static constexpr const char16_t* kRootNames[] = {u"HKCR", u"HKCU", u"HKLM", u"HKU", u"HKCC"};
    std::u16string full = base_ + u"\\" + kRootNames[static_cast<int>(root)];
    if (!path.empty()) full += u"\\" + std::u16string(path);
    return full;
  }

  long OpenKey(RegRoot root, std::u16string_view path, std::uint32_t access, Handle* key) override {
    return target_.OpenKey(RegRoot::CurrentUser, Redirected(root, path), access, key);
  }
  long CreateKey(RegRoot root, std::u16string_view path, std::uint32_t access, Handle* key) override {
    return target_.CreateKey(RegRoot::CurrentUser, Redirected(root, path), access, key);
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

 private:
  Registry& target_;
  std::u16string base_;
};

}  // namespace hivemend::test
