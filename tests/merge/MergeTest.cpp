// The merge command over the list store: confirmation, the rows loop in list
// order, rows removed, refused rows, the undo file, the error log and the
// messages.
#include <gtest/gtest.h>

#include "engine/Baseline.h"
#include "engine/LoadPipeline.h"
#include "merge/Merge.h"
#include "MergeTestSupport.h"
#include "platform/File.h"
#include "platform/KeyKeepingRegistry.h"
#include "platform/SystemText.h"
#include "tests/LoadRecorder.h"
#include "tests/RegistryDump.h"

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
  // hivemend_undo_YYYYMMDD-HHMMSS.reg
  const std::string name = f.dir.Files()[0].filename().string();
  EXPECT_EQ(name.size(), std::string("hivemend_undo_20240101-120000.reg").size()) << name;
  EXPECT_TRUE(name.starts_with("hivemend_undo_20") && name.ends_with(".reg") && name[22] == '-') << name;
  const std::string text = Show(ReadUtf16File(result.undo_path));
  EXPECT_TRUE(text.starts_with("Windows Registry Editor Version 5.00\r\n\r\n; ")) << text;
  EXPECT_NE(text.find("load this file in Hivemend, check every row and merge them"), std::string::npos) << text;
  EXPECT_EQ(UndoBody(result.undo_path), "");
  ASSERT_EQ(f.ui.shown.size(), 1u);
  EXPECT_EQ(f.ui.shown[0].kind, Kind::Success);
  EXPECT_EQ(Show(f.ui.shown[0].text), "Changes successfully applied!");
}

TEST(Merge, CheckedRowsWithoutFileLinesAreAppliedInListOrderAndRemoved) {
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
    if (op == FaultyRegistry::kSet || op == FaultyRegistry::kDelete) sets.push_back(Show(path));
  };

  const MergeResult result = f.Run(registry);
  EXPECT_EQ(result.rows_taken, 4u);
  EXPECT_EQ(Names(f.store), (std::vector<std::string>{"last", "skipped"}));
  EXPECT_EQ(sets, (std::vector<std::string>{"", "Soft", "K", "K"}));  // b, d, gone, s
  EXPECT_EQ(GetValue(registry.memory(), RegRoot::LocalMachine, u"Soft", u"d"), (Value{kRegDword, DwordBytes(2)}));
  EXPECT_EQ(GetValue(registry.memory(), kCU, u"K", u"s"), (Value{kRegSz, StringBytes(u"new \"text\"")}));
  EXPECT_FALSE(GetValue(registry.memory(), kCU, u"K", u"gone"));
  EXPECT_EQ(GetValue(registry.memory(), RegRoot::Users, u"", u"b"), (Value{kRegBinary, {}}));
  EXPECT_EQ(UndoBody(result.undo_path),
            "[HKEY_USERS\\]\r\n\"b\"=-\r\n"
            "[HKLM\\Soft]\r\n\"d\"=dword:1\r\n"
            "[HKCU\\K]\r\n\"gone\"=\"old\"\r\n\"s\"=-\r\n");
  EXPECT_EQ(Show(result.error_text), "");
  EXPECT_EQ(f.dir.Files().size(), 1u);
  ASSERT_EQ(f.ui.shown.size(), 1u);
  EXPECT_EQ(f.ui.shown[0].kind, Kind::Success);
  EXPECT_EQ(registry.memory().OpenHandles(), 0u);
  // What the window adds to the message, and keeps in its status bar.
  const std::u16string undo_name = std::filesystem::path(result.undo_path).filename().u16string();
  EXPECT_EQ(MergeOutcomeDetails(result), u"Merged 4 rows.\r\nUndo file: " + undo_name);
  EXPECT_EQ(MergedStatusText(result), u"Merged 4 rows; undo: " + undo_name);
}

