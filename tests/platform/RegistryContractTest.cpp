// What the program relies on from a registry, checked against every
// implementation: the in-memory registry must behave like the real one.
#include <gtest/gtest.h>

#include <algorithm>

#include "platform/ForwardingRegistry.h"
#include "platform/MemoryRegistry.h"
#include "platform/RegistryTree.h"
#include "platform/Text.h"
#include "tests/RegistryFixture.h"
#include "tests/TestSupport.h"

namespace hivemend {
namespace {

using test::RegistryTest;
using test::Show;

using Bytes = std::vector<std::uint8_t>;

TEST_P(RegistryTest, OpenFailsForMissingKeysAndCreateMakesEveryParent) {
  RegKey key(reg());
  EXPECT_NE(key.Open(RegRoot::CurrentUser, Path(u"a\\b\\c"), kKeyRead), kRegOk);
  EXPECT_FALSE(key.valid());
  ASSERT_EQ(key.Create(RegRoot::CurrentUser, Path(u"a\\b\\c"), kKeyRead | kKeyWrite), kRegOk);
  EXPECT_TRUE(key.valid());
  for (std::u16string_view sub : {u"a", u"a\\b", u"A\\B\\C", u"a\\B\\c\\"}) {
    RegKey other(reg());
    EXPECT_EQ(other.Open(RegRoot::CurrentUser, Path(sub), kKeyRead), kRegOk) << test::Show(sub);
  }
  // Create opens what exists and keeps its values.
  ASSERT_EQ(key.Set(u"v", kRegDword, Bytes{1, 0, 0, 0}.data(), 4), kRegOk);
  RegKey again(reg());
  ASSERT_EQ(again.Create(RegRoot::CurrentUser, Path(u"A\\b\\C"), kKeyRead | kKeyWrite), kRegOk);
  std::uint32_t size = 0;
  EXPECT_EQ(again.Query(u"V", nullptr, nullptr, &size), kRegOk);
  EXPECT_EQ(size, 4u);
}

TEST_P(RegistryTest, TheEmptyPathOpensTheRootItself) {
  RegKey key(reg());
  EXPECT_EQ(key.Open(RegRoot::CurrentUser, u"", kKeyRead), kRegOk);
  EXPECT_TRUE(key.valid());
}

TEST_P(RegistryTest, PathSpellings) {
  RegKey key(reg());
  ASSERT_EQ(key.Create(RegRoot::CurrentUser, Path(u"x\\\\y\\"), kKeyWrite), kRegOk);  // runs collapse
  EXPECT_EQ(key.Open(RegRoot::CurrentUser, Path(u"X\\Y"), kKeyRead), kRegOk);
  EXPECT_EQ(key.Create(RegRoot::CurrentUser, u"\\" + Path(u"z"), kKeyWrite), kRegBadPathname);
  EXPECT_EQ(key.Open(RegRoot::CurrentUser, u"\\" + Path(), kKeyRead), kRegBadPathname);
  if (GetParam() == test::RegistryKind::Hive) {
    // The format's exception: a key named outside ASCII is not made (the
    // hive's index would hide it from Windows); the letters fold for value
    // names (LettersFoldAsTheRegistryFoldsThem).
    EXPECT_EQ(key.Create(RegRoot::CurrentUser, Path(u"\u00C4pfel"), kKeyWrite), kRegNotSupported);
    return;
  }
  // Letter case is ignored beyond A to Z too.
  ASSERT_EQ(key.Create(RegRoot::CurrentUser, Path(u"\u00C4pfel\u0416"), kKeyWrite), kRegOk);
  EXPECT_EQ(key.Open(RegRoot::CurrentUser, Path(u"\u00E4PFEL\u0436"), kKeyRead), kRegOk);
  // Y with diaeresis pairs across blocks (U+0178, U+00FF); U+0179 is another letter.
  ASSERT_EQ(key.Create(RegRoot::CurrentUser, Path(u"\u0178\u0100"), kKeyWrite), kRegOk);
  EXPECT_EQ(key.Open(RegRoot::CurrentUser, Path(u"\u00FF\u0101"), kKeyRead), kRegOk);
  EXPECT_EQ(key.Open(RegRoot::CurrentUser, Path(u"\u017A\u0101"), kKeyRead), kRegFileNotFound);
}

TEST_P(RegistryTest, HandlesAllowOnlyWhatTheirAccessGrants) {
  RegKey writer(reg());
  ASSERT_EQ(writer.Create(RegRoot::CurrentUser, Path(), kKeyWrite), kRegOk);
  ASSERT_EQ(writer.Set(u"v", kRegBinary, Bytes{1}.data(), 1), kRegOk);
  std::uint32_t size = 0;
  EXPECT_EQ(writer.Query(u"v", nullptr, nullptr, &size), kRegAccessDenied);
  for (std::uint32_t access : {kKeyRead, kGenericRead, kKeyQueryValue}) {
    RegKey reader(reg());
    ASSERT_EQ(reader.Open(RegRoot::CurrentUser, Path(), access), kRegOk);
    EXPECT_EQ(reader.Query(u"v", nullptr, nullptr, &size), kRegOk) << access;
    EXPECT_EQ(reader.Set(u"v", kRegBinary, Bytes{2}.data(), 1), kRegAccessDenied) << access;
    EXPECT_EQ(reader.Delete(u"v"), kRegAccessDenied) << access;
  }
  RegKey generic(reg());
  ASSERT_EQ(generic.Open(RegRoot::CurrentUser, Path(), kGenericWrite), kRegOk);
  EXPECT_EQ(generic.Delete(u"v"), kRegOk);
}

TEST_P(RegistryTest, ValuesKeepTheirExactTypeAndBytes) {
  struct Case {
    std::u16string name;
    std::uint32_t type;
    Bytes data;
  } cases[] = {
      {u"sz-without-nul", kRegSz, {0x41, 0}},
      {u"odd", kRegBinary, {1, 2, 3}},
      {u"empty", kRegBinary, {}},
      {u"none", kRegNone, {0xAA}},
      {u"dword-short", kRegDword, {1, 2}},
      {u"big-endian", kRegDwordBigEndian, {0, 0, 0, 1}},
      {u"qword", kRegQword, {1, 2, 3, 4, 5, 6, 7, 8}},
      {u"odd-type", 0x12345, {9}},
      {u"C:\\path\\with\"quote", kRegSz, {0x42, 0, 0, 0}},
      {u"one-cell", kRegBinary, Bytes(16344, 0x5A)},
  };
  RegKey key(reg());
  ASSERT_EQ(key.Create(RegRoot::CurrentUser, Path(), kKeyRead | kKeyWrite), kRegOk);
  for (const Case& c : cases) {
    ASSERT_EQ(key.Set(c.name, c.type, c.data.data(), static_cast<std::uint32_t>(c.data.size())), kRegOk)
        << test::Show(c.name);
  }
  RegKey read(reg());
  ASSERT_EQ(read.Open(RegRoot::CurrentUser, Path(), kKeyRead), kRegOk);
  for (const Case& c : cases) {
    std::uint32_t type = 0, size = 0;
    ASSERT_EQ(read.Query(c.name, &type, nullptr, &size), kRegOk) << test::Show(c.name);
    EXPECT_EQ(type, c.type) << test::Show(c.name);
    ASSERT_EQ(size, c.data.size()) << test::Show(c.name);
    Bytes buffer(size + 2, 0xEE);
    std::uint32_t capacity = size + 2;
    ASSERT_EQ(read.Query(c.name, &type, buffer.data(), &capacity), kRegOk);
    EXPECT_EQ(capacity, size);
    EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + size), c.data) << test::Show(c.name);
    Bytes whole(1, 0xEE);  // replaced, also by an empty value
    type = 0;
    ASSERT_EQ(read.ReadWhole(c.name, &type, &whole), kRegOk) << test::Show(c.name);
    EXPECT_EQ(type, c.type);
    EXPECT_EQ(whole, c.data) << test::Show(c.name);
  }
  // Larger values: a hive file of format 1.5 refuses them (the format's
  // exception: Windows reads them as big-data blocks, which are not written).
  const Bytes big(100000, 0xA5);
  const long status = key.Set(u"big", kRegBinary, big.data(), static_cast<std::uint32_t>(big.size()));
  if (GetParam() == test::RegistryKind::Hive) {
    EXPECT_EQ(status, kRegNotSupported);
  } else {
    ASSERT_EQ(status, kRegOk);
    EXPECT_EQ(test::GetValue(reg(), RegRoot::CurrentUser, Path(), u"big"), (test::Value{kRegBinary, big}));
  }
}

