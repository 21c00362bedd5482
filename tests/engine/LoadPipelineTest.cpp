// Whole loads from files: what the window is told, in which order, for every
// way a load ends.
#include <gtest/gtest.h>

#include <fstream>
#ifndef _WIN32
#include <unistd.h>
#endif

#include "engine/LoadPipeline.h"
#include "platform/MemoryRegistry.h"
#include "platform/ForwardingRegistry.h"
#include "tests/LoadRecorder.h"
#include "tests/RegistryValues.h"
#include "tests/TestSupport.h"

namespace hivemend {
namespace {

using test::Show;

using test::RecordingReport;

std::vector<std::string> Shown(const std::vector<std::u16string>& events) {
  std::vector<std::string> out;
  for (const auto& e : events) out.push_back(Show(e));
  return out;
}

class LoadPipelineTest : public ::testing::Test {
 protected:
  std::u16string Write(const std::string& name, const std::string& bytes) {
    test::WriteBytes(dir_.path() / name, bytes);
    return dir_.File(name);
  }
  test::TempDir dir_;
  MemoryRegistry registry_;
};

TEST_F(LoadPipelineTest, AnEmptyFileEndsNormallyWithNothingCounted) {
  const std::u16string path = Write("empty.reg", "");
  RecordingReport report;
  EXPECT_EQ(RunLoad(path, &registry_, report).outcome, LoadOutcome::Normal);
  EXPECT_EQ(Shown(report.events),
            (std::vector<std::string>{"ended", "0:Read 1 lines from " + Show(path), "1:0 matched, 0 differ, 0 do not exist"}));
}

TEST_F(LoadPipelineTest, ProgressThenCompletionForOneHundredTwentyValues) {
  std::u16string text = u"Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Software\\T]\r\n";
  for (int i = 0; i < 120; ++i) text += u"\"v" + Decimal(i) + u"\"=dword:1\r\n";
  const std::u16string path = Write("120.reg", test::Utf16File(text));
  RecordingReport report;
  const LoadSummary s = RunLoad(path, &registry_, report);
  EXPECT_EQ(s.outcome, LoadOutcome::Normal);
  EXPECT_EQ(report.entries.size(), 120u);
  std::vector<std::string> status;
  for (const auto& e : Shown(report.events)) {
    if (e.rfind("row:", 0) != 0) status.push_back(e);
  }
  const std::string p = Show(path);
  // The 50th handled line is the 49th value: progress comes before its row.
  EXPECT_EQ(status, (std::vector<std::string>{"0:Reading line 50 of 122", "1:0 matched, 0 differ, 48 do not exist",
                                              "0:Reading line 100 of 122", "1:0 matched, 0 differ, 98 do not exist",
                                              "ended", "0:Read 122 lines from " + p,
                                              "1:0 matched, 0 differ, 120 do not exist"}));
}

TEST_F(LoadPipelineTest, FailuresEndWithTheirTextAndNoCompletion) {
  struct Case {
    std::string name;
    std::string bytes;
    std::vector<std::string> events;
    int line;
  } cases[] = {
      {"regedit3.reg", "REGEDIT\r\nHKEY_CLASSES_ROOT\\x = y\r\n", {"0:No regedit version on line 1", "ended"}, __LINE__},
      {"hex4.reg", "Windows Registry Editor Version 5.00\r\n[HKCU\\x]\r\n\"a\"=\"b\"\r\n\"x\"=hex(123456789):01\r\n",
       {"row:a", "box:ERROR: Parse error on line 3 - unknown hexadecimal type specification", "ended"}, __LINE__},
      {"quote.reg", "Windows Registry Editor Version 5.00\r\n[HKCU\\x]\r\n\"a=1\r\n\"b\"=\"c\"\r\n",
       {"0:Parsing issue on line 2", "ended"}, __LINE__},
  };
  for (const Case& c : cases) {
    RecordingReport report;
    EXPECT_EQ(RunLoad(Write(c.name, c.bytes), &registry_, report).outcome, LoadOutcome::Error) << "case at line " << c.line;
    EXPECT_EQ(Shown(report.events), c.events) << "case at line " << c.line;
  }
}

// The message names the file and the system's reason.
TEST_F(LoadPipelineTest, AFileThatCannotBeOpenedIsNamedWithTheReason) {
  struct Case {
    std::u16string path;
    std::string reason;
    int line;
  } cases[] = {
      {dir_.File("nonexistent.reg"), "The file does not exist.", __LINE__},
      {dir_.File("no-folder/x.reg"), "The file does not exist.", __LINE__},
      {dir_.u16(), "This is a folder, not a file.", __LINE__},
  };
  for (const Case& c : cases) {
    RecordingReport report;
    EXPECT_EQ(RunLoad(c.path, &registry_, report).outcome, LoadOutcome::Error) << "case at line " << c.line;
    EXPECT_EQ(Shown(report.events),
              (std::vector<std::string>{"box:This file could not be loaded!\n\n" + Show(c.path) + "\n" + c.reason,
                                        "ended"}))
        << "case at line " << c.line;
  }
  const std::u16string path = Write("busy.reg", "REGEDIT4\r\n");
  {
    // Held open for writing: Windows refuses a reader that shares no writing.
    std::ofstream writer(std::filesystem::path(path), std::ios::app);
    RecordingReport report;
    const LoadSummary summary = RunLoad(path, &registry_, report);
#ifdef _WIN32
    EXPECT_EQ(summary.outcome, LoadOutcome::Error);
    EXPECT_EQ(Shown(report.events).at(0),
              "box:This file could not be loaded!\n\n" + Show(path) + "\nAnother program is using the file.");
#else
    EXPECT_EQ(summary.outcome, LoadOutcome::Normal);
#endif
  }
#ifndef _WIN32
  if (geteuid() != 0) {  // the superuser reads every file
    std::filesystem::permissions(std::filesystem::path(path), std::filesystem::perms::none);
    RecordingReport report;
    EXPECT_EQ(RunLoad(path, &registry_, report).outcome, LoadOutcome::Error);
    EXPECT_EQ(Shown(report.events).at(0), "box:This file could not be loaded!\n\n" + Show(path) + "\nAccess is denied.");
  }
#endif
}

TEST_F(LoadPipelineTest, AValueLineWithoutEqualsStopsButEndsNormally) {
  const std::u16string path =
      Write("stop.reg", "Windows Registry Editor Version 5.00\r\n[HKCU\\x]\r\n\"a\"=\"1\"\r\n\"b\" \"2\"\r\n\"c\"=\"3\"\r\n");
  RecordingReport report;
  EXPECT_EQ(RunLoad(path, &registry_, report).outcome, LoadOutcome::Normal);
  EXPECT_EQ(Shown(report.events),
            (std::vector<std::string>{"row:a", "0:Parsing issue on line 3", "ended", "0:Read 3 lines from " + Show(path),
                                      "1:0 matched, 0 differ, 1 do not exist"}));
}

TEST_F(LoadPipelineTest, CancellationKeepsTheRowsAndSaysHowFarItRead) {
  const std::u16string path = Write(
      "cancel.reg", "Windows Registry Editor Version 5.00\r\n[HKCU\\x]\r\n\"a\"=\"1\"\r\n\"b\"=\"2\"\r\n\"c\"=\"3\"\r\n");
  RecordingReport report;
  report.cancel_after = 2;
  EXPECT_EQ(RunLoad(path, &registry_, report).outcome, LoadOutcome::Normal);
  EXPECT_EQ(Shown(report.events),
            (std::vector<std::string>{"row:a", "ended", "0:Loading cancelled: read 3 of 5 lines",
                                      "1:0 matched, 0 differ, 1 do not exist"}));
}

// The same values written in every encoding and both versions: the same rows.
// Version 4 files hold hex(2) and hex(7) data as text in the file's narrow
// encoding, version 5 files as UTF-16.
TEST_F(LoadPipelineTest, EncodingsAndVersionsDecodeToTheSameRows) {
  const std::string v5_hex = "\"e\"=hex(2):e9,00,ac,20,00,00\r\n\"m\"=hex(7):61,00,00,00,00,00\r\n";
  const std::string ansi = "[HKCU\\x]\r\n\"caf\xE9\" = \"\x80uro\"\r\n";
  const std::string utf8 = "[HKCU\\x]\r\n\"caf\xC3\xA9\" = \"\xE2\x82\xACuro\"\r\n";
  const std::u16string v5_utf16 = u"Windows Registry Editor Version 5.00\r[HKCU\\x]\r\"caf\u00E9\"\t=\t\"\u20ACuro\"\r"
                                  u"\"e\"=hex(2):e9,00,ac,20,00,00\r\"m\"=hex(7):61,00,00,00,00,00\r";
  const std::string v5 = "Windows Registry Editor Version 5.00\r\n";
  const std::vector<std::pair<std::string, std::string>> files = {
      {"v5-ansi.reg", v5 + ansi + v5_hex},
      {"v5-utf16.reg", test::Utf16File(v5_utf16)},
      {"v5-utf8.reg", "\xEF\xBB\xBF" + v5 + utf8 + v5_hex},
      {"v4-ansi.reg", "REGEDIT4\r\n" + ansi + "\"e\"=hex(2):e9,80,00\r\n\"m\"=hex(7):61,00,00\r\n"},
      {"v4-utf8.reg", "\xEF\xBB\xBFregedit4\r\n" + utf8 + "\"e\"=hex(2):c3,a9,e2,82,ac,00\r\n\"m\"=hex(7):61,00,00\r\n"},
      {"v4-utf16.reg", test::Utf16File(u"REGEDIT4\r\n" + v5_utf16.substr(v5_utf16.find(u'\r') + 1))},
  };
  std::vector<std::string> first;
  for (const auto& [name, bytes] : files) {
    RecordingReport report;
    RunLoad(Write(name, bytes), &registry_, report, Windows1252ToUtf16);
    std::vector<std::string> rows;
    for (const ChangeEntry& e : report.entries) {
      std::string row;
      for (int c = 0; c < 7; ++c) row += Show(e.ColumnText(c)) + "|";
      row += testing::PrintToString(std::vector<std::uint8_t>(e.file_bytes().begin(), e.file_bytes().end()));
      rows.push_back(row);
    }
    ASSERT_EQ(rows.size(), 3u) << name;
    EXPECT_EQ(rows[0].rfind("HKCU|MISSING|x|caf\xC3\xA9|REG_SZ|\xE2\x82\xACuro||", 0), 0u) << rows[0] << name;
    if (first.empty()) first = rows;
    EXPECT_EQ(rows, first) << name;
  }
}

// The comparison keeps a key open between the values of one key: values of a
// key that comes back, of a key that is missing in between, and of keys that
// differ only in case still get their own statuses, and no key stays open.
TEST_F(LoadPipelineTest, ValuesOfKeysThatComeAndGoAreComparedAgainstTheirOwnKey) {
  test::SetValue(registry_, RegRoot::CurrentUser, u"Software\\A", u"x", {kRegDword, test::DwordBytes(1)});
  test::SetValue(registry_, RegRoot::CurrentUser, u"Software\\B", u"x", {kRegDword, test::DwordBytes(2)});
  const std::u16string path = Write("keys.reg", test::Utf16File(
      u"Windows Registry Editor Version 5.00\r\n"
      u"[HKEY_CURRENT_USER\\Software\\A]\r\n\"x\"=dword:1\r\n"
      u"[HKEY_CURRENT_USER\\Software\\B]\r\n\"x\"=dword:1\r\n"
      u"[HKEY_CURRENT_USER\\Software\\Gone]\r\n\"x\"=dword:1\r\n"
      u"[HKEY_CURRENT_USER\\Software\\A]\r\n\"x\"=dword:2\r\n\"y\"=dword:1\r\n"
      u"[HKEY_CURRENT_USER\\software\\b]\r\n\"x\"=dword:2\r\n"
      u"[HKEY_CURRENT_USER\\Software\\Gone]\r\n\"x\"=-\r\n"));
  struct Ended : RecordingReport {
    explicit Ended(MemoryRegistry& r) : registry(r) {}
    void LoadEnded() override { open_at_end = registry.OpenHandles(); }
    MemoryRegistry& registry;
    size_t open_at_end = 99;
  } report(registry_);
  ASSERT_EQ(RunLoad(path, &registry_, report).outcome, LoadOutcome::Normal);
  std::vector<std::string> statuses;
  for (const auto& e : report.entries) statuses.push_back(Show(e.key().path + u"|" + std::u16string(e.name()) + u"|" + std::u16string(StatusText(e.status()))));
  EXPECT_EQ(statuses, (std::vector<std::string>{"Software\\A|x|SAME", "Software\\B|x|CHANGED",
                                                "Software\\Gone|x|MISSING", "Software\\A|x|CHANGED",
                                                "Software\\A|y|MISSING", "software\\b|x|SAME",
                                                "Software\\Gone|x|DELETE"}));
  EXPECT_EQ(report.open_at_end, 0u);
  EXPECT_EQ(registry_.OpenHandles(), 0u);
}

// Under Wine every registry call is a round trip to the server. A load opens
// and closes each existing key once and does not ask for keys below a key it
// found missing. It asks for each row's value, except where the key holds fewer
// values than the rows of its key line: then it reads the key's counts and
// each of its values once.
TEST_F(LoadPipelineTest, RegistryCallsPerValueAndPerKey) {
  struct CountingRegistry : ForwardingRegistry {
    using ForwardingRegistry::ForwardingRegistry;
    long OpenKey(RegRoot root, std::u16string_view path, std::uint32_t access, Handle* key) override {
      opened.emplace_back(path);
      return ForwardingRegistry::OpenKey(root, path, access, key);
    }
    long QueryValue(Handle key, std::u16string_view name, std::uint32_t* type, std::uint8_t* data,
                    std::uint32_t* size) override {
      ++queries;
      return ForwardingRegistry::QueryValue(key, name, type, data, size);
    }
    long QueryKeyInfo(Handle key, RegKeyInfo* info) override {
      ++infos;
      return ForwardingRegistry::QueryKeyInfo(key, info);
    }
    long EnumValue(Handle key, std::uint32_t index, std::u16string* name, std::uint32_t* type,
                   std::vector<std::uint8_t>* data) override {
      ++enums;
      return ForwardingRegistry::EnumValue(key, index, name, type, data);
    }
    void CloseKey(Handle key) override {
      ++closes;
      ForwardingRegistry::CloseKey(key);
    }
    std::vector<std::u16string> opened;
    int queries = 0, infos = 0, enums = 0, closes = 0;
  };
  ASSERT_NO_FATAL_FAILURE(test::SetValue(registry_, RegRoot::CurrentUser, u"Present", u"A", {kRegSz, {u8'1', 0, 0, 0}}));
  for (const char16_t* name : {u"x", u"y", u"z"}) {
    ASSERT_NO_FATAL_FAILURE(test::SetValue(registry_, RegRoot::CurrentUser, u"Full", name, {kRegDword, {1, 0, 0, 0}}));
  }
  CountingRegistry counting(registry_);
  const std::u16string path = Write(
      "calls.reg", test::Utf16File(u"Windows Registry Editor Version 5.00\r\n[HKCU\\Present]\r\n\"a\"=\"1\"\r\n"
                                   u"\"b\"=dword:1\r\n@=-\r\n[HKCU\\Gone]\r\n\"c\"=\"1\"\r\n[HKCU\\Gone\\Sub]\r\n\"d\"=-\r\n"
                                   u"[HKCU\\gONE\\\\Sub\\Deeper]\r\n\"e\"=\"1\"\r\n[HKCU\\GoneNot]\r\n\"f\"=\"1\"\r\n"
                                   u"[HKCU\\Present]\r\n\"g\"=\"1\"\r\n[HKCU\\Full]\r\n\"x\"=dword:1\r\n\"Y\"=dword:2\r\n"));
  RecordingReport report;
  RunLoad(path, &counting, report);
  std::vector<std::string> statuses;
  for (const auto& e : report.entries) statuses.push_back(Show(std::u16string(e.name()) + u" " + std::u16string(StatusText(e.status()))));
  EXPECT_EQ(statuses, (std::vector<std::string>{"a SAME", "b MISSING", "@ MISSING", "c MISSING", "d DELETE",
                                                "e MISSING", "f MISSING", "g MISSING", "x SAME", "Y CHANGED"}));
  EXPECT_EQ(counting.opened, (std::vector<std::u16string>{u"Present", u"Gone", u"GoneNot", u"Present", u"Full"}));
  EXPECT_EQ(counting.infos, 2);    // Present (3 rows) and Full (2 rows), not Present's one-row line
  EXPECT_EQ(counting.enums, 1);    // Present holds one value for its three rows
  EXPECT_EQ(counting.queries, 3);  // g, and x and Y: Full holds more values than its rows
  EXPECT_EQ(counting.closes, 3);
  EXPECT_EQ(registry_.OpenHandles(), 0u);
}

}  // namespace
}  // namespace hivemend
