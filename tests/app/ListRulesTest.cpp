// The list's store order, column sorting and checked lines, on the portable store.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "app/HistoryRows.h"
#include "app/ListRules.h"
#include "platform/Text.h"
#include "tests/EntryBuilder.h"

namespace hivemend {
namespace {

ChangeEntry Entry(std::string_view hive, EntryStatus status = EntryStatus::Same, std::string_view key = "K",
                  std::string_view name = "v") {
  return test::MakeEntry({.root_name = U16(hive), .path = U16(key), .name = U16(name), .status = status});
}

std::vector<std::string> ColumnOf(const EntryStore& store, int column) {
  std::vector<std::string> out;
  for (size_t i = 0; i < store.size(); ++i) out.push_back(ToUtf8(store.at(i).entry.ColumnText(column, DataTextStyle::OneLine)));
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
      const size_t index = store.Insert(Entry(row.substr(0, slash), EntryStatus::Same, "K", row.substr(slash + 1)));
      EXPECT_EQ(ToUtf8(store.at(index).entry.name()), row.substr(slash + 1)) << "returned index";
    }
    std::vector<std::string> got;
    for (size_t i = 0; i < store.size(); ++i)
      got.push_back(ToUtf8(store.at(i).entry.key().root_name) + "/" + ToUtf8(store.at(i).entry.name()));
    EXPECT_EQ(got, c.expected);
  }
}

TEST(StoreOrder, ManyRowsAcrossChunksStayOrderedAndStable) {
  EntryStore store;
  const char* hives[] = {"HKLM", "HKCU", "HKCR", "HKU"};
  for (int i = 0; i < 10000; ++i) store.Insert(Entry(hives[(i * 7) % 4], EntryStatus::Same, "K", std::to_string(i)));
  ASSERT_EQ(store.size(), 10000u);
  for (size_t i = 1; i < store.size(); ++i) {
    const auto& a = store.at(i - 1).entry;
    const auto& b = store.at(i).entry;
    const int order = CompareNoCase(a.key().root_name, b.key().root_name);
    ASSERT_LE(order, 0) << "row " << i;
    if (order == 0) {
      ASSERT_LT(std::stoi(ToUtf8(a.name())), std::stoi(ToUtf8(b.name()))) << "row " << i;
    }
  }
}

TEST(StoreOrder, RowsStartUncheckedAndInsertsAfterASortGoByFirstColumn) {
  EntryStore store;
  store.Insert(Entry("HKLM", EntryStatus::Same, "b"));
  store.Insert(Entry("HKCU", EntryStatus::Same, "a"));
  EXPECT_FALSE(store.at(0).checked);
  SortRows(store, 2, false);  // Key descending: HKLM/b, HKCU/a
  EXPECT_EQ(ColumnOf(store, 0), Strings({"HKLM", "HKCU"}));
  store.Insert(Entry("HKCR", EntryStatus::Same, "c"));
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
    for (const std::string& k : c.keys) store.Insert(Entry("HKCU", EntryStatus::Same, k));
    SortRows(store, 2, c.ascending);
    EXPECT_EQ(ColumnOf(store, 2), c.expected);
  }
}

