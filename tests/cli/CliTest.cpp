// The console front end, and every real-world .REG file through it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>

#include "cli/JsonOutput.h"
#include "platform/Version.h"
#include "tests/CliRun.h"
#include "tests/TestSupport.h"

namespace hivemend {
namespace {

using test::Cli;
using test::CliRun;
using test::Lines;

TEST(CliTest, WrongArgumentsGiveOneLineNamingThemAndExitTwo) {
  test::TempDir dir;
  struct Case {
    int line;
    std::vector<std::u16string> args;
    std::string named;  // what the line on standard error must name
  };
  const Case cases[] = {
      {__LINE__, {u"frobnicate"}, "'frobnicate'"},
      {__LINE__, {u"diff"}, "a .REG file is needed"},
      {__LINE__, {u"diff", u"a.reg", u"b.reg"}, "'b.reg'"},
      {__LINE__, {u"diff", u"a.reg", u"--baseline"}, "'--baseline'"},
      {__LINE__, {u"diff", u"a.reg", u"--format", u"xml"}, "'xml'"},
      {__LINE__, {u"diff", u"a.reg", u"--rule", u"all"}, "'--rule'"},
      {__LINE__, {u"diff", u"a.reg", u"-x"}, "'-x'"},
      {__LINE__, {u"merge", u"a.reg", u"--exit-code"}, "'--exit-code'"},
      {__LINE__, {u"merge", u"a.reg", u"--rule", u"some"}, "'some'"},
      {__LINE__, {u"undo", u"u.reg", u"--last"}, "--last"},
      {__LINE__, {u"undo", u"--rule", u"all"}, "'--rule'"},
      {__LINE__, {u"undo", u"--history", dir.File("empty")}, "no undo file"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "case at line " << c.line);
    const CliRun run = Cli(c.args);
    EXPECT_EQ(run.code, 2);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(Lines(run.err).size(), 1u) << run.err;
    EXPECT_NE(run.err.find(c.named), std::string::npos) << run.err;
  }
  EXPECT_EQ(Cli({}).code, 2);
  const CliRun bad_baseline = Cli({u"diff", dir.File("x.reg"), u"--baseline", dir.File("missing.reg")});
  EXPECT_EQ(bad_baseline.code, 2);
  EXPECT_NE(bad_baseline.err.find("baseline"), std::string::npos);
}

TEST(CliTest, HelpForEachCommandAndTheVersion) {
  const CliRun help = Cli({u"--help"});
  EXPECT_EQ(help.code, 0);
  EXPECT_NE(help.out.find("hivemend-cli diff FILE.reg [--baseline STATE.reg]"), std::string::npos);
  for (const char16_t* command : {u"diff", u"merge", u"undo"}) {
    SCOPED_TRACE(test::Show(command));
    const std::string usage = "Usage: hivemend-cli " + test::Show(command) + " ";
    for (const CliRun& run : {Cli({command, u"--help"}), Cli({u"help", command}), Cli({command, u"x.reg", u"-h"})}) {
      EXPECT_EQ(run.code, 0);
      EXPECT_EQ(run.out.substr(0, usage.size()), usage);
      EXPECT_EQ(run.err, "");
    }
  }
  const CliRun version = Cli({u"--version"});
  EXPECT_EQ(version.code, 0);
  EXPECT_EQ(version.out, "hivemend-cli " + test::Show(kProgramVersion) + "\n");
}

TEST(CliTest, PrintsHeaderRowsInListOrderAndTheFinalStatus) {
  test::TempDir dir;
  test::WriteBytes(dir.path() / "f.reg",
                   "Windows Registry Editor Version 5.00\r\n"
                   "[HKLM\\Soft]\r\n\"tab\"=\"a\\tb\"\r\n"
                   "[HKCU\\Soft]\r\n\"p\"=\"C:\\\\x\"\r\n\"n\"=dword:2\r\n");
  test::WriteBytes(dir.path() / "base.reg",
                   "Windows Registry Editor Version 5.00\r\n[HKEY_CURRENT_USER\\Soft]\r\n\"P\"=\"c:\\\\X\"\r\n"
                   "\"n\"=dword:3\r\n");
  const CliRun run = Cli({u"diff", dir.File("f.reg"), u"--baseline", dir.File("base.reg")});
  EXPECT_EQ(run.code, 0) << run.err;
  EXPECT_EQ(Lines(run.out),
            (std::vector<std::string>{
                "HIVE\tCompare\tKey\tValue Name\tType\tREG file data\tCurrent HIVE data",
                // The registry's own text, in its letter case.
                "HKCU\tSAME\tSoft\tp\tREG_SZ\tC:\\\\x\tc:\\\\X",
                "HKCU\tCHANGED\tSoft\tn\tREG_DWORD\t0x2\t0x3",
                "HKLM\tMISSING\tSoft\ttab\tREG_SZ\ta\\\\tb\t",
                "Read 6 lines from " + test::Show(dir.File("f.reg")),
                "1 matched, 1 differ, 1 do not exist",
            }));
  EXPECT_EQ(test::Show(EscapeField(u"a\tb\r\n\\")), "a\\tb\\r\\n\\\\");
}

TEST(CliTest, AFailedLoadPrintsItsTextAndExitsWithOne) {
  test::TempDir dir;
  // The oldest format, "KEY = value" lines under "REGEDIT", is not read.
  test::WriteBytes(dir.path() / "old.reg", "REGEDIT\r\nHKEY_CLASSES_ROOT\\x = y\r\n");
  const CliRun run = Cli({u"diff", dir.File("old.reg"), u"--baseline", dir.File("old.reg")});
  // The baseline itself has no header: a usage-level failure.
  EXPECT_EQ(run.code, 2);
  test::WriteBytes(dir.path() / "empty.reg", "");
  const CliRun old = Cli({u"diff", dir.File("old.reg"), u"--baseline", dir.File("empty.reg")});
  EXPECT_EQ(old.code, 1);
  EXPECT_EQ(Lines(old.out).back(), "No regedit version on line 1");
  const CliRun missing = Cli({u"diff", dir.File("none.reg"), u"--baseline", dir.File("empty.reg")});
  EXPECT_EQ(missing.code, 1);
  EXPECT_EQ(Lines(missing.out).back(),
            "This file could not be loaded!\\n\\n" + test::Show(dir.File("none.reg")) + "\\nThe file does not exist.");
}

// Every type, every status, both sides' data, names with escapes, a root
// that is none of the ten, read as UTF-16 from standard input.
constexpr char16_t kGoldenFile[] =
    u"Windows Registry Editor Version 5.00\r\n\r\n"
    u"[HKCU\\Software\\Golden]\r\n"
    u"\"Same\"=\"Exact\"\r\n\"Case\"=\"LOWER\"\r\n\"Dword\"=dword:0000001f\r\n"
    u"\"Qword\"=hex(b):ff,ff,ff,ff,ff,ff,ff,ff\r\n\"Expand\"=hex(2):25,00,50,00,00,00\r\n"
    u"\"OddExpand\"=hex(2):41,00,00,00\r\n\"Multi\"=hex(7):61,00,00,00,62,00,00,00,00,00\r\n"
    u"\"Bin\"=hex:01,02,03\r\n\"TypeWas\"=dword:00000002\r\n\"Doomed\"=-\r\n\"Gone\"=-\r\n"
    u"@=\"\u00dcn\u00efc\u00f6d\u00e9 \U0001F600 \\\"quoted\\\" C:\\\\dir\"\r\n\"na\\\"me\"=\"tab\tinside\"\r\n"
    u"\"Bogus\"=bogus\r\n"
    u"[HKCU\\Software\\Absent]\r\n\"Del\"=-\r\n[HKEY_NOWHERE\\K]\r\n\"v\"=\"x\"\r\n"
    u"[HKLM\\Software\\Golden]\r\n\"Empty\"=hex:\r\n\"EmptyMulti\"=hex(7):00,00\r\n";
constexpr char kGoldenBaseline[] =
    "Windows Registry Editor Version 5.00\r\n\r\n"
    "[HKEY_CURRENT_USER\\Software\\Golden]\r\n"
    "\"Same\"=\"Exact\"\r\n\"Case\"=\"lower\"\r\n\"Dword\"=dword:00000001\r\n"
    "\"Qword\"=hex(b):01,00,00,00,00,00,00,00\r\n\"Expand\"=hex(2):25,00,50,00,00,00\r\n"
    "\"OddExpand\"=hex(2):41,00,42\r\n\"Multi\"=hex(7):61,00,00,00,62,00,00,00,00,00\r\n"
    "\"Bin\"=hex:01,02\r\n\"TypeWas\"=\"text\"\r\n\"Doomed\"=\"x\"\r\n";

TEST(CliTest, TheJsonDocumentHoldsItsFormat) {
  test::TempDir dir;
  test::WriteBytes(dir.path() / "base.reg", kGoldenBaseline);
  const CliRun run = Cli({u"diff", u"-", u"--baseline", dir.File("base.reg"), u"--format", u"json"},
                         test::Utf16File(kGoldenFile));
  EXPECT_EQ(run.code, 0) << run.err;
  EXPECT_EQ(run.out, test::ReadBytes(std::filesystem::path(HIVEMEND_TEST_DATA_DIR) / "diff-expected.json"));
}

TEST(CliTest, StandardInputIsDecodedAsAFileIs) {
  test::TempDir dir;
  test::WriteBytes(dir.path() / "base.reg", kGoldenBaseline);
  const std::string utf16 = test::Utf16File(kGoldenFile);
  std::string ansi = "Windows Registry Editor Version 5.00\r\n[HKCU\\S]\r\n\"v\"=\"caf\xE9\"\r\n\"w\"=-\r\n";
  for (const std::string& bytes : {utf16, ansi}) {
    test::WriteBytes(dir.path() / "f.reg", bytes);
    CliRun file = Cli({u"diff", dir.File("f.reg"), u"--baseline", dir.File("base.reg")});
    const CliRun in = Cli({u"diff", u"-", u"--baseline", dir.File("base.reg")}, bytes);
    const std::string name = test::Show(dir.File("f.reg"));
    file.out.replace(file.out.find(name), name.size(), "(standard input)");
    EXPECT_EQ(in.out, file.out);
    EXPECT_EQ(in.code, file.code);
  }
}

TEST(CliTest, JsonDataLosesNoByte) {
  using test::StringBytes;
  struct Case {
    int line;
    std::uint32_t type;
    std::vector<std::uint8_t> bytes;
    std::string json;
  };
  const Case cases[] = {
      {__LINE__, kRegSz, StringBytes(u"a\"\\\u00e9"), R"({"text":"a\"\\é"})"},
      {__LINE__, kRegExpandSz, StringBytes(u"%P%"), R"({"text":"%P%"})"},
      {__LINE__, kRegSz, StringBytes(u"ab", false), R"({"hex":"61006200"})"},          // no NUL
      {__LINE__, kRegSz, StringBytes(std::u16string_view(u"a\0b", 3)), R"({"hex":"6100000062000000"})"},
      {__LINE__, kRegSz, {0x61, 0x00, 0x00}, R"({"hex":"610000"})"},                    // odd size
      {__LINE__, kRegSz, StringBytes(u"\xD800"), R"({"hex":"00d80000"})"},              // unpaired surrogate
      {__LINE__, kRegSz, {}, R"({"hex":""})"},
      {__LINE__, kRegMultiSz, StringBytes(std::u16string_view(u"a\0bc\0", 5)), R"({"strings":["a","bc"]})"},
      {__LINE__, kRegMultiSz, StringBytes(u""), R"({"strings":[]})"},
      {__LINE__, kRegMultiSz, StringBytes(std::u16string_view(u"\0", 1)), R"({"hex":"00000000"})"},  // an empty text
      {__LINE__, kRegMultiSz, StringBytes(u"a"), R"({"hex":"61000000"})"},  // no closing NUL
      {__LINE__, kRegDword, test::DwordBytes(0xFFFFFFFF), R"({"number":4294967295})"},
      {__LINE__, kRegDword, {1, 2, 3}, R"({"hex":"010203"})"},
      {__LINE__, kRegQword, {1, 0, 0, 0, 0, 0, 0, 0x80}, R"({"number":9223372036854775809})"},
      {__LINE__, kRegBinary, {0xAB, 0x01}, R"({"hex":"ab01"})"},
      {__LINE__, 0, {0xFF}, R"({"hex":"ff"})"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "case at line " << c.line);
    EXPECT_EQ(JsonDataText(c.type, c.bytes), c.json);
  }
}

TEST(CliTest, ExitCodes) {
  test::TempDir dir;
  test::WriteBytes(dir.path() / "base.reg",
                   "Windows Registry Editor Version 5.00\r\n[HKCU\\K]\r\n\"s\"=\"Text\"\r\n\"d\"=dword:1\r\n");
  struct Case {
    int line;
    std::string value_lines;  // under [HKCU\K]
    int with_flag;            // diff --exit-code
    int without_flag;         // diff
  };
  const std::string header = "Windows Registry Editor Version 5.00\r\n[HKCU\\K]\r\n";
  const Case cases[] = {
      {__LINE__, "\"s\"=\"Text\"\r\n\"d\"=dword:1\r\n", 0, 0},
      {__LINE__, "", 0, 0},
      {__LINE__, "\"s\"=\"TEXT\"\r\n", 1, 0},  // SAME, yet the merge would write other bytes
      {__LINE__, "\"d\"=dword:2\r\n", 1, 0},
      {__LINE__, "\"new\"=dword:2\r\n", 1, 0},
      {__LINE__, "\"s\"=-\r\n", 1, 0},
      {__LINE__, "\"absent\"=-\r\n[HKCU\\NoKey]\r\n\"v\"=-\r\n", 0, 0},  // deletions of what is not there
      {__LINE__, "[HKEY_NOWHERE\\K]\r\n\"v\"=\"x\"\r\n", 0, 0},           // a row no merge writes
      {__LINE__, "\"s\"=\"Text\"\r\n\"v\"=hex(zz):00\r\n", 3, 1},  // a parse error ends the load
      {__LINE__, "\"s\"=\"Text\"\r\n\"v\"=dword:zz\r\n", 3, 0},     // a line that cannot be read
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "case at line " << c.line);
    test::WriteBytes(dir.path() / "f.reg", header + c.value_lines);
    for (const char16_t* format : {u"tsv", u"json"}) {
      EXPECT_EQ(Cli({u"diff", dir.File("f.reg"), u"--baseline", dir.File("base.reg"), u"--exit-code", u"--format",
                     format}).code,
                c.with_flag);
    }
    const CliRun plain = Cli({u"diff", dir.File("f.reg"), u"--baseline", dir.File("base.reg")});
    EXPECT_EQ(plain.code, c.without_flag);
    // Each line that could not be read is named on standard error.
    if (c.value_lines.find("dword:zz") != std::string::npos) {
      EXPECT_EQ(plain.err, "hivemend-cli: " + test::Show(dir.File("f.reg")) +
                               ": line 4: \"zz\" is not a dword of one to eight hexadecimal digits\n");
    }
  }
  const CliRun unreadable = Cli({u"diff", dir.File("none.reg"), u"--baseline", dir.File("base.reg"), u"--exit-code"});
  EXPECT_EQ(unreadable.code, 3);
  const std::string said = "hivemend-cli: " + test::Show(dir.File("none.reg")) + ": This file could not be loaded!";
  EXPECT_EQ(unreadable.err.substr(0, said.size()), said);
  EXPECT_EQ(Lines(unreadable.err).size(), 1u) << unreadable.err;
}

