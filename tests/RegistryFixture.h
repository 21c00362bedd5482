// Runs a test against every registry implementation available: the in-memory
// registry everywhere, and on Windows also the system registry, isolated under
// HKCU\Software\HivemendTest\<unique> and removed before and after; each also
// behind a KeyKeepingRegistry, which must keep the same contract. Elsewhere
// also a hive file made empty for the test and mapped as HKCU\Software.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "platform/HiveRegistry.h"
#include "platform/KeyKeepingRegistry.h"
#include "platform/MemoryRegistry.h"
#include "platform/Registry.h"
#include "tests/EmptyHive.h"
#include "tests/RegistryValues.h"
#include "tests/TestSupport.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace hivemend::test {

enum class RegistryKind { Memory, System, KeptMemory, KeptSystem, Hive };

inline std::string KindName(const ::testing::TestParamInfo<RegistryKind>& info) {
  switch (info.param) {
    case RegistryKind::Memory: return "Memory";
    case RegistryKind::System: return "System";
    case RegistryKind::KeptMemory: return "KeptMemory";
    case RegistryKind::KeptSystem: return "KeptSystem";
    case RegistryKind::Hive: return "Hive";
  }
  return "?";
}

inline std::vector<RegistryKind> AllRegistryKinds() {
#ifdef _WIN32
  return {RegistryKind::Memory, RegistryKind::System, RegistryKind::KeptMemory, RegistryKind::KeptSystem};
#else
  return {RegistryKind::Memory, RegistryKind::KeptMemory, RegistryKind::Hive};
#endif
}

class RegistryTest : public ::testing::TestWithParam<RegistryKind> {
 protected:
  void SetUp() override {
    static int counter = 0;
    base_ = u"Software\\HivemendTest\\" + Decimal(Pid()) + u"-" + Decimal(++counter);
    if (IsSystem()) {
      registry_ = SystemRegistry();
      RemoveBase();
    } else if (GetParam() == RegistryKind::Hive) {
      folder_ = std::make_unique<TempDir>();
      const std::u16string file = folder_->File("NTUSER.DAT");
      WriteBytes(file, EmptyHiveBytes());
      HiveMapping mapping;
      ASSERT_EQ(Show(mapping.Add(RegRoot::CurrentUser, u"Software", file)), "");
      std::u16string problem;
      hive_ = OpenHiveRegistry(std::move(mapping), true, &problem);
      ASSERT_NE(hive_, nullptr) << Show(problem);
      registry_ = hive_.get();
    } else {
      memory_ = std::make_unique<MemoryRegistry>();
      registry_ = memory_.get();
    }
    if (GetParam() == RegistryKind::KeptMemory || GetParam() == RegistryKind::KeptSystem) {
      keeping_ = std::make_unique<KeyKeepingRegistry>(*registry_);
      registry_ = keeping_.get();
    }
  }
  void TearDown() override {
    keeping_.reset();
    if (IsSystem()) RemoveBase();
  }

  bool IsSystem() const { return GetParam() == RegistryKind::System || GetParam() == RegistryKind::KeptSystem; }

  Registry& reg() { return *registry_; }
  // A key path below the test's own key.
  std::u16string Path(std::u16string_view sub = {}) const {
    return sub.empty() ? base_ : base_ + u"\\" + std::u16string(sub);
  }
  const std::u16string& base() const { return base_; }

  void Put(std::u16string_view sub, std::u16string_view name, std::uint32_t type, const std::vector<std::uint8_t>& data) {
    SetValue(reg(), RegRoot::CurrentUser, Path(sub), name, {type, data});
  }
  void PutString(std::u16string_view sub, std::u16string_view name, std::u16string_view text,
                 std::uint32_t type = kRegSz) {
    Put(sub, name, type, StringBytes(text));
  }
  void PutDword(std::u16string_view sub, std::u16string_view name, std::uint32_t v) {
    Put(sub, name, kRegDword, DwordBytes(v));
  }
  void MakeKey(std::u16string_view sub) {
    RegKey key(reg());
    ASSERT_EQ(key.Create(RegRoot::CurrentUser, Path(sub), kKeyWrite), kRegOk);
  }

 private:
  static unsigned long Pid() {
#ifdef _WIN32
    return GetCurrentProcessId();
#else
    return 1;
#endif
  }
  void RemoveBase() {
#ifdef _WIN32
    RegDeleteTreeW(HKEY_CURRENT_USER, reinterpret_cast<const wchar_t*>(base_.c_str()));
#endif
  }

  std::unique_ptr<MemoryRegistry> memory_;
  std::unique_ptr<TempDir> folder_;
  std::unique_ptr<HiveRegistry> hive_;
  std::unique_ptr<KeyKeepingRegistry> keeping_;
  Registry* registry_ = nullptr;
  std::u16string base_;
};

}  // namespace hivemend::test