// Against the plain definition: a stable sort of the column texts, compared
// after folding A-Z. Random texts share long prefixes, differ in letter case
// only, end where others go on, and repeat, in every column.
TEST(ColumnSort, AgreesWithAStableSortOfTheFoldedTexts) {
  std::mt19937 rng(11);
  const std::u16string pieces[] = {u"a", u"A", u"b", u"\\", u"_", u"\u00e9", u"\u00c9", u"Soft\\Ware\\",
                                   u"z", u"Zz9", u"0"};
  auto text = [&] {
    std::u16string t;
    for (unsigned n = rng() % 7; n > 0; --n) t += pieces[rng() % std::size(pieces)];
    return t;
  };
  const std::u16string roots[] = {u"HKCU", u"hkcu", u"HKEY_LOCAL_MACHINE", u"HKLM", u"HKX"};
  for (int round = 0; round < 20; ++round) {
    EntryStore store;
    std::vector<std::pair<std::u16string, std::u16string>> keys;  // a few shared key lines
    for (int k = 0; k < 6; ++k) keys.emplace_back(roots[rng() % std::size(roots)], text());
    for (int i = 0; i < 300; ++i) {
      const auto& [root, path] = keys[rng() % keys.size()];
      test::EntryFields fields{.root_name = root, .path = path, .name = text()};
      fields.status = static_cast<EntryStatus>(rng() % 5);
      fields.type = rng() % 3 == 0 ? kRegDword : (rng() % 2 ? kRegSz : kRegBinary);
      fields.file = fields.type == kRegSz ? test::TextBytes(text()) : std::vector<std::uint8_t>{std::uint8_t(rng() % 3), 0, 0, 0};
      if (rng() % 2) {
        fields.live = LiveState::OwnBytes;
        fields.live_type = rng() % 3 == 0 ? kRegBinary : kRegSz;  // a binary one shows the placeholder
        fields.live_bytes = test::TextBytes(text());
      }
      store.Insert(test::MakeEntry(fields));
    }
    for (int column = 0; column < kColumnCount; ++column) {
      for (bool ascending : {true, false}) {
        std::vector<std::u16string> expected;
        for (size_t i = 0; i < store.size(); ++i) expected.push_back(store.at(i).entry.ColumnText(column, DataTextStyle::OneLine));
        auto folded = [](std::u16string t) {
          for (char16_t& c : t) c = FoldAscii(c);
          return t;
        };
        std::stable_sort(expected.begin(), expected.end(), [&](const std::u16string& a, const std::u16string& b) {
          return ascending ? folded(a) < folded(b) : folded(b) < folded(a);
        });
        SortRows(store, column, ascending);
        std::vector<std::u16string> got;
        for (size_t i = 0; i < store.size(); ++i) got.push_back(store.at(i).entry.ColumnText(column, DataTextStyle::OneLine));
        ASSERT_EQ(got, expected) << "round " << round << ", column " << column << (ascending ? " up" : " down");
      }
    }
  }
}

TEST(ColumnSort, EachColumnSortsByItsOwnText) {
  EntryStore store;
  store.Insert(test::MakeEntry({.root_name = u"HKLM", .path = u"k2", .name = u"n3", .type = kRegSz,
                                .status = EntryStatus::Same, .file = test::TextBytes(u"z"),
                                .live = LiveState::SameBytes, .live_type = kRegSz}));
  store.Insert(test::MakeEntry({.root_name = u"HKCU", .path = u"k3", .name = u"n1", .type = kRegDword,
                                .status = EntryStatus::Missing, .file = {1, 0, 0, 0}}));
  store.Insert(test::MakeEntry({.root_name = u"HKCR", .path = u"k1", .name = u"n2", .type = kRegBinary,
                                .status = EntryStatus::ChangedType, .file = {1}, .live = LiveState::OwnBytes,
                                .live_type = kRegSz, .live_bytes = test::TextBytes(u"y")}));
  const std::vector<std::string> by_column[kColumnCount] = {
      {"HKCR", "HKCU", "HKLM"}, {"CHANGED TYPE", "MISSING", "SAME"}, {"k1", "k2", "k3"}, {"n1", "n2", "n3"},
      {"REG_BINARY", "REG_DWORD", "REG_SZ"}, {"01", "0x1", "z"}, {"", "y", "z"}};
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
  EXPECT_TRUE(empty.empty());
}

