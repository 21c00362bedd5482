// hivemend-cli merge, end to end through the console front end: files in,
// undo file, error log, printed result, exit code and the final state.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>

#include "engine/Baseline.h"
#include "platform/File.h"
#include "platform/SystemText.h"
#include "MergeTestSupport.h"
#include "tests/CliRun.h"
#include "tests/RegistryDump.h"

namespace hivemend::test {
namespace {

void WriteReg(const std::filesystem::path& path, std::u16string_view text) {
  std::error_code ec;
  std::filesystem::remove(path, ec);
  ASSERT_TRUE(WriteUnicodeTextFile(path.u16string(), text));
}

// The state a .REG file describes, read through the program's own loader.
std::vector<MemoryRegistry::Key> StateOf(const std::filesystem::path& path) {
  MemoryRegistry registry;
  std::u16string problem;
  EXPECT_TRUE(LoadBaseline(path.u16string(), registry, &problem)) << Show(problem);
  return registry.Snapshot();
}

bool SameState(const std::vector<MemoryRegistry::Key>& a, const std::vector<MemoryRegistry::Key>& b) {
  // Keys without values do not matter to a value's state.
  auto values = [](const std::vector<MemoryRegistry::Key>& keys) {
    std::vector<std::tuple<RegRoot, std::u16string, std::u16string, std::uint32_t, std::vector<std::uint8_t>>> out;
    for (const auto& key : keys)
      for (const auto& v : key.values) out.emplace_back(key.root, FoldedCopy(key.path), FoldedCopy(v.name), v.type, v.data);
    return out;
  };
  return values(a) == values(b);
}

constexpr std::u16string_view kBaseline =
    u"Windows Registry Editor Version 5.00\r\n\r\n"
    u"[HKEY_CURRENT_USER\\Software\\Demo]\r\n"
    u"\"Same\"=\"x\"\r\n"
    u"\"Changed\"=dword:00000001\r\n"
    u"\"Doomed\"=hex:01,02\r\n"
    u"\"Typed\"=\"1\"\r\n"
    u"@=\"old default\"\r\n";

constexpr std::u16string_view kChanges =
    u"Windows Registry Editor Version 5.00\r\n\r\n"
    u"[HKCU\\Software\\Demo]\r\n"
    u"\"Same\"=\"x\"\r\n"
    u"\"Changed\"=dword:00000002\r\n"
    u"\"Doomed\"=-\r\n"
    u"\"Typed\"=dword:00000001\r\n"
    u"\"New\"=\"C:\\\\Temp\\\\\\\"q\\\"\"\r\n"
    u"@=\"new default\"\r\n"
    u"[HKLM\\Software\\Other]\r\n"
    u"\"Bin\"=hex(0):0a\r\n";

class CliMerge : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(WriteReg(dir_.path() / "baseline.reg", kBaseline));
    ASSERT_NO_FATAL_FAILURE(WriteReg(dir_.path() / "changes.reg", kChanges));
  }
  std::u16string P(const char* name) const { return (dir_.path() / name).u16string(); }
  // args, then the baseline, this test's history folder and, when named, the
  // state file to write, all in the test's folder.
  CliRun Run(std::vector<std::u16string> args, const char* baseline, const char* state_out = nullptr) const {
    args.insert(args.end(), {u"--baseline", P(baseline), u"--history", History().u16string()});
    if (state_out) args.insert(args.end(), {u"--state-out", P(state_out)});
    return Cli(args);
  }
  std::filesystem::path History() const { return dir_.path() / "history"; }
  std::vector<std::filesystem::path> HistoryFiles() const {
    std::vector<std::filesystem::path> files;
    if (std::filesystem::exists(History()))
      for (const auto& e : std::filesystem::directory_iterator(History())) files.push_back(e.path());
    std::sort(files.begin(), files.end());
    return files;
  }

  TempDir dir_;
};

