// The list's store order, column sorting and check rules, on the portable store.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/ListRules.h"
#include "platform/Text.h"

namespace hivemend {
namespace {

ChangeEntry Entry(std::string_view hive, std::string_view status = "SAME", std::string_view key = "K",
                  std::string_view name = "v") {
  ChangeEntry e;
  e.hive = U16(hive);
  e.status = U16(status);
  e.key = U16(key);
  e.value_name = U16(name);
  e.type_name = u"REG_SZ";
  return e;
}

std::vector<std::string> ColumnOf(const EntryStore& store, int column) {
  std::vector<std::string> out;
  for (size_t i = 0; i < store.size(); ++i) out.push_back(ToUtf8(store.at(i).entry.Column(column)));
  return out;
}

std::vector<std::string> Strings(std::initializer_list<const char*> list) { return {list.begin(), list.end()}; }

// ---- The order rows take as they arrive -------------------------------------

TEST(StoreOrder, RowsAreKeptInAscendingOrderOfTheirFirstColumn) {
  struct Case {
    int line;
    std::vector<std::string> arriving;  // "hive/name"
    std::vector<std::string> expected;
  };
  const Case cases[] = {
      {__LINE__, {}, {}},
      {__LINE__, {"HKLM/a"}, {"HKLM/a"}},
      {__LINE__, {"HKLM/a", "HKCU/b", "HKCR/c"}, {"HKCR/c", "HKCU/b", "HKLM/a"}},
      // Equal first columns (without regard to case) keep their arrival order.
      {__LINE__, {"HKCU/1", "HKLM/2", "hkcu/3", "HKCU/4"}, {"HKCU/1", "hkcu/3", "HKCU/4", "HKLM/2"}},
      // Only A-Z fold: '_' (0x5F) sorts after 'A'-'Z' but before folded 'a'-'z'.
      {__LINE__, {"HKEY_USERS/1", "HKEY_CLASSES_ROOT/2", "HKEYX/3", "HKEY/4"},
       {"HKEY/4", "HKEY_CLASSES_ROOT/2", "HKEY_USERS/1", "HKEYX/3"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "case at line " << c.line);
    EntryStore store;
    for (const std::string& row : c.arriving) {
      const size_t slash = row.find('/');
      const size_t index = store.Insert(Entry(row.substr(0, slash), "SAME", "K", row.substr(slash + 1)));
      EXPECT_EQ(ToUtf8(store.at(index).entry.value_name), row.substr(slash + 1)) << "returned index";
    }
    std::vector<std::string> got;
    for (size_t i = 0; i < store.size(); ++i)
      got.push_back(ToUtf8(store.at(i).entry.hive) + "/" + ToUtf8(store.at(i).entry.value_name));
    EXPECT_EQ(got, c.expected);
  }
}

TEST(StoreOrder, ManyRowsAcrossChunksStayOrderedAndStable) {
  EntryStore store;
  const char* hives[] = {"HKLM", "HKCU", "HKCR", "HKU"};
  for (int i = 0; i < 10000; ++i) store.Insert(Entry(hives[(i * 7) % 4], "SAME", "K", std::to_string(i)));
  ASSERT_EQ(store.size(), 10000u);
  for (size_t i = 1; i < store.size(); ++i) {
    const auto& a = store.at(i - 1).entry;
    const auto& b = store.at(i).entry;
    const int order = CompareNoCase(a.hive, b.hive);
    ASSERT_LE(order, 0) << "row " << i;
    if (order == 0) {
      ASSERT_LT(std::stoi(ToUtf8(a.value_name)), std::stoi(ToUtf8(b.value_name))) << "row " << i;
    }
  }
}

TEST(StoreOrder, RowsStartUncheckedAndInsertsAfterASortGoByFirstColumn) {
  EntryStore store;
  store.Insert(Entry("HKLM", "SAME", "b"));
  store.Insert(Entry("HKCU", "SAME", "a"));
  EXPECT_FALSE(store.at(0).checked);
  SortRows(store, 2, false);  // Key descending: HKLM/b, HKCU/a
  EXPECT_EQ(ColumnOf(store, 0), Strings({"HKLM", "HKCU"}));
  store.Insert(Entry("HKCR", "SAME", "c"));
  EXPECT_EQ(ColumnOf(store, 0)[0], "HKCR");
}

// ---- Sorting by a column ------------------------------------------------------

TEST(ColumnSort, SortsAsTextWithoutRegardToCase) {
  struct Case {
    int line;
    std::vector<std::string> keys;
    bool ascending;
    std::vector<std::string> expected;
  };
  const Case cases[] = {
      {__LINE__, {"9", "10", "1"}, true, {"1", "10", "9"}},
      {__LINE__, {"0x9", "0x10", "0x1F"}, true, {"0x10", "0x1F", "0x9"}},
      {__LINE__, {"9", "10", "1"}, false, {"9", "10", "1"}},
      {__LINE__, {"b", "A", "a", "B"}, true, {"A", "a", "b", "B"}},  // equal texts keep their order
      {__LINE__, {"b", "A", "a", "B"}, false, {"b", "B", "A", "a"}},
      {__LINE__, {"ab", "a", "", "abc"}, true, {"", "a", "ab", "abc"}},  // a prefix sorts first
      {__LINE__, {"zx", "Zx", "ax", "_x"}, true, {"_x", "ax", "zx", "Zx"}},  // only A-Z fold: '_' before "a"
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "case at line " << c.line);
    EntryStore store;
    for (const std::string& k : c.keys) store.Insert(Entry("HKCU", "SAME", k));
    SortRows(store, 2, c.ascending);
    EXPECT_EQ(ColumnOf(store, 2), c.expected);
  }
}

TEST(ColumnSort, EachColumnSortsByItsOwnText) {
  EntryStore store;
  ChangeEntry a = Entry("HKLM", "SAME", "k2", "n3");
  a.type_name = u"REG_SZ";
  a.file_data = u"z";
  a.live_data = u"1";
  ChangeEntry b = Entry("HKCU", "MISSING", "k3", "n1");
  b.type_name = u"REG_DWORD";
  b.file_data = u"y";
  b.live_data = u"3";
  ChangeEntry c = Entry("HKCR", "CHANGED", "k1", "n2");
  c.type_name = u"REG_BINARY";
  c.file_data = u"x";
  c.live_data = u"2";
  store.Insert(std::move(a));
  store.Insert(std::move(b));
  store.Insert(std::move(c));
  const std::vector<std::string> by_column[kColumnCount] = {
      {"HKCR", "HKCU", "HKLM"}, {"CHANGED", "MISSING", "SAME"}, {"k1", "k2", "k3"}, {"n1", "n2", "n3"},
      {"REG_BINARY", "REG_DWORD", "REG_SZ"}, {"x", "y", "z"}, {"1", "2", "3"}};
  for (int column = 0; column < kColumnCount; ++column) {
    SCOPED_TRACE(testing::Message() << "column " << column);
    SortRows(store, column, true);
    EXPECT_EQ(ColumnOf(store, column), by_column[column]);
    SortRows(store, column, false);
    EXPECT_EQ(ColumnOf(store, column),
              std::vector<std::string>(by_column[column].rbegin(), by_column[column].rend()));
  }
}

TEST(ColumnSort, FlagsFlipPerColumnAndEmptyListIsHarmless) {
  ColumnSortFlags flags;
  EXPECT_TRUE(flags.Flip(2));   // Key: ascending
  EXPECT_FALSE(flags.Flip(2));  // Key again: descending
  EXPECT_TRUE(flags.Flip(4));   // Type: its own first click, ascending
  EXPECT_FALSE(flags.Get(2));
  EXPECT_TRUE(flags.Get(4));
  for (int column : {0, 1, 3, 5, 6}) EXPECT_FALSE(flags.Get(column)) << column;

  EntryStore empty;
  SortRows(empty, 0, true);
  ApplyCheckRule(empty, CheckRule::All);
  EXPECT_TRUE(empty.empty());
}

// ---- Check rules --------------------------------------------------------------

TEST(CheckRules, RuleNamesAreReadWithoutRegardToCase) {
  struct Case {
    int line;
    std::u16string_view text;
    std::optional<CheckRule> rule;
  };
  const Case cases[] = {
      {__LINE__, u"All", CheckRule::All},         {__LINE__, u"NONE", CheckRule::None},
      {__LINE__, u"invert", CheckRule::Invert},   {__LINE__, u"Changed", CheckRule::Changed},
      {__LINE__, u"mIsSiNg", CheckRule::Missing}, {__LINE__, u"", std::nullopt},
      {__LINE__, u"All ", std::nullopt},          {__LINE__, u"everything", std::nullopt},
  };
  for (const Case& c : cases) EXPECT_EQ(CheckRuleFromText(c.text), c.rule) << "case at line " << c.line;
}

TEST(CheckRules, EachRuleSetsOrLeavesEachRow) {
  using R = CheckRule;
  constexpr std::optional<bool> kLeave = std::nullopt;
  struct Case {
    int line;
    R rule;
    std::u16string_view status;
    bool checked;
    std::optional<bool> result;
  };
  const Case cases[] = {
      {__LINE__, R::All, u"SAME", false, true},          {__LINE__, R::All, u"", true, true},
      {__LINE__, R::None, u"CHANGED", true, false},      {__LINE__, R::None, u"", false, false},
      {__LINE__, R::Invert, u"SAME", false, true},       {__LINE__, R::Invert, u"SAME", true, false},
      {__LINE__, R::Changed, u"CHANGED", false, true},   {__LINE__, R::Changed, u"CHANGED TYPE", false, true},
      {__LINE__, R::Changed, u"changed", false, true},   {__LINE__, R::Changed, u"c", false, true},
      {__LINE__, R::Changed, u"SAME", true, false},      {__LINE__, R::Changed, u"MISSING", true, false},
      {__LINE__, R::Changed, u"DELETE", true, false},    {__LINE__, R::Changed, u"", true, kLeave},
      {__LINE__, R::Changed, u"", false, kLeave},        {__LINE__, R::Missing, u"MISSING", false, true},
      {__LINE__, R::Missing, u"missing", false, true},   {__LINE__, R::Missing, u"MISSING ", true, false},
      {__LINE__, R::Missing, u"DELETE", true, false},    {__LINE__, R::Missing, u"CHANGED", true, false},
      {__LINE__, R::Missing, u"", true, kLeave},
  };
  for (const Case& c : cases)
    EXPECT_EQ(CheckedByRule(c.rule, c.status, c.checked), c.result) << "case at line " << c.line;
}

TEST(CheckRules, ApplyWalksAllRows) {
  EntryStore store;
  for (const char* status : {"MISSING", "DELETE", "SAME", "CHANGED", "CHANGED TYPE", ""})
    store.Insert(Entry("HKCU", status, status));
  auto checks = [&] {
    std::string s;
    for (size_t i = 0; i < store.size(); ++i) s += store.at(i).checked ? 'x' : '.';
    return s;
  };
  ApplyCheckRule(store, CheckRule::All);
  EXPECT_EQ(checks(), "xxxxxx");
  ApplyCheckRule(store, CheckRule::Changed);  // unchecks SAME and MISSING that All had checked
  EXPECT_EQ(checks(), "...xxx");
  ApplyCheckRule(store, CheckRule::Invert);
  EXPECT_EQ(checks(), "xxx...");
  ApplyCheckRule(store, CheckRule::Invert);  // twice restores every row
  EXPECT_EQ(checks(), "...xxx");
  ApplyCheckRule(store, CheckRule::Missing);
  EXPECT_EQ(checks(), "x....x");  // the empty status is left as it was
  ApplyCheckRule(store, CheckRule::None);
  EXPECT_EQ(checks(), "......");
}

}  // namespace
}  // namespace hivemend