TEST(Merge, AFailingRowStaysCheckedAndIsReportedInTheLogAndTheMessage) {
  Fixture f;
  FaultyRegistry registry;
  registry.FailOn(FaultyRegistry::kSet, u"Locked");
  Add(f.store, Row(u"HKCU", u"MISSING", u"Locked", u"v", u"REG_DWORD", u"0x1", DwordBytes(1)));
  Add(f.store, Row(u"HKCU", u"MISSING", u"Open", u"w", u"REG_DWORD", u"0x1", DwordBytes(1)));
  const MergeResult result = f.Run(registry);

  ASSERT_EQ(f.store.size(), 1u);
  EXPECT_EQ(Show(f.store.at(0).entry.name()), "v");
  EXPECT_TRUE(f.store.at(0).checked);
  EXPECT_EQ(result.rows_taken, 1u);
  EXPECT_EQ(result.rows_failed, 1u);
  EXPECT_EQ(GetValue(registry.memory(), kCU, u"Open", u"w"), (Value{kRegDword, DwordBytes(1)}));
  const std::u16string failure =
      u"Error writing value at Locked\\v: " + SystemErrorText(kRegAccessDenied) + u"\r\n";
  EXPECT_EQ(result.error_text, failure);
  ASSERT_FALSE(result.error_log_path.empty());
  // The log starts with the time of the merge and the files merged.
  const std::u16string log = ReadUtf16File(result.error_log_path);
  EXPECT_TRUE(log.starts_with(u"Hivemend error log of the merge of 20")) << Show(log);
  EXPECT_TRUE(log.ends_with(u"\r\n\r\n" + failure)) << Show(log);
  EXPECT_TRUE(std::filesystem::path(result.error_log_path).filename().string().starts_with("hivemend_error_log_"));
  EXPECT_EQ(f.dir.Files().size(), 2u);
  ASSERT_EQ(f.ui.shown.size(), 1u);
  EXPECT_EQ(f.ui.shown[0].kind, Kind::Failures);
  EXPECT_EQ(MergeOutcomeDetails(result), u"Merged 1 row.\r\nUndo file: " +
                                             std::filesystem::path(result.undo_path).filename().u16string() +
                                             u"\r\nError log: " +
                                             std::filesystem::path(result.error_log_path).filename().u16string());
  EXPECT_EQ(f.ui.shown[0].text, u"1 of the 2 checked rows were not merged: they stay in the list, checked.\r\n\r\n"
                                u"The following errors were recorded to the error log file " +
                                    result.error_log_path + u":\r\n\r\n" + failure);
}

TEST(Merge, RowsThatCannotBeWrittenAreRefusedAndStay) {
  Fixture f;
  MemoryRegistry registry;
  Add(f.store, Row(u"HKCU", u"MISSING", u"K", u"q", u"UNKNOWN - ERROR"));
  Add(f.store, Row(u"HKEY_NOWHERE", u"MISSING", u"K", u"@", u"REG_SZ", u"x"));
  Add(f.store, Row(u"-HKCU", u"MISSING", u"K", u"d", u"DELETE"));
  Add(f.store, Row(u"HKCU", u"CHANGED TYPE", u"", u"", u"DELETE KEY"));
  const MergeResult result = f.Run(registry);
  EXPECT_EQ(f.store.size(), 4u);
  EXPECT_EQ(result.rows_taken, 0u);
  EXPECT_EQ(result.rows_failed, 4u);
  EXPECT_FALSE(KeyExists(registry, kCU, u"K"));
  EXPECT_EQ(Show(result.error_text),
            "ERROR - Did not write key -HKCU\\K value d: \"-HKCU\" is not a root key of the registry\r\n"
            "ERROR - Did not write key HKCU\\K value q: its type \"UNKNOWN - ERROR\" cannot be written\r\n"
            "ERROR - Did not delete key HKCU\\: a root key is not deleted\r\n"
            "ERROR - Did not write key HKEY_NOWHERE\\K value <default@>: \"HKEY_NOWHERE\" is not a root key of "
            "the registry\r\n");
  EXPECT_EQ(UndoBody(result.undo_path), "");
}

