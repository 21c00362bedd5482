// The registry writer: what it stores and deletes, its failure texts, and the
// error-log lock.
#include <gtest/gtest.h>

#include <thread>

#include "merge/RegistryWriter.h"
#include "MergeTestSupport.h"
#include "platform/SystemText.h"

namespace hivemend::test {
namespace {

constexpr RegRoot kCU = RegRoot::CurrentUser;

void Apply(Registry& registry, std::u16string_view key, std::u16string_view name, std::uint32_t type,
           const std::vector<std::uint8_t>& bytes, std::u16string& errors) {
  ApplyValueChange(registry, kCU, key, name, type, bytes.empty() ? nullptr : bytes.data(),
                   static_cast<std::uint32_t>(bytes.size()), errors);
}

struct StoreCase {
  int line;
  const char16_t* key;
  const char16_t* row_name;       // as the row holds it
  const char16_t* registry_name;  // where the value must land
  std::uint32_t type;
  std::vector<std::uint8_t> bytes;
};

TEST(RegistryWriter, StoresExactlyTheGivenTypeAndBytesUnderTheDecodedName) {
  const StoreCase cases[] = {
      {__LINE__, u"New\\Deep\\Key", u"v", u"v", kRegSz, StringBytes(u"text")},
      {__LINE__, u"K", u"@", u"", kRegSz, StringBytes(u"default")},
      {__LINE__, u"K", u"@x", u"@x", kRegDword, DwordBytes(7)},
      {__LINE__, u"", u"AtRoot", u"AtRoot", kRegQword, {1, 2, 3, 4, 5, 6, 7, 8}},
      {__LINE__, u"K", u"empty", u"empty", kRegSz, StringBytes(u"")},
      {__LINE__, u"K", u"a\\\\b", u"a\\b", kRegBinary, {0, 10, 255}},
      {__LINE__, u"K", u"q\\\"x", u"q\"x", kRegExpandSz, StringBytes(u"%x%")},
      {__LINE__, u"K", u"no data", u"no data", kRegMultiSz, {}},
      {__LINE__, u"K", u"odd type", u"odd type", 12345, {9}},  // the writer does not judge types
  };
  for (const StoreCase& c : cases) {
    SCOPED_TRACE(testing::Message() << "case at line " << c.line);
    MemoryRegistry registry;
    std::u16string errors;
    Apply(registry, c.key, c.row_name, c.type, c.bytes, errors);
    EXPECT_EQ(Show(errors), "");
    const std::optional<Value> got = GetValue(registry, kCU, c.key, c.registry_name);
    ASSERT_TRUE(got.has_value());
    EXPECT_EQ(*got, (Value{c.type, c.bytes}));
    EXPECT_EQ(registry.OpenHandles(), 0u);
  }
}

TEST(RegistryWriter, StoringReplacesTypeAndDataOfAnExistingValue) {
  MemoryRegistry registry;
  SetValue(registry, kCU, u"K", u"v", {kRegBinary, {1, 2, 3}});
  std::u16string errors;
  Apply(registry, u"k", u"V", kRegDword, DwordBytes(0x12345678), errors);
  EXPECT_EQ(Show(errors), "");
  EXPECT_EQ(GetValue(registry, kCU, u"K", u"v"), (Value{kRegDword, DwordBytes(0x12345678)}));
}

TEST(RegistryWriter, DeletionRemovesTheValueAndAbsenceIsNoFailure) {
  MemoryRegistry registry;
  SetValue(registry, kCU, u"K", u"", {kRegSz, StringBytes(u"default")});
  SetValue(registry, kCU, u"K", u"@", {kRegSz, StringBytes(u"literal at")});
  SetValue(registry, kCU, u"K", u"a\\b", {kRegDword, DwordBytes(1)});
  std::u16string errors;

  Apply(registry, u"K", u"@", DELETE_VALUE_TYPE, {}, errors);  // the default value, not "@"
  EXPECT_FALSE(GetValue(registry, kCU, u"K", u""));
  EXPECT_TRUE(GetValue(registry, kCU, u"K", u"@"));

  Apply(registry, u"K", u"a\\\\b", DELETE_VALUE_TYPE, {}, errors);
  EXPECT_FALSE(GetValue(registry, kCU, u"K", u"a\\b"));

  Apply(registry, u"K", u"never there", DELETE_VALUE_TYPE, {}, errors);
  Apply(registry, u"Absent\\Key", u"v", DELETE_VALUE_TYPE, {}, errors);
  EXPECT_FALSE(KeyExists(registry, kCU, u"Absent"));
  EXPECT_EQ(Show(errors), "");
  EXPECT_EQ(registry.OpenHandles(), 0u);
}

struct FailureCase {
  int line;
  FaultyRegistry::Op op;
  std::uint32_t type;
  const char16_t* expected;
};

TEST(RegistryWriter, EachFailureAppendsOneLineWithTheSystemsText) {
  const FailureCase cases[] = {
      {__LINE__, FaultyRegistry::kCreate, kRegSz,
       u"Error creating or opening key Soft\\K: %s\r\n"},
      {__LINE__, FaultyRegistry::kSet, kRegSz,
       u"Error writing value at Soft\\K\\a\\\\b: %s\r\n"},
      {__LINE__, FaultyRegistry::kOpen, DELETE_VALUE_TYPE,
       u"Error creating or opening key Soft\\K: %s\r\n"},
      {__LINE__, FaultyRegistry::kDelete, DELETE_VALUE_TYPE,
       u"Error deleting value at Soft\\K\\a\\\\b: %s\r\n"},
  };
  for (const FailureCase& c : cases) {
    SCOPED_TRACE(testing::Message() << "case at line " << c.line);
    FaultyRegistry registry;
    SetValue(registry.memory(), kCU, u"Soft\\K", u"a\\b", {kRegSz, StringBytes(u"old")});
    registry.FailOn(c.op, u"Soft\\K");
    std::u16string errors = u"before|";
    const std::vector<std::uint8_t> data = c.type == kRegSz ? StringBytes(u"new") : std::vector<std::uint8_t>{};
    Apply(registry, u"Soft\\K", u"a\\\\b", c.type, data, errors);
    EXPECT_EQ(Show(errors), "before|" + Show(FormatMessageText(c.expected, {SystemErrorText(kRegAccessDenied)})));
    // Nothing was changed, and no key stayed open.
    EXPECT_EQ(GetValue(registry.memory(), kCU, u"Soft\\K", u"a\\b"), (Value{kRegSz, StringBytes(u"old")}));
    EXPECT_EQ(registry.memory().OpenHandles(), 0u);
  }
}

TEST(RegistryWriter, EachFailureIsALineOfItsOwn) {
  FaultyRegistry registry;
  registry.FailOn(FaultyRegistry::kSet, u"A");
  registry.FailOn(FaultyRegistry::kCreate, u"B");
  std::u16string errors;
  Apply(registry, u"A", u"x", kRegDword, DwordBytes(1), errors);
  Apply(registry, u"B", u"y", kRegDword, DwordBytes(1), errors);
  EXPECT_EQ(errors, FormatMessageText(u"Error writing value at A\\x: %s\r\nError creating or opening key B: %s\r\n",
                                      {SystemErrorText(kRegAccessDenied), SystemErrorText(kRegAccessDenied)}));
}

TEST(RegistryWriter, TheLockIsNeverHeldDuringARegistryCall) {
  FaultyRegistry registry;
  registry.FailOn(FaultyRegistry::kSet, u"K");
  int calls = 0;
  registry.observer = [&](FaultyRegistry::Op, std::u16string_view) {
    ++calls;
    const bool free = ErrorLogLock().try_lock();
    EXPECT_TRUE(free);
    if (free) ErrorLogLock().unlock();
  };
  std::u16string errors;
  Apply(registry, u"K", u"x", kRegSz, StringBytes(u"t"), errors);
  Apply(registry, u"K", u"y", kRegSz, StringBytes(u"t"), errors);
  EXPECT_GE(calls, 4);
  EXPECT_FALSE(errors.empty());
}

TEST(RegistryWriter, AppendsFromSeveralThreadsStayWhole) {
  constexpr int kThreads = 4;
  constexpr int kAppends = 2000;
  std::u16string errors;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&errors, t] {
      const std::u16string text = u"<" + std::u16string(40, static_cast<char16_t>(u'a' + t)) + u">";
      for (int i = 0; i < kAppends; ++i) AppendErrorLogText(errors, text);
    });
  }
  for (auto& thread : threads) thread.join();
  ASSERT_EQ(errors.size(), size_t{kThreads} * kAppends * 42);
  for (size_t i = 0; i < errors.size(); i += 42) {
    ASSERT_EQ(errors[i], u'<');
    ASSERT_EQ(errors[i + 41], u'>');
    ASSERT_EQ(errors.find_first_not_of(errors[i + 1], i + 1), i + 41) << "torn at " << i;
  }
}

}  // namespace
}  // namespace hivemend::test