TEST_P(RegistryTest, NamesCompareWithoutRegardToCaseAndTheDefaultValueIsTheEmptyName) {
  RegKey key(reg());
  ASSERT_EQ(key.Create(RegRoot::CurrentUser, Path(), kKeyRead | kKeyWrite), kRegOk);
  ASSERT_EQ(key.Set(u"MixedCase", kRegBinary, Bytes{1}.data(), 1), kRegOk);
  ASSERT_EQ(key.Set(u"MIXEDCASE", kRegBinary, Bytes{2, 2}.data(), 2), kRegOk);  // replaces
  ASSERT_EQ(key.Set(u"", kRegSz, Bytes{0x44, 0, 0, 0}.data(), 4), kRegOk);
  std::uint32_t size = 0, type = 0;
  EXPECT_EQ(key.Query(u"mixedcase", &type, nullptr, &size), kRegOk);
  EXPECT_EQ(size, 2u);
  EXPECT_EQ(key.Query(u"", &type, nullptr, &size), kRegOk);
  EXPECT_EQ(type, kRegSz);
  EXPECT_EQ(size, 4u);
  EXPECT_NE(key.Query(u"@", &type, nullptr, &size), kRegOk);  // "@" is only the file's spelling
}

TEST_P(RegistryTest, SmallBuffersGiveMoreDataWithTheNeededSizeAndWholeReadsAskAgain) {
  RegKey key(reg());
  ASSERT_EQ(key.Create(RegRoot::CurrentUser, Path(), kKeyRead | kKeyWrite), kRegOk);
  ASSERT_EQ(key.Set(u"v", kRegBinary, Bytes{1, 2, 3, 4, 5}.data(), 5), kRegOk);
  Bytes buffer(3, 0);
  std::uint32_t size = 3;
  std::uint32_t type = 0;
  EXPECT_EQ(key.Query(u"v", &type, buffer.data(), &size), kRegMoreData);
  EXPECT_EQ(size, 5u);

  // A value that grows between the query of its size and its read (another
  // program writes it) is read again, whole; one that keeps growing is not read.
  struct Growing : ForwardingRegistry {
    using ForwardingRegistry::ForwardingRegistry;
    long QueryValue(Handle key, std::u16string_view name, std::uint32_t* type, std::uint8_t* data,
                    std::uint32_t* size) override {
      const long status = ForwardingRegistry::QueryValue(key, name, type, data, size);
      if (growths-- > 0) {  // the value grows right after each answer
        value.push_back(static_cast<std::uint8_t>(value.size()));
        if (SetValue(key, name, kRegBinary, value.data(), static_cast<std::uint32_t>(value.size())) != kRegOk) return 5;
      }
      return status;
    }
    int growths = 0;
    Bytes value{1, 2, 3, 4, 5};
  };
  for (const int growths : {1, 3, 10}) {
    ASSERT_EQ(key.Set(u"v", kRegBinary, Bytes{1, 2, 3, 4, 5}.data(), 5), kRegOk);
    Growing growing(reg());
    growing.growths = growths;
    Bytes whole;
    EXPECT_EQ(growing.ReadWholeValue(key.get(), u"v", &type, &whole), growths < 10 ? kRegOk : kRegMoreData);
    EXPECT_EQ(whole, growths < 10 ? growing.value : Bytes()) << growths;
  }
}