TEST_F(CliMerge, MergesAllRowsAndItsUndoFileBringsTheBaselineBack) {
  const CliRun run = Run({u"merge", P("changes.reg")}, "baseline.reg", "after.reg");
  ASSERT_EQ(run.code, 0) << run.out << run.err;
  const std::vector<std::filesystem::path> files = HistoryFiles();
  ASSERT_EQ(files.size(), 1u);
  EXPECT_EQ(run.out, "Undo file: " + files[0].string() + "\nError log: (none)\nChanges successfully applied!\n");

  // The final state holds exactly the file's changes over the baseline.
  MemoryRegistry expected;
  ASSERT_TRUE(LoadBaselineText(kBaseline, expected, nullptr));
  ASSERT_TRUE(LoadBaselineText(kChanges, expected, nullptr));
  EXPECT_TRUE(SameState(StateOf(dir_.path() / "after.reg"), expected.Snapshot()));

  // Merging the undo file into that state gives the baseline again.
  const CliRun undo = Run({u"merge", files[0].u16string()}, "after.reg", "undone.reg");
  ASSERT_EQ(undo.code, 0) << undo.out << undo.err;
  EXPECT_TRUE(SameState(StateOf(dir_.path() / "undone.reg"), StateOf(dir_.path() / "baseline.reg")));
  EXPECT_EQ(HistoryFiles().size(), 2u);
}

TEST_F(CliMerge, TheRuleChoosesTheRows) {
  struct Case {
    int line;
    const char16_t* rule;
    bool changed_written;  // "Changed" is CHANGED
    bool typed_written;    // "Typed" is CHANGED TYPE
    bool new_written;      // "New" is MISSING
  };
  const Case cases[] = {
      {__LINE__, u"changed", true, true, false},
      {__LINE__, u"missing", false, false, true},
      {__LINE__, u"ALL", true, true, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "case at line " << c.line);
    std::error_code ec;
    std::filesystem::remove(dir_.path() / "after.reg", ec);
    const CliRun run = Run({u"merge", P("changes.reg"), u"--rule", c.rule}, "baseline.reg", "after.reg");
    ASSERT_EQ(run.code, 0) << run.out << run.err;
    MemoryRegistry after;
    ASSERT_TRUE(LoadBaseline(P("after.reg"), after, nullptr));
    EXPECT_EQ(GetValue(after, RegRoot::CurrentUser, u"Software\\Demo", u"Changed"),
              (Value{kRegDword, DwordBytes(c.changed_written ? 2 : 1)}));
    EXPECT_EQ(GetValue(after, RegRoot::CurrentUser, u"Software\\Demo", u"Typed"),
              (c.typed_written ? Value{kRegDword, DwordBytes(1)} : Value{kRegSz, StringBytes(u"1")}));
    EXPECT_EQ(GetValue(after, RegRoot::CurrentUser, u"Software\\Demo", u"New").has_value(), c.new_written);
  }
}