TEST(ColumnSort, TheArrowShowsOnlyWhileTheRowsStandInItsOrder) {
  SortMark mark;
  EXPECT_EQ(mark.ArrowColumn(), -1);
  EXPECT_FALSE(mark.ResortDue());
  mark.Sorted(2, true);  // a click on "Key"
  EXPECT_EQ(mark.ArrowColumn(), 2);
  mark.RowsAdded();  // a load places its rows by their first column
  EXPECT_EQ(mark.ArrowColumn(), -1);
  EXPECT_TRUE(mark.ResortDue());  // when the load ends
  mark.Sorted(2, true);
  EXPECT_EQ(mark.ArrowColumn(), 2);
  mark.RowsAdded();
  mark.Cleared();  // an empty list stands in every order
  EXPECT_EQ(mark.ArrowColumn(), 2);
  mark.Remember(4, false);  // a saved layout's sort: shown once the rows take it
  EXPECT_EQ(mark.ArrowColumn(), -1);
  EXPECT_TRUE(mark.ResortDue());
  EXPECT_FALSE(mark.ascending());
}

// ---- Clicks on the list ---------------------------------------------------------

TEST(ListClicks, OnlyAClickOnTheCheckBoxItselfTogglesIt) {
  constexpr unsigned kWholeRow = kHitOnItemIcon | kHitOnItemLabel | kHitOnItemStateIcon;
  struct Case {
    int line;
    unsigned flags;
    int x;  // the check box lies at 4 to 20
    bool toggles;
  };
  const Case cases[] = {
      {__LINE__, kHitOnItemStateIcon, 10, true},
      {__LINE__, kHitOnItemStateIcon, 300, true},          // the list view's own word
      {__LINE__, kHitOnItemStateIcon | 0x40, 10, true},    // with a flag outside the item (LVHT_TORIGHT)
      {__LINE__, kWholeRow, 4, true},                      // a whole-row hit inside the box
      {__LINE__, kWholeRow, 19, true},
      {__LINE__, kWholeRow, 20, false},                    // just right of the box: the label
      {__LINE__, kWholeRow, 3, false},                     // the margin left of it
      {__LINE__, kWholeRow, 300, false},                   // another column
      {__LINE__, kHitOnItemLabel, 10, false},
      {__LINE__, kHitOnItemIcon, 10, false},
      {__LINE__, 0x1, 10, false},  // nowhere
      {__LINE__, 0, 10, false},
  };
  for (const Case& c : cases)
    EXPECT_EQ(ClickTogglesCheck(c.flags, c.x, 4, 20), c.toggles) << "case at line " << c.line;
}

// A copy started anew on the same files takes the checked rows back from the
// text: for every file exactly the lines of its checked rows.
TEST(CheckedLines, RoundTripForRandomSelections) {
  std::mt19937 random(7);
  const std::vector<std::u16string> files = {u"C:\\a.reg", u"C:\\b.reg", u"C:\\Empty.reg"};
  for (int round = 0; round < 200; ++round) {
    EntryStore store;
    std::vector<std::vector<std::uint32_t>> expected(files.size());
    for (size_t f = 0; f + 1 < files.size(); ++f) {
      auto source = std::make_shared<LoadSource>(LoadSource{files[f], f + 1, 0});
      const int rows = static_cast<int>(random() % 60);
      std::uint32_t line = 1 + random() % 3;
      for (int r = 0; r < rows; ++r, line += 1 + random() % 3 / 2) {
        test::EntryFields fields;
        fields.line = line;
        fields.source = source;
        fields.name = Decimal(line);
        const size_t index = store.Insert(test::MakeEntry(fields));
        if (random() % 3 != 0) {
          store.at(index).checked = true;
          expected[f].push_back(line);
        }
      }
    }
    test::EntryFields other;  // a row of no file is not named
    store.at(store.Insert(test::MakeEntry(other))).checked = true;
    // The files as the window names them, in another letter case.
    const std::u16string text = CheckedLinesText(store, {u"c:\\A.REG", files[1], files[2]});
    const auto parsed = ParseCheckedLines(text);
    ASSERT_TRUE(parsed) << ToUtf8(text);
    EXPECT_EQ(*parsed, expected) << ToUtf8(text);
  }
}