// Rows under keys the account may not change are named before anything is
// written; the user restarts with more rights, cancels, or merges the others.
TEST(Merge, RowsTheAccountMayNotWriteAreNamedFirst) {
  struct Case {
    UnwritableChoice choice;
    bool only_locked;  // every checked row lies below the read-only key
    bool merges;       // the merge goes on, leaving those rows out
  } cases[] = {
      {UnwritableChoice::Restart, false, false},
      {UnwritableChoice::Cancel, false, false},
      {UnwritableChoice::MergeOthers, false, true},
      {UnwritableChoice::MergeOthers, true, true},  // nothing else to merge: every row is logged
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.choice));
    Fixture f;
    f.ui.unwritable_choice = c.choice;
    FaultyRegistry registry;
    SetValue(registry, kCU, u"Locked", u"b", {kRegSz, StringBytes(u"old")});
    SetValue(registry, kCU, u"Locked\\Sub", u"s", {kRegSz, StringBytes(u"old")});
    registry.ReadOnlyBelow(u"Locked");
    if (!c.only_locked) {
      Add(f.store, Row(u"HKCU", u"MISSING", u"Open", u"w", u"REG_SZ", u"new"));
      Add(f.store, Row(u"HKCU", u"MISSING", u"Locked\\Gone", u"d", u"DELETE"));  // nothing there to delete
    }
    Add(f.store, Row(u"HKCU", u"CHANGED", u"Locked", u"b", u"REG_SZ", u"new"));
    Add(f.store, Row(u"HKCU", u"MISSING", u"Locked\\New", u"c", u"REG_SZ", u"new"));
    Add(f.store, Row(u"HKCU", u"DELETE", u"Locked\\Sub", u"", u"DELETE KEY"));
    const size_t rows = f.store.size();
    const MergeResult result = f.Run(registry);

    ASSERT_EQ(f.ui.unwritable.size(), 1u);
    EXPECT_EQ(f.ui.unwritable[0].second, !c.only_locked);
    EXPECT_EQ(Show(f.ui.unwritable[0].first),
              "This account may not change the keys of 3 of the " + std::to_string(rows) +
                  " checked rows:\r\n\r\nHKCU\\Locked\r\nHKCU\\Locked\\New\r\nHKCU\\Locked\\Sub\r\n");
    EXPECT_EQ(result.restart, c.choice == UnwritableChoice::Restart);
    EXPECT_EQ(result.rows_unwritable, 3u);
    EXPECT_EQ(GetValue(registry, kCU, u"Locked", u"b"), (Value{kRegSz, StringBytes(u"old")}));
    EXPECT_TRUE(KeyExists(registry, kCU, u"Locked\\Sub"));
    EXPECT_FALSE(KeyExists(registry, kCU, u"Locked\\New"));
    if (!c.merges) {
      EXPECT_TRUE(f.ui.confirmations.empty());
      EXPECT_TRUE(f.dir.Files().empty());
      EXPECT_EQ(f.store.size(), rows);
      EXPECT_FALSE(KeyExists(registry, kCU, u"Open"));
      continue;
    }
    EXPECT_EQ(KeyExists(registry, kCU, u"Open"), !c.only_locked);
    if (!c.only_locked) {
      EXPECT_EQ(GetValue(registry, kCU, u"Open", u"w"), (Value{kRegSz, StringBytes(u"new")}));
    }
    EXPECT_EQ(result.rows_failed, 3u);
    EXPECT_EQ(result.rows_taken, rows - 3);
    EXPECT_EQ(f.store.size(), 3u);  // the value deletion had nothing to delete: taken
    for (size_t i = 0; i < f.store.size(); ++i) EXPECT_TRUE(f.store.at(i).checked);
    const std::string failures =
        "ERROR - Did not write key HKCU\\Locked value b: this account may not change that key\r\n"
        "ERROR - Did not write key HKCU\\Locked\\New value c: this account may not change that key\r\n"
        "ERROR - Did not change key HKCU\\Locked\\Sub: this account may not change that key\r\n";
    EXPECT_EQ(Show(result.error_text), failures);
    ASSERT_FALSE(result.error_log_path.empty());
    EXPECT_TRUE(ReadUtf16File(result.error_log_path).ends_with(result.error_text));
    // The message says how many rows were left out, then why.
    ASSERT_EQ(f.ui.shown.size(), 1u);
    EXPECT_EQ(Show(f.ui.shown[0].text), "3 of the " + std::to_string(rows) +
                                            " checked rows were not merged: they stay in the list, checked.\r\n\r\n"
                                            "The following errors were recorded to the error log file " +
                                            Show(result.error_log_path) + ":\r\n\r\n" + failures);
    // The undo file holds only what was written.
    EXPECT_EQ(UndoBody(result.undo_path), c.only_locked ? "" : "[-HKCU\\Open]\r\n");
  }
}

