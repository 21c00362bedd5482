// The Windows registry behind the Registry interface. A Handle is an HKEY.
#include <windows.h>

#include <string>

#include "platform/Registry.h"
#include "platform/WinString.h"

namespace hivemend {
namespace {

HKEY RootKey(RegRoot root) {
  switch (root) {
    case RegRoot::ClassesRoot: return HKEY_CLASSES_ROOT;
    case RegRoot::CurrentUser: return HKEY_CURRENT_USER;
    case RegRoot::LocalMachine: return HKEY_LOCAL_MACHINE;
    case RegRoot::Users: return HKEY_USERS;
    case RegRoot::CurrentConfig: return HKEY_CURRENT_CONFIG;
  }
  return HKEY_CURRENT_USER;
}

// The Win32 calls need NUL-terminated names; views are copied once.
class WinRegistry final : public Registry {
 public:
  long OpenKey(RegRoot root, std::u16string_view path, std::uint32_t access, Handle* key) override {
    if (key == nullptr) return ERROR_INVALID_PARAMETER;
    const std::u16string p(path);
    HKEY h = nullptr;
    const LONG status = RegOpenKeyExW(RootKey(root), AsWide(p), 0, access, &h);
    if (status == ERROR_SUCCESS) *key = reinterpret_cast<Handle>(h);
    return status;
  }
  long CreateKey(RegRoot root, std::u16string_view path, std::uint32_t access, Handle* key) override {
    if (key == nullptr) return ERROR_INVALID_PARAMETER;
    const std::u16string p(path);
    HKEY h = nullptr;
    const LONG status = RegCreateKeyExW(RootKey(root), AsWide(p), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                        access, nullptr, &h, nullptr);
    if (status == ERROR_SUCCESS) *key = reinterpret_cast<Handle>(h);
    return status;
  }
  long QueryValue(Handle key, std::u16string_view name, std::uint32_t* type, std::uint8_t* data,
                  std::uint32_t* size) override {
    const std::u16string n(name);
    DWORD t = 0;
    DWORD s = size ? *size : 0;
    const LONG status = RegQueryValueExW(reinterpret_cast<HKEY>(key), AsWide(n), nullptr, &t, data,
                                         size ? &s : nullptr);
    if (status == ERROR_SUCCESS || status == ERROR_MORE_DATA) {
      if (type) *type = t;
      if (size) *size = s;
    }
    return status;
  }
  long SetValue(Handle key, std::u16string_view name, std::uint32_t type, const std::uint8_t* data,
                std::uint32_t size) override {
    const std::u16string n(name);
    return RegSetValueExW(reinterpret_cast<HKEY>(key), AsWide(n), 0, type, data, size);
  }
  long DeleteValue(Handle key, std::u16string_view name) override {
    const std::u16string n(name);
    return RegDeleteValueW(reinterpret_cast<HKEY>(key), AsWide(n));
  }
  void CloseKey(Handle key) override { RegCloseKey(reinterpret_cast<HKEY>(key)); }
};

}  // namespace

Registry* SystemRegistry() {
  static WinRegistry registry;
  return &registry;
}

}  // namespace hivemend