TEST(CheckedLines, TextsThatAreNotSelectionsAreRefused) {
  EXPECT_EQ(ParseCheckedLines(u"3-5,9\r\n-\r\n1\r\n"),
            (std::vector<std::vector<std::uint32_t>>{{3, 4, 5, 9}, {}, {1}}));
  EXPECT_EQ(ParseCheckedLines(u""), (std::vector<std::vector<std::uint32_t>>{}));
  for (const char16_t* bad : {u"3", u"3\n", u"5,3\r\n", u"3,3\r\n", u"5-3\r\n", u"1-\r\n", u",1\r\n", u"1,\r\n",
                              u"x\r\n", u"\r\n", u"4294967296\r\n", u"1-20000000\r\n", u"--\r\n"})
    EXPECT_FALSE(ParseCheckedLines(bad)) << ToUtf8(bad);
}

// ---- The history's texts ---------------------------------------------------------

TEST(HistoryTexts, EachMergeAsTheHistoryListsIt) {
  struct Case {
    int line;
    MergeRecord record;
    std::vector<std::string> columns;  // Time, Merged file(s), Rows, Errors logged, Undo file
  };
  const std::u16string undo = u"C:\\H\\hivemend_undo_20261208-231500.reg";
  const Case cases[] = {
      {__LINE__, {undo, u"2026-12-08 23:15:00", {u"C:\\a.reg", u"D:\\x\\b.reg"}, 3, {}, true},
       {"2026-12-08 23:15:00", "a.reg, b.reg", "3", "No", "hivemend_undo_20261208-231500.reg"}},
      {__LINE__, {undo, u"2026-12-08 23:15:00", {u"a.reg"}, 1, u"C:\\H\\hivemend_error_log_20261208-231500.log", true},
       {"2026-12-08 23:15:00", "a.reg", "1", "Yes", "hivemend_undo_20261208-231500.reg"}},
      // An undo file of an older version says neither time nor rows.
      {__LINE__, {undo, u"", {}, std::nullopt, {}, true},
       {"(not recorded)", "", "(not recorded)", "No", "hivemend_undo_20261208-231500.reg"}},
      // A damaged file is listed under its name, never dropped.
      {__LINE__, {u"hivemend_undo_x.reg", u"", {}, std::nullopt, {}, false},
       {"(damaged)", "Not a readable undo file of Hivemend", "", "No", "hivemend_undo_x.reg"}},
  };
  for (const Case& c : cases) {
    std::vector<std::string> got;
    for (const std::u16string& text : HistoryRowTexts(c.record)) got.push_back(ToUtf8(text));
    EXPECT_EQ(got, c.columns) << "case at line " << c.line;
  }
  EXPECT_EQ(ToUtf8(HistoryCountText(1)), "1 merge");
  EXPECT_EQ(ToUtf8(HistoryCountText(10000)), "10000 merges");
  // The undo's question names the merge it takes back, and the rows checked
  // beside the undo file's when the list held others.
  const MergeRecord record{undo, u"2026-12-08 23:15:00", {u"C:\\a.reg"}, 2, {}, true};
  EXPECT_EQ(ToUtf8(UndoQuestionText(record, 2, 2)),
            "The list now holds the 2 rows of the undo file hivemend_undo_20261208-231500.reg, which takes back the "
            "merge of 2026-12-08 23:15:00 (a.reg).\r\n\r\nMerge the checked rows into the registry now? The undo is "
            "a merge of its own: it saves an undo file too, which takes the undo back.");
  EXPECT_NE(ToUtf8(UndoQuestionText(record, 1, 4)).find("row of the undo file"), std::string::npos);
  EXPECT_NE(ToUtf8(UndoQuestionText(record, 1, 4)).find("With the rows it held before, 4 are checked."),
            std::string::npos);
}

}  // namespace
}  // namespace hivemend