// Rows of loaded files are merged in the order of their lines: the last line
// for a value wins, under whichever spelling of its root, whatever the list
// shows. A value that already holds what its row writes is left as it is and
// needs no undo line, unless an earlier row deleted it.
TEST(Merge, TheFilesOwnOrderDecides) {
  Fixture f;
  MemoryRegistry registry;
  SetValue(registry, kCU, u"Soft", u"v", {kRegSz, StringBytes(u"before")});
  SetValue(registry, kCU, u"Soft", u"keep", {kRegSz, StringBytes(u"k")});
  SetValue(registry, kCU, u"Soft\\Sub", u"w", {kRegSz, StringBytes(u"1")});
  RecordingReport report(f.store);
  RunLoadText(u"Windows Registry Editor Version 5.00\r\n\r\n"
              u"[HKEY_CURRENT_USER\\Soft]\r\n\"v\"=\"first\"\r\n\"keep\"=\"k\"\r\n"
              u"[-HKCU\\Soft\\Sub]\r\n"
              u"[HKCU\\Soft]\r\n\"v\"=\"second\"\r\n"
              u"[HKCU\\Soft\\Sub]\r\n\"w\"=\"1\"\r\n",
              u"order.reg", &registry, report);
  // The list sorted so that the first line comes last.
  f.store.Reorder([](const EntryStore::Row& a, const EntryStore::Row& b) { return a.entry.line() > b.entry.line(); });
  const MergeResult result = f.Run(registry);
  EXPECT_TRUE(f.store.empty());
  EXPECT_EQ(GetValue(registry, kCU, u"Soft", u"v"), (Value{kRegSz, StringBytes(u"second")}));
  EXPECT_EQ(GetValue(registry, kCU, u"Soft\\Sub", u"w"), (Value{kRegSz, StringBytes(u"1")}));  // written back
  // No line for "keep", which the merge left as it was.
  EXPECT_EQ(UndoBody(result.undo_path), "[HKEY_CURRENT_USER\\Soft]\r\n\"v\"=\"before\"\r\n[-HKCU\\Soft\\Sub]\r\n"
                                        "[HKCU\\Soft\\Sub]\r\n\"w\"=\"1\"\r\n\r\n[HKCU\\Soft\\Sub]\r\n\"w\"=\"1\"\r\n");
  const std::string text = Show(ReadUtf16File(result.undo_path));
  EXPECT_NE(text.find("; Merged file: order.reg\r\n"), std::string::npos) << text;
}

// A key path that starts with a backslash names no key: a key line of that
// form below a deleted root creates nothing, and its deletion deletes nothing,
// so the undo text has nothing to take back for them (it once recorded the
// subtree of the key without the backslash, which the undo could not delete).
TEST(Merge, KeyPathsStartingWithABackslashAreNeitherCreatedNorDeleted) {
  MemoryRegistry registry;
  SetValue(registry, kCU, u"A", u"v", {kRegDword, {1, 0, 0, 0}});
  const std::vector<std::string> before = DumpRegistry(registry, kCU, u"");
  EntryStore store;
  RecordingReport report(store);
  RunLoadText(u"Windows Registry Editor Version 5.00\r\n[-HKEY_CURRENT_USER\\]\r\n[HKEY_CURRENT_USER\\\\A\\New]\r\n"
              u"[-HKEY_CURRENT_USER\\\\A]\r\n",
              u"f.reg", &registry, report);
  UndoText undo;
  std::u16string errors;
  MergeCheckedRows(store, registry, undo, errors);
  EXPECT_EQ(DumpRegistry(registry, kCU, u""), before);
  EXPECT_EQ(Show(undo.text()).find("A]"), std::string::npos) << Show(undo.text());
  EntryStore undo_store;
  RecordingReport undo_report(undo_store);
  RunLoadText(undo.text(), u"undo.reg", &registry, undo_report);
  std::u16string undo_errors;
  UndoText ignored;
  MergeCheckedRows(undo_store, registry, ignored, undo_errors);
  EXPECT_EQ(Show(undo_errors), "");
}

