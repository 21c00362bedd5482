// The one way the program reaches the registry.
//
// Two implementations: the Windows registry (Registry_win.cpp) and an in-memory
// registry that behaves like it where the program can tell (MemoryRegistry.h).
// One contract test suite runs against both (tests/platform/RegistryContractTest.cpp).
//
// Contract, as the callers rely on it:
//  - Every operation returns a Win32 status code: 0 is success, anything else
//    is a failure that callers treat alike.
//  - Key paths are backslash-separated below one of the five roots; the empty
//    path names the root itself. Key and value names compare without regard to
//    letter case. The empty value name is the key's default value.
//  - Out-parameters are not touched when an operation fails, except that
//    QueryValue reports the needed size together with ERROR_MORE_DATA.
//  - ReadWholeValue, the same for every implementation, reads a value whole
//    although it may grow between the query of its size and its read.
//  - Handles are owned by RegKey, which closes them.
//  - The registry's limits hold: a key name (one part of a path) has at most
//    255 characters and a value name at most 16,383; longer names are refused
//    with kRegInvalidParameter (a query or deletion finds no such value).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace hivemend {

enum class RegRoot : std::uint8_t { ClassesRoot, CurrentUser, LocalMachine, Users, CurrentConfig };

// Win32 status codes that the program and the in-memory registry use.
inline constexpr long kRegOk = 0;
inline constexpr long kRegFileNotFound = 2;      // ERROR_FILE_NOT_FOUND
inline constexpr long kRegAccessDenied = 5;      // ERROR_ACCESS_DENIED
inline constexpr long kRegInvalidHandle = 6;     // ERROR_INVALID_HANDLE
inline constexpr long kRegInvalidParameter = 87; // ERROR_INVALID_PARAMETER
inline constexpr long kRegBadPathname = 161;     // ERROR_BAD_PATHNAME
inline constexpr long kRegMoreData = 234;        // ERROR_MORE_DATA
inline constexpr long kRegNoMoreItems = 259;     // ERROR_NO_MORE_ITEMS
inline constexpr long kRegKeyDeleted = 1018;     // ERROR_KEY_DELETED: the open key was deleted

// The longest key name (one part of a path) and value name the registry takes.
inline constexpr size_t kMaxKeyNameLength = 255;
inline constexpr size_t kMaxValueNameLength = 16383;

// Access rights, with the Win32 values.
inline constexpr std::uint32_t kKeyQueryValue = 0x0001;
inline constexpr std::uint32_t kKeySetValue = 0x0002;
inline constexpr std::uint32_t kKeyRead = 0x20019;
inline constexpr std::uint32_t kKeyWrite = 0x20006;
inline constexpr std::uint32_t kKeyDelete = 0x10000;  // DELETE: the key may be deleted
inline constexpr std::uint32_t kGenericRead = 0x80000000u;
inline constexpr std::uint32_t kGenericWrite = 0x40000000u;

// Registry type codes.
inline constexpr std::uint32_t kRegNone = 0;
inline constexpr std::uint32_t kRegSz = 1;
inline constexpr std::uint32_t kRegExpandSz = 2;
inline constexpr std::uint32_t kRegBinary = 3;
inline constexpr std::uint32_t kRegDword = 4;
inline constexpr std::uint32_t kRegDwordBigEndian = 5;
inline constexpr std::uint32_t kRegLink = 6;
inline constexpr std::uint32_t kRegMultiSz = 7;
inline constexpr std::uint32_t kRegResourceList = 8;
inline constexpr std::uint32_t kRegFullResourceDescriptor = 9;
inline constexpr std::uint32_t kRegResourceRequirementsList = 10;
inline constexpr std::uint32_t kRegQword = 11;

// What QueryKeyInfo reports of a key.
struct RegKeyInfo {
  std::uint32_t subkeys = 0;     // direct subkeys
  std::uint32_t values = 0;      // values of the key itself
  std::uint64_t last_write = 0;  // when the key or one of its values last changed (ChangeClock's scale)
};

class Registry {
 public:
  // An open key; its meaning belongs to the implementation. 0 is never valid.
  using Handle = std::uintptr_t;

  virtual ~Registry() = default;