// FNV-1a of the whole output: any change in what a file yields shows up here.
std::uint64_t Fingerprint(const std::string& text) {
  std::uint64_t h = 1469598103934665603ull;
  for (unsigned char c : text) h = (h ^ c) * 1099511628211ull;
  return h;
}

std::string HexText(std::uint64_t value) {
  char buf[17];
  std::snprintf(buf, sizeof buf, "%016llx", static_cast<unsigned long long>(value));
  return buf;
}

// What a diff printed: exit code, rows, rows per status (in the order of the
// first row of each), fingerprint.
std::string DiffSummary(const CliRun& run) {
  std::vector<std::pair<std::string, int>> statuses;
  int rows = 0;
  for (const std::string& line : Lines(run.out)) {
    if (std::count(line.begin(), line.end(), '\t') != 6 || line.rfind("HIVE\t", 0) == 0) continue;
    ++rows;
    const std::string status = line.substr(line.find('\t') + 1, line.find('\t', line.find('\t') + 1) - line.find('\t') - 1);
    auto it = std::find_if(statuses.begin(), statuses.end(), [&](const auto& s) { return s.first == status; });
    if (it == statuses.end()) statuses.emplace_back(status, 1);
    else ++it->second;
  }
  std::string out = std::to_string(run.code) + " rows=" + std::to_string(rows);
  for (const auto& [status, count] : statuses) out += " " + status + "=" + std::to_string(count);
  return out + " " + HexText(Fingerprint(run.out));
}