TEST_P(RegistryTest, FailedQueriesLeaveOutParametersAlone) {
  RegKey key(reg());
  ASSERT_EQ(key.Create(RegRoot::CurrentUser, Path(), kKeyRead | kKeyWrite), kRegOk);
  std::uint32_t type = 77, size = 88;
  EXPECT_EQ(key.Query(u"absent", &type, nullptr, &size), kRegFileNotFound);
  EXPECT_EQ(type, 77u);
  EXPECT_EQ(size, 88u);
  Bytes data(1, 99);
  EXPECT_EQ(key.ReadWhole(u"absent", &type, &data), kRegFileNotFound);
  EXPECT_EQ(type, 77u);
  EXPECT_EQ(data, Bytes(1, 99));
}

TEST_P(RegistryTest, DeleteRemovesOneValueAndReportsAbsence) {
  RegKey key(reg());
  ASSERT_EQ(key.Create(RegRoot::CurrentUser, Path(), kKeyRead | kKeyWrite), kRegOk);
  ASSERT_EQ(key.Set(u"a", kRegBinary, Bytes{1}.data(), 1), kRegOk);
  ASSERT_EQ(key.Set(u"b", kRegBinary, Bytes{1}.data(), 1), kRegOk);
  EXPECT_EQ(key.Delete(u"A"), kRegOk);
  EXPECT_EQ(key.Delete(u"a"), kRegFileNotFound);
  std::uint32_t size = 0;
  EXPECT_EQ(key.Query(u"a", nullptr, nullptr, &size), kRegFileNotFound);
  EXPECT_EQ(key.Query(u"b", nullptr, nullptr, &size), kRegOk);
}