  // Opens an existing key. Fails when any part of the path does not exist.
  [[nodiscard]] virtual long OpenKey(RegRoot root, std::u16string_view path, std::uint32_t access,
                                     Handle* key) = 0;
  // Opens a key, creating it and every missing parent (non-volatile).
  [[nodiscard]] virtual long CreateKey(RegRoot root, std::u16string_view path, std::uint32_t access,
                                       Handle* key) = 0;
  // Reads a value. With data == nullptr only *type and *size are reported. With
  // a buffer, *size is its capacity on entry and the data's size on return; a
  // buffer that is too small gives kRegMoreData and the needed size in *size.
  // type may be nullptr.
  [[nodiscard]] virtual long QueryValue(Handle key, std::u16string_view name, std::uint32_t* type,
                                        std::uint8_t* data, std::uint32_t* size) = 0;
  // Reads a value whole: its size, then its bytes, asked again when the value
  // grew in between; kRegMoreData when it still grew after a few tries. type
  // and data may be nullptr.
  [[nodiscard]] long ReadWholeValue(Handle key, std::u16string_view name, std::uint32_t* type,
                                    std::vector<std::uint8_t>* data);
  // Creates or replaces a value with exactly the given type and bytes.
  [[nodiscard]] virtual long SetValue(Handle key, std::u16string_view name, std::uint32_t type,
                                      const std::uint8_t* data, std::uint32_t size) = 0;
  // Removes a value; kRegFileNotFound when there is none.
  [[nodiscard]] virtual long DeleteValue(Handle key, std::u16string_view name) = 0;
  virtual void CloseKey(Handle key) = 0;

  // Counts and last change of an open key (needs query access).
  [[nodiscard]] virtual long QueryKeyInfo(Handle key, RegKeyInfo* info) = 0;
  // The name of the direct subkey at index 0, 1, ...; kRegNoMoreItems past
  // the last. Indexes stay valid while the key does not change.
  [[nodiscard]] virtual long EnumKey(Handle key, std::uint32_t index, std::u16string* name) = 0;
  // The name, type and bytes of the value at index 0, 1, ...; kRegNoMoreItems
  // past the last. type and data may be null.
  [[nodiscard]] virtual long EnumValue(Handle key, std::uint32_t index, std::u16string* name, std::uint32_t* type,
                                       std::vector<std::uint8_t>* data) = 0;
  // Deletes the key at path with every subkey and value below it.
  // kRegFileNotFound when it does not exist; a root (the empty path) is
  // refused with kRegAccessDenied and nothing is deleted.
  [[nodiscard]] virtual long DeleteTree(RegRoot root, std::u16string_view path) = 0;
  // A time on the scale of RegKeyInfo::last_write: every change made after
  // this call returns is stamped later than the value returned.
  virtual std::uint64_t ChangeClock() = 0;
};

// Move-only owner of an open key; closes it when it goes.
class RegKey {
 public:
  RegKey() = default;
  explicit RegKey(Registry& registry) : registry_(&registry) {}
  RegKey(const RegKey&) = delete;
  RegKey& operator=(const RegKey&) = delete;
  RegKey(RegKey&& other) noexcept
      : registry_(other.registry_), handle_(std::exchange(other.handle_, 0)) {}
  RegKey& operator=(RegKey&& other) noexcept {
    if (this != &other) {
      reset();
      registry_ = other.registry_;
      handle_ = std::exchange(other.handle_, 0);
    }
    return *this;
  }
  ~RegKey() { reset(); }

  [[nodiscard]] long Open(RegRoot root, std::u16string_view path, std::uint32_t access) {
    reset();
    return registry_->OpenKey(root, path, access, &handle_);
  }
  [[nodiscard]] long Create(RegRoot root, std::u16string_view path, std::uint32_t access) {
    reset();
    return registry_->CreateKey(root, path, access, &handle_);
  }
  [[nodiscard]] long Query(std::u16string_view name, std::uint32_t* type, std::uint8_t* data,
                           std::uint32_t* size) const {
    return registry_->QueryValue(handle_, name, type, data, size);
  }
  [[nodiscard]] long ReadWhole(std::u16string_view name, std::uint32_t* type, std::vector<std::uint8_t>* data) const {
    return registry_->ReadWholeValue(handle_, name, type, data);
  }
  [[nodiscard]] long Set(std::u16string_view name, std::uint32_t type, const std::uint8_t* data,
                         std::uint32_t size) const {
    return registry_->SetValue(handle_, name, type, data, size);
  }
  [[nodiscard]] long Delete(std::u16string_view name) const {
    return registry_->DeleteValue(handle_, name);
  }
  [[nodiscard]] long Info(RegKeyInfo* info) const { return registry_->QueryKeyInfo(handle_, info); }
  [[nodiscard]] long EnumKey(std::uint32_t index, std::u16string* name) const {
    return registry_->EnumKey(handle_, index, name);
  }
  [[nodiscard]] long EnumValue(std::uint32_t index, std::u16string* name, std::uint32_t* type,
                               std::vector<std::uint8_t>* data) const {
    return registry_->EnumValue(handle_, index, name, type, data);
  }

  bool valid() const { return handle_ != 0; }
  Registry::Handle get() const { return handle_; }
  void reset() {
    if (handle_ != 0) registry_->CloseKey(std::exchange(handle_, 0));
  }

 private:
  Registry* registry_ = nullptr;
  Registry::Handle handle_ = 0;
};

// The process's registry: the Windows registry on Windows. Elsewhere there is
// none, and this returns nullptr.
Registry* SystemRegistry();

}  // namespace hivemend
