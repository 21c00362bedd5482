// A registry for tests that forwards every call to another one, with each root
// moved below a test key of HKEY_CURRENT_USER: HKEY_LOCAL_MACHINE\Software\X
// becomes HKEY_CURRENT_USER\<base>\HKLM\Software\X. The code under test then
// reads and writes "its" keys without touching the real ones.
#pragma once

#include <string>

#include "platform/ForwardingRegistry.h"

namespace hivemend::test {

class RedirectedRegistry final : public ForwardingRegistry {
 public:
  RedirectedRegistry(Registry& target, std::u16string base) : ForwardingRegistry(target), base_(std::move(base)) {}

  // Where a key of the code under test really is (below HKEY_CURRENT_USER).
  std::u16string Redirected(RegRoot root, std::u16string_view path) const {
    static constexpr const char16_t* kRootNames[] = {u"HKCR", u"HKCU", u"HKLM", u"HKU", u"HKCC"};
    std::u16string full = base_ + u"\\" + kRootNames[static_cast<int>(root)];
    if (!path.empty()) full += u"\\" + std::u16string(path);
    return full;
  }

  long OpenKey(RegRoot root, std::u16string_view path, std::uint32_t access, Handle* key) override {
    return target().OpenKey(RegRoot::CurrentUser, Redirected(root, path), access, key);
  }
  long CreateKey(RegRoot root, std::u16string_view path, std::uint32_t access, Handle* key) override {
    return target().CreateKey(RegRoot::CurrentUser, Redirected(root, path), access, key);
  }
  long DeleteTree(RegRoot root, std::u16string_view path) override {
    if (path.empty()) return kRegAccessDenied;
    return target().DeleteTree(RegRoot::CurrentUser, Redirected(root, path));
  }

 private:
  std::u16string base_;
};

}  // namespace hivemend::test