// A loaded file's merge in orders of rows where a shortcut would be wrong:
// what it leaves in the registry, what its undo text records, and which keys
// it stores values in or deletes them from.
TEST(Merge, RowOrdersWhereAShortcutWouldBeWrong) {
  struct Case {
    int line;
    std::u16string_view before;  // the registry, as lines of a .REG file
    std::u16string_view file;    // the file's lines after its header
    std::function<void(Registry&)> after_load;  // a change between the load and the merge
    std::u16string_view after;   // the registry afterwards, as lines of a .REG file
    std::string undo;            // the undo text after its header
    std::vector<std::string> writes;
    std::string errors;
  } cases[] = {
      // A key whose name only starts with a deleted key's name is not below it:
      // its value that already holds the file's data is left alone, with no
      // undo line.
      {__LINE__, u"[HKCU\\A\\B]\r\n\"v\"=dword:1\r\n[HKCU\\A\\BC]\r\n\"v\"=dword:1\r\n",
       u"[-HKCU\\A\\B]\r\n[HKCU\\A\\BC]\r\n\"v\"=dword:1\r\n", nullptr,
       u"[HKCU\\A\\BC]\r\n\"v\"=dword:1\r\n", "[-HKCU\\A\\B]\r\n[HKCU\\A\\B]\r\n\"v\"=dword:1\r\n\r\n", {}, ""},
      // Two key lines that differ only by a leading backslash are two keys;
      // the second names none.
      {__LINE__, u"", u"[HKCU\\A]\r\n\"v\"=dword:2\r\n[HKCU\\\\A]\r\n\"v\"=dword:3\r\n", nullptr,
       u"[HKCU\\A]\r\n\"v\"=dword:2\r\n", "[-HKCU\\A]\r\n", {"A"},
       "ERROR - Could not read from key HKCU\\\\A value v for purpose of creating UNDO REG File\r\n"
       "Error creating or opening key \\A: " + Show(SystemErrorText(kRegBadPathname)) + "\r\n"},
      // A value changed since the load: the undo text records what the merge
      // replaced, not what the load saw.
      {__LINE__, u"[HKCU\\K]\r\n\"v\"=\"old\"\r\n", u"[HKCU\\K]\r\n\"v\"=\"file\"\r\n",
       [](Registry& r) { SetValue(r, kCU, u"K", u"v", {kRegSz, StringBytes(u"newer")}); },
       u"[HKCU\\K]\r\n\"v\"=\"file\"\r\n", "[HKCU\\K]\r\n\"v\"=\"newer\"\r\n", {"K"}, ""},
      // Deleting a value that the key did not hold at the load changes
      // nothing, unless the value came after the load.
      {__LINE__, u"[HKCU\\K]\r\n\"a\"=\"x\"\r\n", u"[HKCU\\K]\r\n\"v\"=-\r\n", nullptr,
       u"[HKCU\\K]\r\n\"a\"=\"x\"\r\n", "", {}, ""},
      {__LINE__, u"[HKCU\\K]\r\n\"a\"=\"x\"\r\n", u"[HKCU\\K]\r\n\"v\"=-\r\n",
       [](Registry& r) { SetValue(r, kCU, u"K", u"v", {kRegSz, StringBytes(u"late")}); },
       u"[HKCU\\K]\r\n\"a\"=\"x\"\r\n", "[HKCU\\K]\r\n\"v\"=\"late\"\r\n", {"K"}, ""},
      // A deletion, then a row that writes back the data the load saw: the
      // value is written again, not left alone as SAME.
      {__LINE__, u"[HKCU\\K]\r\n\"v\"=\"old\"\r\n", u"[HKCU\\K]\r\n\"v\"=-\r\n\"v\"=\"old\"\r\n", nullptr,
       u"[HKCU\\K]\r\n\"v\"=\"old\"\r\n", "[HKCU\\K]\r\n\"v\"=\"old\"\r\n", {"K", "K"}, ""},
      {__LINE__, u"[HKCU\\K]\r\n\"v\"=\"old\"\r\n", u"[-HKCU\\K]\r\n[HKCU\\K]\r\n\"v\"=\"old\"\r\n", nullptr,
       u"[HKCU\\K]\r\n\"v\"=\"old\"\r\n",
       "[-HKCU\\K]\r\n[HKCU\\K]\r\n\"v\"=\"old\"\r\n\r\n[HKCU\\K]\r\n\"v\"=\"old\"\r\n", {"K"}, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "case at line " << c.line);
    const std::u16string header = u"Windows Registry Editor Version 5.00\r\n\r\n";
    FaultyRegistry registry;
    ASSERT_TRUE(LoadBaselineText(header + std::u16string(c.before), registry.memory(), nullptr));
    EntryStore store;
    RecordingReport report(store);
    ASSERT_EQ(RunLoadText(header + std::u16string(c.file), u"f.reg", &registry, report).outcome, LoadOutcome::Normal);
    if (c.after_load) c.after_load(registry.memory());
    std::vector<std::string> writes;
    registry.observer = [&](FaultyRegistry::Op op, std::u16string_view path) {
      if (op == FaultyRegistry::kSet || op == FaultyRegistry::kDelete) writes.push_back(Show(path));
    };
    UndoText undo;
    std::u16string errors;
    MergeCheckedRows(store, registry, undo, errors);
    registry.observer = nullptr;
    MemoryRegistry expected;
    ASSERT_TRUE(LoadBaselineText(header + std::u16string(c.after), expected, nullptr));
    EXPECT_EQ(DumpRegistry(registry.memory(), kCU, u""), DumpRegistry(expected, kCU, u""));
    EXPECT_EQ(Show(undo.text().substr(kUndoHeader.size())), c.undo);
    EXPECT_EQ(writes, c.writes);
    EXPECT_EQ(Show(errors), c.errors);
  }
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

// Each merge's error log bears its undo file's time and counter.
TEST(Merge, TwoMergesLeaveTwoUndoFiles) {
  Fixture f;
  MemoryRegistry registry;
  Add(f.store, Row(u"HKEY_NOWHERE", u"MISSING", u"K", u"v", u"REG_SZ", u"x"));  // fails both times
  Add(f.store, Row(u"HKCU", u"MISSING", u"K", u"a", u"REG_SZ", u"1"));
  const MergeResult first = f.Run(registry);
  Add(f.store, Row(u"HKCU", u"SAME", u"K", u"a", u"REG_SZ", u"2"));
  const MergeResult second = f.Run(registry);
  ASSERT_TRUE(first.undo_saved && second.undo_saved);
  EXPECT_NE(first.undo_path, second.undo_path);  // within one second: a counter is added
  for (const MergeResult* result : {&first, &second}) {
    const std::string undo = std::filesystem::path(result->undo_path).filename().string();
    EXPECT_EQ(std::filesystem::path(result->error_log_path).filename().string(),
              "hivemend_error_log_" + undo.substr(14, undo.size() - 18) + ".log");
  }
  EXPECT_EQ(f.dir.Files().size(), 4u);
  EXPECT_EQ(UndoBody(first.undo_path), "[-HKCU\\K]\r\n");
  EXPECT_EQ(UndoBody(second.undo_path), "[HKCU\\K]\r\n\"a\"=\"1\"\r\n");
}

// Undo first: when the undo file cannot be saved completely, the registry and
// the list stay as they were and no file carries an undo file's name.
TEST(Merge, NothingIsWrittenWhenTheUndoFileCannotBeSaved) {
  struct Case {
    const char* what;
    std::function<std::u16string(const TempDir&)> folder;
    std::optional<std::uint64_t> write_limit;
  } cases[] = {
      {"no history folder", [](const TempDir&) { return std::u16string(); }, std::nullopt},
      {"a folder below a regular file",
       [](const TempDir& dir) {
         WriteBytes(dir.path() / "file", "x");
         return (dir.path() / "file" / "history").u16string();
       },
       std::nullopt},
      {"a write that fails half-way", [](const TempDir& dir) { return dir.u16(); }, 100},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    EntryStore store;
    RecordingUi ui;
    MemoryRegistry registry;
    SetValue(registry, kCU, u"K", u"a", {kRegSz, StringBytes(u"old")});
    Add(store, Row(u"HKCU", u"CHANGED", u"K", u"a", u"REG_SZ", u"new"));
    Add(store, Row(u"HKCU", u"MISSING", u"New", u"b", u"REG_SZ", u"x"));
    Add(store, Row(u"HKCU", u"CHANGED TYPE", u"K", u"", u"DELETE KEY"));
    SetWriteFailureForTesting(c.write_limit);
    const MergeResult result = RunMerge(store, registry, ui, [&] { return c.folder(dir); });
    SetWriteFailureForTesting(std::nullopt);
    EXPECT_TRUE(result.stopped);
    EXPECT_FALSE(result.undo_saved);
    EXPECT_EQ(store.size(), 3u);
    EXPECT_EQ(GetValue(registry, kCU, u"K", u"a"), (Value{kRegSz, StringBytes(u"old")}));
    EXPECT_FALSE(KeyExists(registry, kCU, u"New"));
    ASSERT_EQ(ui.shown.size(), 1u);
    EXPECT_EQ(ui.shown[0].kind, Kind::UndoFileFailed);
    EXPECT_EQ(Show(ui.shown[0].text), "ERROR Writing the REG undo file to disk!");
    for (const auto& file : dir.Files()) EXPECT_EQ(file.filename().string(), "file");
    EXPECT_EQ(registry.OpenHandles(), 0u);
  }
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

// The console merges through a registry that keeps keys open: its load opens
// each key for writing too, and the merge that follows opens none again, nor
// asks when a key last changed (its rows were read just before).
TEST(Merge, ALoadAndItsMergeThroughOneKeepingRegistryOpenEachKeyOnce) {
  FaultyRegistry registry;
  ASSERT_NO_FATAL_FAILURE(SetValue(registry.memory(), kCU, u"A", u"x", {kRegDword, {1, 0, 0, 0}}));
  ASSERT_NO_FATAL_FAILURE(SetValue(registry.memory(), kCU, u"A\\Deep", u"x", {kRegDword, {1, 0, 0, 0}}));
  std::map<std::string, int> opens;
  std::map<std::string, int> merge_reads;  // keys the merge enumerates or asks the information of
  bool merging = false;
  registry.observer = [&](FaultyRegistry::Op op, std::u16string_view path) {
    if (op == FaultyRegistry::kOpen) ++opens[Show(path)];
    if (op == FaultyRegistry::kEnumerate && merging) ++merge_reads[Show(path)];
  };
  const std::vector<std::string> before = DumpRegistry(registry.memory(), kCU, u"");
  EntryStore store;
  UndoText undo;
  std::u16string errors;
  {
    KeyKeepingRegistry keeping(registry);
    RecordingReport report(store);
    ASSERT_EQ(RunLoadText(u"Windows Registry Editor Version 5.00\r\n[HKCU\\A]\r\n\"x\"=dword:2\r\n\"y\"=\"1\"\r\n"
                          u"[HKCU\\A\\Deep]\r\n\"x\"=-\r\n[-HKCU\\A\\Deep]\r\n[HKCU\\A]\r\n\"z\"=\"2\"\r\n",
                          u"f.reg", &keeping, report, kKeyRead | kKeyWrite)
                  .outcome,
              LoadOutcome::Normal);
    merging = true;
    EXPECT_EQ(MergeCheckedRows(store, keeping, undo, errors, RowsRead::JustBefore), 5u);
    merging = false;
    EXPECT_EQ(Show(errors), "");
  }
  EXPECT_EQ(registry.memory().OpenHandles(), 0u);
  // Each key once for reading and writing (A's second key line and the merge
  // find it open) and once for reading only (listing the deleted subtree).
  // Without keeping: four times each.
  EXPECT_EQ(opens, (std::map<std::string, int>{{"A", 2}, {"A\\Deep", 2}}));
  // A is listed once, for the spelling of the subtree to delete, which is read
  // for the undo file; no key is asked when it last changed (that is one more
  // call for each key).
  EXPECT_EQ(merge_reads, (std::map<std::string, int>{{"A", 1}, {"A\\Deep", 4}}));
  EXPECT_EQ(GetValue(registry.memory(), kCU, u"A", u"x"), (Value{kRegDword, {2, 0, 0, 0}}));
  EXPECT_FALSE(KeyExists(registry.memory(), kCU, u"A\\Deep"));
  // And the undo text still takes it all back.
  EntryStore undo_store;
  RecordingReport undo_report(undo_store);
  ASSERT_EQ(RunLoadText(undo.text(), u"undo.reg", &registry, undo_report).outcome, LoadOutcome::Normal);
  UndoText ignored;
  MergeCheckedRows(undo_store, registry, ignored, errors);
  EXPECT_EQ(Show(errors), "");
  EXPECT_EQ(DumpRegistry(registry.memory(), kCU, u""), before);
}

}  // namespace
}  // namespace hivemend::test