// Every letter that the in-memory registry folds: a key created under one
// case opens under the other, and the two name one key.
TEST_P(RegistryTest, LettersFoldAsTheRegistryFoldsThem) {
  std::vector<char16_t> letters;
  for (char32_t c = 0x41; c < 0x500; ++c) {
    const char16_t lower = FoldRegistryChar(static_cast<char16_t>(c));
    if (lower != c) letters.push_back(static_cast<char16_t>(c));
  }
  ASSERT_GT(letters.size(), 150u);
  // Key names where the registry can make them; a hive file folds value names
  // alike (its keys are ASCII, see PathSpellings).
  const bool by_value = GetParam() == test::RegistryKind::Hive;
  RegKey values(reg());
  ASSERT_EQ(values.Create(RegRoot::CurrentUser, Path(u"values"), kKeyRead | kKeyWrite), kRegOk);
  auto make = [&](const std::u16string& name) {
    if (by_value) return values.Set(name, kRegNone, nullptr, 0);
    RegKey key(reg());
    return key.Create(RegRoot::CurrentUser, Path(name), kKeyWrite);
  };
  auto find = [&](const std::u16string& name) {
    std::uint32_t size = 0;
    if (by_value) return values.Query(name, nullptr, nullptr, &size);
    RegKey key(reg());
    return key.Open(RegRoot::CurrentUser, Path(name), kKeyRead);
  };
  for (char16_t upper : letters) {
    const char16_t lower = FoldRegistryChar(upper);
    const std::u16string name = u"L" + Decimal(upper) + u"-";
    ASSERT_EQ(make(name + upper), kRegOk);
    EXPECT_EQ(find(name + lower), kRegOk) << "U+" << Show(Hex(upper, true)) << " / U+" << Show(Hex(lower, true));
  }
  // Letters that only look alike stay apart.
  for (auto [a, b] : {std::pair<char16_t, char16_t>{0x178, 0x179}, {0x131, u'I'}, {0x17F, u's'}, {0xD7, 0xF7}}) {
    const std::u16string name = u"Apart" + Decimal(a);
    ASSERT_EQ(make(name + a), kRegOk);
    EXPECT_EQ(find(name + b), kRegFileNotFound) << "U+" << Show(Hex(a, true));
  }
}