TEST_F(CliMerge, FailuresGoToTheErrorLogAndTheExitCode) {
  ASSERT_NO_FATAL_FAILURE(WriteReg(dir_.path() / "bad.reg",
                                   u"Windows Registry Editor Version 5.00\r\n\r\n"
                                   u"[HKEY_NOWHERE\\K]\r\n\"v\"=dword:1\r\n"
                                   u"[HKCU\\K]\r\n\"w\"=dword:2\r\n"));
  const CliRun run = Run({u"merge", P("bad.reg")}, "baseline.reg", "after.reg");
  EXPECT_EQ(run.code, 1) << run.out << run.err;
  std::filesystem::path log;
  for (const auto& f : HistoryFiles()) {
    if (f.extension() == ".log") log = f;
  }
  ASSERT_FALSE(log.empty());
  const std::string failure =
      "ERROR - Did not write key HKEY_NOWHERE\\K value v: \"HKEY_NOWHERE\" is not a root key of the registry";
  const std::string text = Show(ReadUtf16File(log));
  EXPECT_TRUE(text.starts_with("Hivemend error log of the merge of ")) << text;
  EXPECT_NE(text.find("\r\nMerged file: " + (dir_.path() / "bad.reg").string() + "\r\n\r\n"), std::string::npos) << text;
  EXPECT_TRUE(text.ends_with(failure + "\r\n")) << text;
  EXPECT_NE(run.out.find("Error log: " + log.string() + "\n"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("The following errors were recorded to the error log file " + log.string() + ":\n\n" +
                         failure + "\n"),
            std::string::npos)
      << run.out;
  MemoryRegistry after;
  ASSERT_TRUE(LoadBaseline(P("after.reg"), after, nullptr));
  EXPECT_TRUE(GetValue(after, RegRoot::CurrentUser, u"K", u"w"));  // the other row was merged
}

// A hand-edited export whose last hex line lost its end: the key line it
// swallowed is read as itself, the values after it are merged, the lines that
// cannot be read are named and never written, and the merge exits with 1.
TEST_F(CliMerge, LinesThatCannotBeReadAreNamedAndNeverWritten) {
  ASSERT_NO_FATAL_FAILURE(WriteReg(dir_.path() / "cut.reg",
                                   u"Windows Registry Editor Version 5.00\r\n\r\n"
                                   u"[HKEY_CURRENT_USER\\Software\\A]\r\n\"bin\"=hex:01,02,\\\r\n"
                                   u"[HKEY_CURRENT_USER\\Software\\B]\r\n\"x\"=\"in B\"\r\n\"y\"=hex:01,\\\r\n\r\n"
                                   u"\"z\"=\"after\"\r\n"));
  const std::string named = "hivemend-cli: " + (dir_.path() / "cut.reg").string() +
                            ": line 4: the data goes on with a backslash, but line 5 starts a key\n"
                            "hivemend-cli: " + (dir_.path() / "cut.reg").string() +
                            ": line 7: the data goes on with a backslash, but line 9 starts a value\n";
  struct Case {
    int line;
    const char16_t* rule;
    bool logged;  // the rule checks the refused rows: the error log names them
  };
  for (const Case& c : {Case{__LINE__, u"all", true}, Case{__LINE__, u"missing", false}}) {
    SCOPED_TRACE(testing::Message() << "case at line " << c.line);
    std::error_code ec;
    std::filesystem::remove_all(History(), ec);
    std::filesystem::remove(dir_.path() / "after.reg", ec);
    const CliRun run = Run({u"merge", P("cut.reg"), u"--rule", c.rule}, "baseline.reg", "after.reg");
    EXPECT_EQ(run.code, 1) << run.out << run.err;
    EXPECT_EQ(run.err, named);
    EXPECT_EQ(run.out.find("value bin: line 4: the data goes on") != std::string::npos,
              c.logged)
        << run.out;
    MemoryRegistry after;
    ASSERT_TRUE(LoadBaseline(P("after.reg"), after, nullptr));
    EXPECT_EQ(GetValue(after, RegRoot::CurrentUser, u"Software\\B", u"x"), (Value{kRegSz, StringBytes(u"in B")}));
    EXPECT_EQ(GetValue(after, RegRoot::CurrentUser, u"Software\\B", u"z"), (Value{kRegSz, StringBytes(u"after")}));
    EXPECT_FALSE(GetValue(after, RegRoot::CurrentUser, u"Software\\B", u"y"));
    EXPECT_FALSE(GetValue(after, RegRoot::CurrentUser, u"Software\\A", u"bin"));
    EXPECT_FALSE(GetValue(after, RegRoot::CurrentUser, u"Software\\A", u"y"));
    RegKey a(after);  // the key line of A alone creates it
    EXPECT_EQ(a.Open(RegRoot::CurrentUser, u"Software\\A", kKeyRead), kRegOk);
  }
}

// Every way a checked row can be left out exits with 1, and the error log
// names the row; only "access denied" is a question of rights. The console
// runs against a registry in memory that fails where a case says.
TEST_F(CliMerge, ACheckedRowLeftOutForAnyReasonExitsWithOne) {
  using F = FaultyRegistry;
  const std::string refused_text = Show(SystemErrorText(kRegAccessDenied));
  const std::string invalid_text = Show(SystemErrorText(kRegInvalidParameter));
  const std::u16string long_key = u"Software\\" + std::u16string(256, u'k');
  const std::string long_key_log = "Software\\" + std::string(256, 'k');
  const std::string rights = "This account may not change the keys of ";
  struct Case {
    int line;
    std::u16string rows;  // after the header
    std::function<void(F&)> fault;
    int code;
    std::string message;           // a line of the output ("" for none)
    std::vector<std::string> log;  // lines of the error log, in order (none: no log)
    bool rights_question;          // the rows the account may not write were named
    bool changes;                  // the registry changes
  };
  const Case cases[] = {
      {__LINE__, u"[HKCU\\A]\r\n\"v\"=\"1\"\r\n", nullptr, 0, "Changes successfully applied!", {}, false, true},
      // A key name the registry refuses (error 87) is no question of rights:
      // the merge meets it and logs the system's text.
      {__LINE__, u"[HKCU\\" + long_key + u"]\r\n\"v\"=\"1\"\r\n", nullptr, 1,
       "1 of the 1 checked rows were not merged: they stay in the list, checked.",
       {"ERROR - Could not read from key HKCU\\" + long_key_log + " value v for purpose of creating UNDO REG File",
        "Error creating or opening key " + long_key_log + ": " + invalid_text},
       false, false},
      {__LINE__, u"[HKCU\\A]\r\n\"v\"=\"1\"\r\n",
       [](F& r) {
         r.FailOn(F::kOpen, u"A", kRegInvalidParameter);
         r.FailOn(F::kCreate, u"A", kRegInvalidParameter);
       },
       1, "", {"ERROR - Could not read from key HKCU\\A value v for purpose of creating UNDO REG File",
               "Error creating or opening key A: " + invalid_text}, false, false},
      {__LINE__, u"[-HKCU\\A]\r\n", [](F& r) { r.FailOn(F::kOpen, u"A", kRegInvalidParameter); }, 1, "",
       {"ERROR - Did not delete key HKCU\\A: it could not be read for the UNDO REG File (" + invalid_text + ")"},
       false, false},
      {__LINE__, u"[HKCU\\A]\r\n\"v\"=-\r\n", [](F& r) { r.FailOn(F::kOpen, u"A", kRegInvalidParameter); }, 1, "",
       {"ERROR - Could not read from key HKCU\\A value v for purpose of creating UNDO REG File",
        "Error creating or opening key A: " + invalid_text}, false, false},
      // Access denied, for some rows and for every row: named first, then left
      // out and logged; nothing is written when no other row remains.
      {__LINE__, u"[HKCU\\A]\r\n\"v\"=\"1\"\r\n[HKCU\\B]\r\n\"w\"=\"2\"\r\n",
       [](F& r) {
         ASSERT_NO_FATAL_FAILURE(SetValue(r.memory(), RegRoot::CurrentUser, u"A", u"x", {kRegDword, DwordBytes(1)}));
         r.ReadOnlyBelow(u"A");
       },
       1, rights + "1 of the 2 checked rows:",
       {"ERROR - Did not write key HKCU\\A value v: this account may not change that key"}, true, true},
      {__LINE__, u"[HKCU\\A]\r\n\"v\"=\"1\"\r\n[-HKCU\\A\\S]\r\n",
       [](F& r) {
         ASSERT_NO_FATAL_FAILURE(SetValue(r.memory(), RegRoot::CurrentUser, u"A\\S", u"x", {kRegDword, DwordBytes(1)}));
         r.ReadOnlyBelow(u"A");
       },
       1, "2 of the 2 checked rows were not merged: they stay in the list, checked.",
       {"ERROR - Did not write key HKCU\\A value v: this account may not change that key",
        "ERROR - Did not change key HKCU\\A\\S: this account may not change that key"},
       true, false},
      {__LINE__, u"[HKCU\\A]\r\n\"v\"=-\r\n",
       [](F& r) {
         ASSERT_NO_FATAL_FAILURE(SetValue(r.memory(), RegRoot::CurrentUser, u"A", u"v", {kRegDword, DwordBytes(1)}));
         r.FailOn(F::kOpen, u"A");
       },
       1, rights + "1 of the 1 checked rows:",
       {"ERROR - Did not write key HKCU\\A value v: this account may not change that key"}, true, false},
      // Refused, and failed while writing.
      {__LINE__, u"[HKEY_NOWHERE\\A]\r\n\"v\"=\"1\"\r\n", nullptr, 1, "",
       {"ERROR - Did not write key HKEY_NOWHERE\\A value v: \"HKEY_NOWHERE\" is not a root key of the registry"},
       false, false},
      {__LINE__, u"[HKCU\\A]\r\n\"v\"=\"1\"\r\n", 
       [](F& r) {
         ASSERT_NO_FATAL_FAILURE(SetValue(r.memory(), RegRoot::CurrentUser, u"A", u"x", {kRegDword, DwordBytes(1)}));
         r.FailOn(F::kSet, u"A");
       },
       1, "",
       {"Error writing value at A\\v: " + refused_text}, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "case at line " << c.line);
    std::filesystem::remove_all(History());
    ASSERT_NO_FATAL_FAILURE(WriteReg(dir_.path() / "case.reg", u"Windows Registry Editor Version 5.00\r\n\r\n" + c.rows));
    FaultyRegistry registry;
    if (c.fault) {
      ASSERT_NO_FATAL_FAILURE(c.fault(registry));
    }
    const std::vector<std::string> before = DumpRegistry(registry.memory(), RegRoot::CurrentUser, u"");
    SetSystemRegistryForTesting(&registry);
    const CliRun run = Cli({u"merge", P("case.reg"), u"--history", History().u16string()});
    SetSystemRegistryForTesting(nullptr);
    EXPECT_EQ(run.code, c.code) << run.out << run.err;
    const std::vector<std::string> lines = Lines(run.out);
    if (!c.message.empty()) {
      EXPECT_NE(std::find(lines.begin(), lines.end(), c.message), lines.end()) << run.out;
    }
    EXPECT_EQ(run.out.find(rights) != std::string::npos, c.rights_question) << run.out;
    EXPECT_EQ(DumpRegistry(registry.memory(), RegRoot::CurrentUser, u"") != before, c.changes);
    std::filesystem::path log;
    for (const auto& f : HistoryFiles()) {
      if (f.extension() == ".log") log = f;
    }
    ASSERT_EQ(log.empty(), c.log.empty()) << run.out;
    if (log.empty()) continue;
    const std::vector<std::string> logged = Lines(Show(ReadUtf16File(log)));
    std::vector<std::string> tail(logged.end() - std::min(logged.size(), c.log.size()), logged.end());
    for (std::string& line : tail) line.pop_back();  // the CR
    EXPECT_EQ(tail, c.log);
  }
}

TEST_F(CliMerge, AnUndoFileThatCannotBeSavedFailsTheMerge) {
  ASSERT_NO_FATAL_FAILURE(WriteReg(dir_.path() / "one.reg",
                                   u"Windows Registry Editor Version 5.00\r\n\r\n[HKCU\\K]\r\n\"w\"=dword:2\r\n"));
  test::WriteBytes(dir_.path() / "plain-file", "x");
  const CliRun run = Cli({u"merge", P("one.reg"), u"--baseline", P("baseline.reg"), u"--history",
                          (dir_.path() / "plain-file" / "history").u16string(), u"--state-out", P("after.reg")});
  EXPECT_EQ(run.code, 1) << run.out << run.err;
  EXPECT_NE(run.out.find("Undo file: (none)\n"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("ERROR Writing the REG undo file to disk!\n"), std::string::npos) << run.out;
  // Nothing was merged, and the state is written all the same.
  EXPECT_TRUE(SameState(StateOf(dir_.path() / "after.reg"), StateOf(dir_.path() / "baseline.reg")));
}

// --state-out is written whenever it is asked for, so that an older file of
// that name never passes for this run's; one that cannot be written fails the
// run.
TEST_F(CliMerge, TheStateIsWrittenWheneverItIsAskedFor) {
  ASSERT_NO_FATAL_FAILURE(WriteReg(dir_.path() / "old.reg", u"REGEDIT\r\nHKEY_CURRENT_USER\\K = v\r\n"));
  struct Case {
    int line;
    const char* file;
    const char* baseline;
    const char* state_out;
    int code;
    bool written;  // else: no file of that name
  } cases[] = {
      {__LINE__, "old.reg", "baseline.reg", "after.reg", 1, true},   // the load ended with an error
      {__LINE__, "changes.reg", "absent.reg", "after.reg", 2, false}, // the baseline cannot be read
      {__LINE__, "changes.reg", "baseline.reg", "absent/after.reg", 1, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "case at line " << c.line);
    std::error_code ec;
    std::filesystem::remove(dir_.path() / "after.reg", ec);
    WriteBytes(dir_.path() / "after.reg", "an older state");
    const CliRun run = Run({u"merge", P(c.file)}, c.baseline, c.state_out);
    EXPECT_EQ(run.code, c.code) << run.out << run.err;
    const std::filesystem::path state = dir_.path() / c.state_out;
    ASSERT_EQ(std::filesystem::exists(state), c.written);
    if (c.written) {
      EXPECT_TRUE(SameState(StateOf(state), StateOf(dir_.path() / c.baseline)));
    }
    if (std::string(c.state_out) == "after.reg") continue;
    EXPECT_NE(run.err.find("cannot write"), std::string::npos) << run.err;
    EXPECT_EQ(ReadBytes(dir_.path() / "after.reg"), "an older state");
  }
}

TEST_F(CliMerge, NothingIsMergedAfterALoadError) {
  ASSERT_NO_FATAL_FAILURE(WriteReg(dir_.path() / "old.reg", u"REGEDIT\r\nHKEY_CURRENT_USER\\K = v\r\n"));
  const CliRun run = Run({u"merge", P("old.reg")}, "baseline.reg");
  EXPECT_EQ(run.code, 1);
  EXPECT_EQ(run.out, "No regedit version on line 1\nNothing was merged.\n");
  EXPECT_TRUE(HistoryFiles().empty());
}

TEST_F(CliMerge, AFileWithoutValuesSaysThereIsNothingToMerge) {
  ASSERT_NO_FATAL_FAILURE(WriteReg(dir_.path() / "empty.reg", u"Windows Registry Editor Version 5.00\r\n"));
  const CliRun run = Run({u"merge", P("empty.reg")}, "baseline.reg");
  EXPECT_EQ(run.code, 0);
  EXPECT_EQ(run.out, "There are no values to merge!\n");
  EXPECT_TRUE(HistoryFiles().empty());
}

// A path as a JSON string holds it.
std::string JsonString(const std::filesystem::path& path) {
  std::string text = "\"";
  for (char c : path.string()) {
    if (c == '\\' || c == '"') text += '\\';
    text += c;
  }
  return text + "\"";
}

// The line of the JSON document that holds the row of a value.
std::string RowOf(const std::string& json, const std::string& name) {
  const size_t at = json.find("\"name\":\"" + name + "\"");
  if (at == std::string::npos) return {};
  const size_t start = json.rfind('\n', at) + 1;
  return json.substr(start, json.find('\n', at) - start);
}

TEST_F(CliMerge, RuleDifferChecksExactlyTheRowsWhoseMergeWouldChangeTheRegistry) {
  ASSERT_NO_FATAL_FAILURE(WriteReg(dir_.path() / "policy.reg",
                                   u"Windows Registry Editor Version 5.00\r\n\r\n"
                                   u"[HKEY_CURRENT_USER\\Software\\Demo]\r\n"
                                   u"\"Same\"=\"X\"\r\n"          // SAME, but other bytes
                                   u"\"Changed\"=dword:00000001\r\n"  // SAME, the same bytes
                                   u"\"Gone\"=-\r\n"              // deletes what is not there
                                   u"\"New\"=\"n\"\r\n"));
  const CliRun run =
      Run({u"merge", P("policy.reg"), u"--rule", u"differ", u"--format", u"json"}, "baseline.reg", "after.reg");
  ASSERT_EQ(run.code, 0) << run.out << run.err;
  for (const auto& [name, checked] : {std::pair{"Same", true}, {"Changed", false}, {"Gone", false}, {"New", true}}) {
    EXPECT_NE(RowOf(run.out, name).find(std::string("\"checked\":") + (checked ? "true" : "false")),
              std::string::npos)
        << name << "\n" << run.out;
  }
  const std::vector<std::filesystem::path> files = HistoryFiles();
  ASSERT_EQ(files.size(), 1u);
  const std::string tail = ",\n\"merge\":{\"merged\":true,\"rows_merged\":2,\"undo_file\":" + JsonString(files[0]) +
                           ",\"error_log\":null,\"errors\":null,\"messages\":[\"Changes successfully applied!\"],"
                           "\"succeeded\":true}}\n";
  EXPECT_EQ(run.out.substr(run.out.size() - std::min(run.out.size(), tail.size())), tail);

  // Afterwards nothing differs, though the file still has rows that are not SAME.
  const CliRun check = Cli({u"diff", P("policy.reg"), u"--baseline", P("after.reg"), u"--exit-code"});
  EXPECT_EQ(check.code, 0) << check.out;
  EXPECT_NE(check.out.find("\tMISSING\t"), std::string::npos) << check.out;
}

TEST_F(CliMerge, UndoTakesBackTheNewestUndoFileAndCanItselfBeTakenBack) {
  // An undo file dated later than now (a clock set back since): the next
  // merge's undo file must still count as the newest.
  std::filesystem::create_directories(History());
  const std::filesystem::path stale = History() / "hivemend_undo_stale.reg";
  ASSERT_NO_FATAL_FAILURE(WriteReg(stale, u"Windows Registry Editor Version 5.00\r\n\r\n[HKCU\\Stale]\r\n\"v\"=dword:1\r\n"));
  std::filesystem::last_write_time(stale, std::filesystem::file_time_type::clock::now() + std::chrono::hours(1));

  ASSERT_EQ(Run({u"merge", P("changes.reg")}, "baseline.reg", "after.reg").code, 0);
  ASSERT_EQ(HistoryFiles().size(), 2u);
  const std::filesystem::path merge_undo = HistoryFiles().at(0) == stale ? HistoryFiles().at(1) : HistoryFiles().at(0);

  const CliRun undo = Run({u"undo"}, "after.reg", "undone.reg");
  ASSERT_EQ(undo.code, 0) << undo.out << undo.err;
  EXPECT_EQ(Lines(undo.out).at(0), "Undoing: " + merge_undo.string());
  EXPECT_TRUE(SameState(StateOf(dir_.path() / "undone.reg"), StateOf(dir_.path() / "baseline.reg")));
  ASSERT_EQ(HistoryFiles().size(), 3u);

  // At once, within the same tick of the file system's clock as like as not:
  // the newest is the undo's own undo file, which brings the merge back.
  const CliRun redo = Run({u"undo", u"--last"}, "undone.reg", "redone.reg");
  ASSERT_EQ(redo.code, 0) << redo.out << redo.err;
  EXPECT_NE(Lines(redo.out).at(0), "Undoing: " + merge_undo.string());
  EXPECT_TRUE(SameState(StateOf(dir_.path() / "redone.reg"), StateOf(dir_.path() / "after.reg")));
  EXPECT_EQ(HistoryFiles().size(), 4u);
}

TEST_F(CliMerge, WrongUsage) {
  const std::vector<std::vector<std::u16string>> cases = {
      {u"merge"},
      {u"merge", P("changes.reg"), u"--rule", u"some"},
      {u"merge", P("changes.reg"), u"--history"},
      {u"merge", P("changes.reg"), u"extra.reg"},
      {u"merge", P("changes.reg"), u"--baseline", P("absent.reg")},
  };
  for (const auto& args : cases) {
    SCOPED_TRACE(Show(args.back()));
    const CliRun run = Cli(args);
    EXPECT_EQ(run.code, 2);
    EXPECT_NE(run.err.find("hivemend-cli"), std::string::npos);
  }
  EXPECT_NE(Cli({u"--help"}).out.find("hivemend-cli merge FILE.reg"), std::string::npos);
}

}  // namespace
}  // namespace hivemend::test
