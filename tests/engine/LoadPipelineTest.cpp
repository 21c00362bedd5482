// Whole loads from files: what the window is told, in which order, for every
// way a load ends.
#include <gtest/gtest.h>

#include "engine/LoadPipeline.h"
#include "platform/MemoryRegistry.h"
#include "tests/TestSupport.h"

namespace hivemend {
namespace {

using test::Show;

class RecordingReport : public LoadReport {
 public:
  void AddEntry(ChangeEntry&& e) override {
    events.push_back(u"row:" + std::u16string(e.name()));
    entries.push_back(std::move(e));
  }
  void SetStatusText(int part, const std::u16string& text) override {
    events.push_back((part == 0 ? u"0:" : u"1:") + text);
  }
  void ShowError(const std::u16string& text) override { events.push_back(u"box:" + text); }
  bool CancelRequested() override { return ++polls > cancel_after; }
  void LoadEnded() override { events.push_back(u"ended"); }

  int polls = 0;
  int cancel_after = 1 << 30;
  std::vector<std::u16string> events;
  std::vector<ChangeEntry> entries;
};

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
  EXPECT_EQ(status, (std::vector<std::string>{"0:Reading line 50 of " + p, "1:0 matched, 0 differ, 48 do not exist",
                                              "0:Reading line 100 of " + p, "1:0 matched, 0 differ, 98 do not exist",
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
      {"regedit4.reg", "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\x]\r\n\"a\"=\"b\"\r\n",
       {"0:No regedit version on line 1", "ended"}, __LINE__},
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
  RecordingReport missing;
  EXPECT_EQ(RunLoad(dir_.File("nonexistent.reg"), &registry_, missing).outcome, LoadOutcome::Error);
  EXPECT_EQ(Shown(missing.events), (std::vector<std::string>{"box:This file could not be loaded!", "ended"}));
  RecordingReport folder;
  EXPECT_EQ(RunLoad(dir_.path().u16string(), &registry_, folder).outcome, LoadOutcome::Error);
  EXPECT_EQ(Shown(folder.events)[0], "box:This file could not be loaded!");
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

TEST_F(LoadPipelineTest, CancellationKeepsTheRowsAndShowsTheCompletion) {
  const std::u16string path = Write(
      "cancel.reg", "Windows Registry Editor Version 5.00\r\n[HKCU\\x]\r\n\"a\"=\"1\"\r\n\"b\"=\"2\"\r\n\"c\"=\"3\"\r\n");
  RecordingReport report;
  report.cancel_after = 2;
  EXPECT_EQ(RunLoad(path, &registry_, report).outcome, LoadOutcome::Normal);
  EXPECT_EQ(Shown(report.events),
            (std::vector<std::string>{"row:a", "ended", "0:Read 3 lines from " + Show(path),
                                      "1:0 matched, 0 differ, 1 do not exist"}));
}

TEST_F(LoadPipelineTest, EncodingsDecodeToTheSameRows) {
  const std::string ascii =
      "Windows Registry Editor Version 5.00\r\n[HKCU\\x]\r\n\"caf\xE9\"=\"\x80uro\"\r\n";
  const std::u16string text = u"Windows Registry Editor Version 5.00\r[HKCU\\x]\r\"caf\u00E9\"=\"\u20ACuro\"\r";
  for (const auto& [name, bytes] : std::vector<std::pair<std::string, std::string>>{
           {"ansi.reg", ascii}, {"utf16.reg", test::Utf16File(text)}, {"bom8.reg", "\xEF\xBB\xBF" + ascii}}) {
    RecordingReport report;
    RunLoad(Write(name, bytes), &registry_, report, Windows1252ToUtf16);
    ASSERT_EQ(report.entries.size(), 1u) << name;
    EXPECT_EQ(Show(report.entries[0].name()), "caf\xC3\xA9") << name;
    EXPECT_EQ(Show(report.entries[0].file_text()), "\xE2\x82\xACuro") << name;
  }
}

// The comparison keeps a key open between the values of one key: values of a
// key that comes back, of a key that is missing in between, and of keys that
// differ only in case still get their own statuses, and no key stays open.
TEST_F(LoadPipelineTest, ValuesOfKeysThatComeAndGoAreComparedAgainstTheirOwnKey) {
  auto set_dword = [&](std::u16string_view path, std::u16string_view name, std::uint32_t data) {
    RegKey key(registry_);
    ASSERT_EQ(key.Create(RegRoot::CurrentUser, path, kKeyWrite), kRegOk);
    ASSERT_EQ(key.Set(name, kRegDword, reinterpret_cast<const std::uint8_t*>(&data), 4), kRegOk);
  };
  set_dword(u"Software\\A", u"x", 1);
  set_dword(u"Software\\B", u"x", 2);
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

}  // namespace
}  // namespace hivemend
