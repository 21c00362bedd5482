// The merge command over the list store: confirmation, the rows loop in list
// order, rows removed, refused rows, the undo file, the error log and the
// messages.
#include <gtest/gtest.h>

#include "merge/Merge.h"
#include "MergeTestSupport.h"

namespace hivemend::test {
namespace {

constexpr RegRoot kCU = RegRoot::CurrentUser;
using Kind = MergeMessage;

void Add(EntryStore& store, ChangeEntry entry, bool checked = true) {
  store.at(store.Insert(std::move(entry))).checked = checked;
}

std::vector<std::string> Names(EntryStore& store) {
  std::vector<std::string> names;
  store.ForEach([&](EntryStore::Row& row) { names.push_back(Show(row.entry.name())); });
  return names;
}

struct Fixture {
  TempDir dir;
  EntryStore store;
  RecordingUi ui;
  MergeResult Run(Registry& registry) {
    return RunMerge(store, registry, ui, [this] { return dir.u16(); });
  }
};

TEST(Merge, AnEmptyListOnlySaysSo) {
  Fixture f;
  MemoryRegistry registry;
  const MergeResult result = f.Run(registry);
  EXPECT_FALSE(result.confirmed);
  EXPECT_TRUE(f.ui.confirmations.empty());
  ASSERT_EQ(f.ui.shown.size(), 1u);
  EXPECT_EQ(f.ui.shown[0].kind, Kind::NoValues);
  EXPECT_EQ(Show(f.ui.shown[0].text), "There are no values to merge!");
  EXPECT_TRUE(f.dir.Files().empty());
}

TEST(Merge, AnsweringNoChangesNothing) {
  Fixture f;
  RecordingUi no(false);
  MemoryRegistry registry;
  Add(f.store, Row(u"HKCU", u"MISSING", u"K", u"v", u"REG_SZ", u"x"));
  const MergeResult result = RunMerge(f.store, registry, no, [&] { return f.dir.u16(); });
  EXPECT_FALSE(result.confirmed);
  ASSERT_EQ(no.confirmations.size(), 1u);
  EXPECT_TRUE(no.confirmations[0].starts_with(u"The checked changes will be merged into your registry."));
  EXPECT_TRUE(no.shown.empty());
  EXPECT_EQ(f.store.size(), 1u);
  EXPECT_FALSE(KeyExists(registry, kCU, u"K"));
  EXPECT_TRUE(f.dir.Files().empty());
}

TEST(Merge, NoRowCheckedWritesAnUndoFileWithTheHeaderOnly) {
  Fixture f;
  MemoryRegistry registry;
  Add(f.store, Row(u"HKCU", u"MISSING", u"K", u"v", u"REG_SZ", u"x"), false);
  const MergeResult result = f.Run(registry);
  EXPECT_TRUE(result.confirmed);
  EXPECT_EQ(result.rows_taken, 0u);
  EXPECT_EQ(f.store.size(), 1u);
  ASSERT_EQ(f.dir.Files().size(), 1u);
  EXPECT_EQ(f.dir.Files()[0].u16string(), result.undo_path);
  EXPECT_EQ(Show(ReadUtf16File(result.undo_path)), "Windows Registry Editor Version 5.00\r\n\r\n");
  ASSERT_EQ(f.ui.shown.size(), 1u);
  EXPECT_EQ(f.ui.shown[0].kind, Kind::Success);
  EXPECT_EQ(Show(f.ui.shown[0].text), "Changes successfully applied!");
}

TEST(Merge, CheckedRowsAreAppliedInListOrderAndRemoved) {
  Fixture f;
  FaultyRegistry registry;
  SetValue(registry.memory(), RegRoot::LocalMachine, u"Soft", u"d", {kRegDword, DwordBytes(1)});
  SetValue(registry.memory(), kCU, u"K", u"gone", {kRegSz, StringBytes(u"old")});
  Add(f.store, Row(u"HKLM", u"CHANGED", u"Soft", u"d", u"REG_DWORD", u"0x2", DwordBytes(2)));
  Add(f.store, Row(u"HKCU", u"MISSING", u"K", u"s", u"REG_SZ", u"new \"text\""));
  Add(f.store, Row(u"HKCU", u"SAME", u"K", u"skipped", u"REG_SZ", u"y"), false);
  Add(f.store, Row(u"HKCU", u"CHANGED", u"K", u"gone", u"DELETE"));
  Add(f.store, Row(u"HKEY_USERS", u"MISSING", u"", u"b", u"REG_BINARY", {}, std::vector<std::uint8_t>{}));
  Add(f.store, Row(u"HKCU", u"MISSING", u"K", u"last", u"REG_MULTI_SZ"), false);
  // The user sorted by value name: that order is the merge's order.
  f.store.Reorder([](const EntryStore::Row& a, const EntryStore::Row& b) {
    return a.entry.name() < b.entry.name();
  });
  std::vector<std::string> sets;
  registry.observer = [&](FaultyRegistry::Op op, std::u16string_view path) {
    if (op == FaultyRegistry::kCreate || op == FaultyRegistry::kDelete) sets.push_back(Show(path));
  };

  const MergeResult result = f.Run(registry);
  EXPECT_EQ(result.rows_taken, 4u);
  EXPECT_EQ(Names(f.store), (std::vector<std::string>{"last", "skipped"}));
  EXPECT_EQ(sets, (std::vector<std::string>{"", "Soft", "K", "K"}));  // b, d, gone, s
  EXPECT_EQ(GetValue(registry.memory(), RegRoot::LocalMachine, u"Soft", u"d"), (Value{kRegDword, DwordBytes(2)}));
  EXPECT_EQ(GetValue(registry.memory(), kCU, u"K", u"s"), (Value{kRegSz, StringBytes(u"new \"text\"")}));
  EXPECT_FALSE(GetValue(registry.memory(), kCU, u"K", u"gone"));
  EXPECT_EQ(GetValue(registry.memory(), RegRoot::Users, u"", u"b"), (Value{kRegBinary, {}}));
  EXPECT_EQ(Show(ReadUtf16File(result.undo_path)),
            "Windows Registry Editor Version 5.00\r\n\r\n"
            "[HKEY_USERS\\]\r\n\"b\"=-\r\n"
            "[HKLM\\Soft]\r\n\"d\"=dword:1\r\n"
            "[HKCU\\K]\r\n\"gone\"=\"old\"\r\n\"s\"=-\r\n");
  EXPECT_EQ(Show(result.error_text), "");
  EXPECT_EQ(f.dir.Files().size(), 1u);
  ASSERT_EQ(f.ui.shown.size(), 1u);
  EXPECT_EQ(f.ui.shown[0].kind, Kind::Success);
  EXPECT_EQ(registry.memory().OpenHandles(), 0u);
}

TEST(Merge, AFailingRowIsRemovedAndReportedInTheLogAndTheMessage) {
  Fixture f;
  FaultyRegistry registry;
  registry.FailOn(FaultyRegistry::kSet, u"Locked");
  Add(f.store, Row(u"HKCU", u"MISSING", u"Locked", u"v", u"REG_DWORD", u"0x1", DwordBytes(1)));
  Add(f.store, Row(u"HKCU", u"MISSING", u"Open", u"w", u"REG_DWORD", u"0x1", DwordBytes(1)));
  const MergeResult result = f.Run(registry);

  EXPECT_TRUE(f.store.empty());
  EXPECT_EQ(GetValue(registry.memory(), kCU, u"Open", u"w"), (Value{kRegDword, DwordBytes(1)}));
  EXPECT_EQ(Show(result.error_text), "Error writing value at Locked\\v");
  ASSERT_FALSE(result.error_log_path.empty());
  EXPECT_EQ(Show(ReadUtf16File(result.error_log_path)), "Error writing value at Locked\\v");
  EXPECT_TRUE(std::filesystem::path(result.error_log_path).filename().string().starts_with("hivemend_error_log_"));
  EXPECT_EQ(f.dir.Files().size(), 2u);
  ASSERT_EQ(f.ui.shown.size(), 1u);
  EXPECT_EQ(f.ui.shown[0].kind, Kind::Failures);
  EXPECT_EQ(Show(f.ui.shown[0].text), "The following errors were recorded to the error log file " +
                                          Show(result.error_log_path) +
                                          ":\r\n\r\nError writing value at Locked\\v");
}

TEST(Merge, RowsThatCannotBeWrittenAreRefusedAndRemoved) {
  Fixture f;
  MemoryRegistry registry;
  Add(f.store, Row(u"HKCU", u"MISSING", u"K", u"q", u"UNKNOWN - ERROR"));
  Add(f.store, Row(u"HKEY_NOWHERE", u"MISSING", u"K", u"@", u"REG_SZ", u"x"));
  Add(f.store, Row(u"-HKCU", u"MISSING", u"K", u"d", u"DELETE"));
  const MergeResult result = f.Run(registry);
  EXPECT_TRUE(f.store.empty());
  EXPECT_EQ(result.rows_taken, 3u);
  EXPECT_FALSE(KeyExists(registry, kCU, u"K"));
  EXPECT_EQ(Show(result.error_text),
            "ERROR - Did not write key -HKCU\\K value d: \"-HKCU\" is not a root key of the registry\r\n"
            "ERROR - Did not write key HKCU\\K value q: its type \"UNKNOWN - ERROR\" is not one that can be "
            "written\r\n"
            "ERROR - Did not write key HKEY_NOWHERE\\K value <default@>: \"HKEY_NOWHERE\" is not a root key of "
            "the registry\r\n");
  EXPECT_EQ(Show(ReadUtf16File(result.undo_path)), "Windows Registry Editor Version 5.00\r\n\r\n");
}

TEST(Merge, LongStringsAreStoredWhole) {
  Fixture f;
  MemoryRegistry registry;
  std::u16string text(100000, u'x');
  text[4095] = u'#';
  text.back() = u'!';
  Add(f.store, Row(u"HKCU", u"MISSING", u"K", u"long", u"REG_SZ", text));
  f.Run(registry);
  EXPECT_EQ(GetValue(registry, kCU, u"K", u"long"), (Value{kRegSz, StringBytes(text)}));
}

TEST(Merge, TwoMergesLeaveTwoUndoFiles) {
  Fixture f;
  MemoryRegistry registry;
  Add(f.store, Row(u"HKCU", u"MISSING", u"K", u"a", u"REG_SZ", u"1"));
  const MergeResult first = f.Run(registry);
  Add(f.store, Row(u"HKCU", u"SAME", u"K", u"a", u"REG_SZ", u"2"));
  const MergeResult second = f.Run(registry);
  ASSERT_TRUE(first.undo_saved && second.undo_saved);
  EXPECT_NE(first.undo_path, second.undo_path);
  EXPECT_EQ(f.dir.Files().size(), 2u);
  EXPECT_EQ(Show(ReadUtf16File(first.undo_path)), "Windows Registry Editor Version 5.00\r\n\r\n[HKCU\\K]\r\n\"a\"=-\r\n");
  EXPECT_EQ(Show(ReadUtf16File(second.undo_path)),
            "Windows Registry Editor Version 5.00\r\n\r\n[HKCU\\K]\r\n\"a\"=\"1\"\r\n");
}

TEST(Merge, WithoutAHistoryFolderTheUserIsToldNoFileWasWritten) {
  EntryStore store;
  RecordingUi ui;
  FaultyRegistry registry;
  registry.FailOn(FaultyRegistry::kCreate, u"K");
  Add(store, Row(u"HKCU", u"MISSING", u"K", u"a", u"REG_SZ", u"1"));
  const MergeResult result = RunMerge(store, registry, ui, [] { return std::u16string(); });
  EXPECT_FALSE(result.undo_saved);
  ASSERT_EQ(ui.shown.size(), 3u);
  EXPECT_EQ(ui.shown[0].kind, Kind::UndoFileFailed);
  EXPECT_EQ(Show(ui.shown[0].text), "ERROR Writing the REG undo file to disk!");
  EXPECT_EQ(ui.shown[1].kind, Kind::ErrorLogFailed);
  EXPECT_EQ(ui.shown[2].kind, Kind::Failures);
  EXPECT_EQ(Show(ui.shown[2].text),
            "The following errors were recorded to the error log file :\r\n\r\nError creating or opening key K");
}

TEST(Merge, RowsAddedWhileTheQuestionIsOpenAreMergedWhenChecked) {
  Fixture f;
  MemoryRegistry registry;
  Add(f.store, Row(u"HKCU", u"MISSING", u"K", u"a", u"REG_SZ", u"1"));
  f.ui.on_confirm = [&] {
    Add(f.store, Row(u"HKCU", u"MISSING", u"K", u"b", u"REG_SZ", u"2"));
    Add(f.store, Row(u"HKCU", u"MISSING", u"K", u"c", u"REG_SZ", u"3"), false);
  };
  f.Run(registry);
  EXPECT_EQ(Names(f.store), (std::vector<std::string>{"c"}));
  EXPECT_TRUE(GetValue(registry, kCU, u"K", u"b"));
}

}  // namespace
}  // namespace hivemend::test
