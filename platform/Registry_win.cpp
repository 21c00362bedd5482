// The Windows registry behind the Registry interface. A Handle is an HKEY.
#include <windows.h>

#include <string>
#include <vector>

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

  long QueryKeyInfo(Handle key, RegKeyInfo* info) override {
    if (info == nullptr) return ERROR_INVALID_PARAMETER;
    DWORD subkeys = 0, values = 0;
    FILETIME written{};
    const LONG status = RegQueryInfoKeyW(reinterpret_cast<HKEY>(key), nullptr, nullptr, nullptr, &subkeys, nullptr,
                                         nullptr, &values, nullptr, nullptr, nullptr, &written);
    if (status == ERROR_SUCCESS) {
      info->subkeys = subkeys;
      info->values = values;
      info->last_write = (static_cast<std::uint64_t>(written.dwHighDateTime) << 32) | written.dwLowDateTime;
    }
    return status;
  }
  long EnumKey(Handle key, std::uint32_t index, std::u16string* name) override {
    if (name == nullptr) return ERROR_INVALID_PARAMETER;
    wchar_t buffer[kMaxKeyNameLength + 2];
    DWORD length = static_cast<DWORD>(std::size(buffer));
    const LONG status =
        RegEnumKeyExW(reinterpret_cast<HKEY>(key), index, buffer, &length, nullptr, nullptr, nullptr, nullptr);
    if (status == ERROR_SUCCESS) name->assign(reinterpret_cast<const char16_t*>(buffer), length);
    return status;
  }
  long EnumValue(Handle key, std::uint32_t index, std::u16string* name, std::uint32_t* type,
                 std::vector<std::uint8_t>* data) override {
    if (name == nullptr) return ERROR_INVALID_PARAMETER;
    // Buffers kept between calls: a key read whole lists its values one by one.
    thread_local std::vector<wchar_t> buffer(kMaxValueNameLength + 2);
    thread_local std::vector<std::uint8_t> bytes(4096);
    // The value may grow between the calls: a few tries with the size it reports.
    for (int attempt = 0; attempt < 4; ++attempt) {
      DWORD length = static_cast<DWORD>(buffer.size());
      DWORD t = 0;
      DWORD size = static_cast<DWORD>(bytes.size());
      const LONG status = RegEnumValueW(reinterpret_cast<HKEY>(key), index, buffer.data(), &length, nullptr, &t,
                                        data ? bytes.data() : nullptr, data ? &size : nullptr);
      if (status == ERROR_MORE_DATA && data != nullptr) {
        bytes.resize(static_cast<size_t>(size) + 2);
        continue;
      }
      if (status != ERROR_SUCCESS) return status;
      name->assign(reinterpret_cast<const char16_t*>(buffer.data()), length);
      if (type) *type = t;
      if (data) data->assign(bytes.begin(), bytes.begin() + size);
      return ERROR_SUCCESS;
    }
    return ERROR_MORE_DATA;
  }
  long DeleteTree(RegRoot root, std::u16string_view path) override {
    // With no subkey named, the system would empty the root itself.
    if (path.empty()) return ERROR_ACCESS_DENIED;
    const std::u16string p(path);
    return RegDeleteTreeW(RootKey(root), AsWide(p));
  }
  std::uint64_t ChangeClock() override {
    // The registry stamps changes with the system time; the stamp of a
    // change made right now may lag behind the clock read by this process, so
    // the answer is taken two seconds early.
    FILETIME now{};
    GetSystemTimeAsFileTime(&now);
    const std::uint64_t ticks = (static_cast<std::uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
    constexpr std::uint64_t kMargin = 2ull * 10'000'000;  // 100 ns units
    return ticks > kMargin ? ticks - kMargin : 0;
  }
};

}  // namespace

Registry* SystemRegistry() {
  static WinRegistry registry;
  return &registry;
}

}  // namespace hivemend
