// The check rules of the window's Check box and the console's --rule.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "engine/CheckRules.h"
#include "tests/EntryBuilder.h"

namespace hivemend {
namespace {

TEST(CheckRules, RuleNamesAreReadWithoutRegardToCase) {
  struct Case {
    int line;
    std::u16string_view text;
    std::optional<CheckRule> rule;
  };
  const Case cases[] = {
      {__LINE__, u"All", CheckRule::All},         {__LINE__, u"NONE", CheckRule::None},
      {__LINE__, u"invert", CheckRule::Invert},   {__LINE__, u"Changed", CheckRule::Changed},
      {__LINE__, u"mIsSiNg", CheckRule::Missing}, {__LINE__, u"differ", CheckRule::Differ},
      {__LINE__, u"", std::nullopt},
      {__LINE__, u"All ", std::nullopt},          {__LINE__, u"everything", std::nullopt},
  };
  for (const Case& c : cases) EXPECT_EQ(CheckRuleFromText(c.text), c.rule) << "case at line " << c.line;
}

TEST(CheckRules, EachRuleSetsEachRow) {
  using R = CheckRule;
  using S = EntryStatus;
  struct Case {
    int line;
    R rule;
    S status;
    bool checked;
    bool result;
    LiveState live = LiveState::Absent;  // with the row's type
  };
  const Case cases[] = {
      {__LINE__, R::All, S::Same, false, true},           {__LINE__, R::All, S::Delete, true, true},
      {__LINE__, R::None, S::Changed, true, false},       {__LINE__, R::None, S::Missing, false, false},
      {__LINE__, R::Invert, S::Same, false, true},        {__LINE__, R::Invert, S::Same, true, false},
      {__LINE__, R::Changed, S::Changed, false, true},    {__LINE__, R::Changed, S::ChangedType, false, true},
      {__LINE__, R::Changed, S::Same, true, false},       {__LINE__, R::Changed, S::Missing, true, false},
      {__LINE__, R::Changed, S::Delete, true, false},     {__LINE__, R::Missing, S::Missing, false, true},
      {__LINE__, R::Missing, S::Delete, true, false},     {__LINE__, R::Missing, S::Changed, true, false},
      {__LINE__, R::Missing, S::Same, true, false},
      {__LINE__, R::Differ, S::Missing, false, true},
      {__LINE__, R::Differ, S::Same, true, true, LiveState::OwnBytes},
      {__LINE__, R::Differ, S::Same, true, false, LiveState::SameBytes},
  };
  for (const Case& c : cases) {
    const ChangeEntry entry =
        test::MakeEntry({.status = c.status, .file = test::TextBytes(u"x"), .live = c.live, .live_type = kRegSz});
    EXPECT_EQ(CheckedByRule(c.rule, entry, c.checked), c.result) << "case at line " << c.line;
  }
}

TEST(CheckRules, ApplyWalksAllRows) {
  EntryStore store;
  for (EntryStatus status : {EntryStatus::Missing, EntryStatus::Delete, EntryStatus::Same, EntryStatus::Changed,
                             EntryStatus::ChangedType})
    store.Insert(test::MakeEntry({.root_name = u"HKCU", .status = status}));
  // A line that could not be read: no rule checks it.
  store.Insert(test::MakeEntry({.root_name = u"HKCU", .type = kUnknownValueType, .status = EntryStatus::Missing}));
  auto checks = [&] {
    std::string s;
    for (size_t i = 0; i < store.size(); ++i) s += store.at(i).checked ? 'x' : '.';
    return s;
  };
  ApplyCheckRule(store, CheckRule::All);
  EXPECT_EQ(checks(), "xxxxx.");
  ApplyCheckRule(store, CheckRule::Changed);  // unchecks SAME and MISSING that All had checked
  EXPECT_EQ(checks(), "...xx.");
  ApplyCheckRule(store, CheckRule::Invert);
  EXPECT_EQ(checks(), "xxx...");
  ApplyCheckRule(store, CheckRule::Invert);  // twice restores every row
  EXPECT_EQ(checks(), "...xx.");
  ApplyCheckRule(store, CheckRule::Missing);
  EXPECT_EQ(checks(), "x.....");
  ApplyCheckRule(store, CheckRule::None);
  EXPECT_EQ(checks(), "......");
  // The console's: "all" checks it too, so that the merge names it.
  ApplyCheckRule(store, CheckRule::All, RefusedRows::CheckedByAll);
  EXPECT_EQ(checks(), "xxxxxx");
  ApplyCheckRule(store, CheckRule::Changed, RefusedRows::CheckedByAll);
  EXPECT_EQ(checks(), "...xx.");
}

}  // namespace
}  // namespace hivemend