TEST_P(RegistryTest, NamesOverTheRegistrysLimitsAreRefused) {
  RegKey key(reg());
  ASSERT_EQ(key.Create(RegRoot::CurrentUser, Path(std::u16string(255, u'k')), kKeyRead | kKeyWrite), kRegOk);
  RegKey longer(reg());
  EXPECT_EQ(longer.Create(RegRoot::CurrentUser, Path(std::u16string(300, u'k')), kKeyWrite), kRegInvalidParameter);
  EXPECT_EQ(longer.Open(RegRoot::CurrentUser, Path(std::u16string(300, u'k')), kKeyRead), kRegInvalidParameter);
  const std::uint8_t one = 1;
  EXPECT_EQ(key.Set(std::u16string(16383, u'v'), kRegBinary, &one, 1), kRegOk);
  EXPECT_EQ(key.Set(std::u16string(16384, u'v'), kRegBinary, &one, 1), kRegInvalidParameter);
  std::uint32_t size = 0;
  EXPECT_EQ(key.Query(std::u16string(16384, u'v'), nullptr, nullptr, &size), kRegFileNotFound);
}

TEST_P(RegistryTest, EnumerationAndCountsOfAKey) {
  MakeKey(u"e\\Zeta");
  MakeKey(u"e\\alpha\\below");
  Put(u"e", u"second", kRegDword, {1, 2, 3, 4});
  Put(u"e", u"", kRegSz, {0x41, 0, 0, 0});
  Put(u"e", u"first", kRegBinary, {});
  RegKey key(reg());
  ASSERT_EQ(key.Open(RegRoot::CurrentUser, Path(u"e"), kKeyRead), kRegOk);
  RegKeyInfo info;
  ASSERT_EQ(key.Info(&info), kRegOk);
  EXPECT_EQ(info.subkeys, 2u);
  EXPECT_EQ(info.values, 3u);
  std::vector<std::string> names;
  for (std::uint32_t i = 0;; ++i) {
    std::u16string name;
    const long status = key.EnumKey(i, &name);
    if (status == kRegNoMoreItems) break;
    ASSERT_EQ(status, kRegOk);
    names.push_back(Show(name));
  }
  EXPECT_EQ(names, (std::vector<std::string>{"alpha", "Zeta"}));  // as the registry spells them, by folded name
  std::vector<std::string> values;
  for (std::uint32_t i = 0;; ++i) {
    std::u16string name;
    std::uint32_t type = 0;
    std::vector<std::uint8_t> data;
    const long status = key.EnumValue(i, &name, &type, &data);
    if (status == kRegNoMoreItems) break;
    ASSERT_EQ(status, kRegOk);
    values.push_back(Show(name) + ":" + std::to_string(type) + ":" + std::to_string(data.size()));
  }
  std::sort(values.begin(), values.end());
  EXPECT_EQ(values, (std::vector<std::string>{":1:4", "first:3:0", "second:4:4"}));
  // A change is stamped after the clock read before it.
  const std::uint64_t before = reg().ChangeClock();
  Put(u"e", u"third", kRegBinary, {1});
  ASSERT_EQ(key.Info(&info), kRegOk);
  EXPECT_GT(info.last_write, before);
}