// Every real-world file, each way it is used: compared with an empty registry,
// compared with the state it describes itself, and merged whole into an empty
// registry held in memory (what the registry holds afterwards). A change in
// any of them shows up against corpus-expected.txt.
TEST(CliTest, RealWorldFilesYieldWhatTheyYieldedBefore) {
  const auto corpus = test::CorpusFolder();
  if (corpus.empty()) GTEST_SKIP() << "the real-world .REG corpus is not part of this checkout";
  std::map<std::string, std::string> expected;
  {
    std::ifstream in(std::filesystem::path(HIVEMEND_TEST_DATA_DIR) / "corpus-expected.txt");
    ASSERT_TRUE(in) << "corpus-expected.txt is missing";
    for (std::string line; std::getline(in, line);) {
      if (line.empty() || line[0] == '#') continue;
      const size_t tab = line.find('\t');
      expected[line.substr(0, tab)] = line.substr(tab + 1);
    }
  }
  test::TempDir dir;
  test::WriteBytes(dir.path() / "empty.reg", "");
  std::vector<std::filesystem::path> files;
  for (const auto& entry : std::filesystem::directory_iterator(corpus)) {
    std::string ext = entry.path().extension().string();
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (ext == ".reg") files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  std::ostringstream actual_file;
  for (const auto& path : files) {
    const std::string name = path.filename().string();
    const std::u16string file = path.u16string();
    CliRun empty = Cli({u"diff", file, u"--baseline", dir.File("empty.reg")});
    CliRun self = Cli({u"diff", file, u"--baseline", file});
    const std::filesystem::path state = dir.path() / "state.reg";
    const CliRun merge = Cli({u"merge", file, u"--baseline", dir.File("empty.reg"), u"--history",
                              dir.File("history-" + name), u"--state-out", state.u16string()});
    // The results must not depend on where the corpus lies.
    for (std::string* out : {&empty.out, &self.out}) {
      for (size_t at; (at = out->find(path.string())) != std::string::npos;) {
        out->replace(at, path.string().size(), "FILE");
      }
    }
    std::string merged = std::to_string(merge.code);
    if (std::filesystem::exists(state)) {  // also after a merge that recorded failures
      const std::string bytes = test::ReadBytes(state);
      const std::string text = test::Show(std::u16string_view(reinterpret_cast<const char16_t*>(bytes.data()), bytes.size() / 2));
      int values = 0;
      for (const std::string& line : Lines(text)) values += !line.empty() && (line[0] == '"' || line[0] == '@');
      merged += " values=" + std::to_string(values) + " " + HexText(Fingerprint(bytes));
      std::filesystem::remove(state);
    }
    const std::string got = DiffSummary(empty) + "\t" + DiffSummary(self) + "\t" + merged;
    actual_file << name << '\t' << got << '\n';
    EXPECT_EQ(expected[name], got) << name << "\n" << empty.out.substr(0, 2000);
  }
  EXPECT_GT(files.size(), 0u);
  if (::testing::Test::HasFailure()) std::printf("Current results:\n%s", actual_file.str().c_str());
}

}  // namespace
}  // namespace hivemend