TEST_P(RegistryTest, DeleteTreeRemovesTheKeyAndEverythingBelowIt) {
  MakeKey(u"t\\a\\b\\c");
  Put(u"t\\a", u"v", kRegDword, {1, 2, 3, 4});
  Put(u"t\\a\\b", u"w", kRegBinary, {1});
  MakeKey(u"t\\keep");
  RegKey open_below(reg());
  ASSERT_EQ(open_below.Open(RegRoot::CurrentUser, Path(u"t\\a\\b"), kKeyRead), kRegOk);
  EXPECT_EQ(reg().DeleteTree(RegRoot::CurrentUser, Path(u"T\\A")), kRegOk);
  RegKey key(reg());
  EXPECT_EQ(key.Open(RegRoot::CurrentUser, Path(u"t\\a"), kKeyRead), kRegFileNotFound);
  EXPECT_EQ(key.Open(RegRoot::CurrentUser, Path(u"t\\a\\b\\c"), kKeyRead), kRegFileNotFound);
  EXPECT_EQ(key.Open(RegRoot::CurrentUser, Path(u"t\\keep"), kKeyRead), kRegOk);
  std::uint32_t size = 0;
  EXPECT_NE(open_below.Query(u"w", nullptr, nullptr, &size), kRegOk);  // a handle to a deleted key finds nothing
  EXPECT_EQ(reg().DeleteTree(RegRoot::CurrentUser, Path(u"t\\a")), kRegFileNotFound);
  EXPECT_EQ(reg().DeleteTree(RegRoot::CurrentUser, u""), kRegAccessDenied);  // never a root
  std::vector<RegTreeKey> tree;
  RegTreeCounts counts;
  ASSERT_EQ(ReadTree(reg(), RegRoot::CurrentUser, Path(u"t"), &tree, &counts), kRegOk);
  EXPECT_EQ(counts.subkeys, 1u);
  EXPECT_EQ(counts.values, 0u);
}

TEST_P(RegistryTest, KeysAreClosedByTheirOwner) {
  if (GetParam() != test::RegistryKind::Memory) GTEST_SKIP() << "only the in-memory registry counts handles";
  auto& memory = static_cast<MemoryRegistry&>(reg());
  {
    RegKey a(reg());
    ASSERT_EQ(a.Create(RegRoot::CurrentUser, Path(), kKeyWrite), kRegOk);
    RegKey b = std::move(a);
    EXPECT_EQ(memory.OpenHandles(), 1u);
    ASSERT_EQ(b.Open(RegRoot::CurrentUser, Path(), kKeyRead), kRegOk);  // closes the first
    EXPECT_EQ(memory.OpenHandles(), 1u);
  }
  EXPECT_EQ(memory.OpenHandles(), 0u);
}

// The state the console front end writes out: every key, parents without
// values included, each key and value under the spelling it was first given.
TEST(MemoryRegistrySnapshot, ListsEveryKeyAndValueUnderItsFirstSpelling) {
  MemoryRegistry memory;
  auto set = [&](RegRoot root, std::u16string_view path, std::u16string_view name, std::uint8_t byte) {
    RegKey key(memory);
    ASSERT_EQ(key.Create(root, path, kKeyWrite), kRegOk);
    ASSERT_EQ(key.Set(name, kRegBinary, &byte, 1), kRegOk);
  };
  set(RegRoot::LocalMachine, u"Soft\\Deep\\Key", u"Val", 1);
  set(RegRoot::LocalMachine, u"SOFT\\deep\\KEY", u"VAL", 2);  // same key and value, other spellings
  set(RegRoot::LocalMachine, u"soft", u"b", 3);
  set(RegRoot::CurrentUser, u"", u"Top", 4);  // a value of the root itself
  {
    RegKey empty(memory);
    ASSERT_EQ(empty.Create(RegRoot::Users, u"Empty", kKeyWrite), kRegOk);
  }
  std::vector<std::string> got;
  for (const MemoryRegistry::Key& key : memory.Snapshot()) {
    std::string line = std::to_string(static_cast<int>(key.root)) + ":" + test::Show(key.path);
    for (const MemoryRegistry::Value& v : key.values) line += " " + test::Show(v.name) + "=" + std::to_string(v.data.at(0));
    got.push_back(line);
  }
  EXPECT_EQ(got, (std::vector<std::string>{"1: Top=4", "2:Soft b=3", "2:Soft\\Deep", "2:Soft\\Deep\\Key Val=2",
                                           "3:Empty"}));
}

INSTANTIATE_TEST_SUITE_P(Registries, RegistryTest, ::testing::ValuesIn(test::AllRegistryKinds()), test::KindName);

}  // namespace
}  // namespace hivemend
