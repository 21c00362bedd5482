// The console front end, and every real-world .REG file through it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>

#include "cli/Cli.h"
#include "tests/TestSupport.h"

namespace hivemend {
namespace {

struct CliRun {
  int code = 0;
  std::string out, err;
};

std::string ReadAll(std::FILE* f) {
  std::fflush(f);
  std::rewind(f);
  std::string s;
  char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) s.append(buf, n);
  std::fclose(f);
  return s;
}

CliRun Cli(std::vector<std::u16string> args) {
  std::FILE* out = std::tmpfile();
  std::FILE* err = std::tmpfile();
  CliRun run;
  run.code = RunCli(args, out, err);
  run.out = ReadAll(out);
  run.err = ReadAll(err);
  return run;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

TEST(CliTest, UsageErrorsExitWithTwo) {
  EXPECT_EQ(Cli({}).code, 2);
  EXPECT_EQ(Cli({u"frobnicate"}).code, 2);
  EXPECT_EQ(Cli({u"diff"}).code, 2);
  EXPECT_EQ(Cli({u"diff", u"a.reg", u"b.reg"}).code, 2);
  EXPECT_EQ(Cli({u"diff", u"a.reg", u"--baseline"}).code, 2);
  const CliRun help = Cli({u"--help"});
  EXPECT_EQ(help.code, 0);
  EXPECT_NE(help.out.find("hivemend-cli diff FILE.reg [--baseline STATE.reg]"), std::string::npos);
  test::TempDir dir;
  const CliRun bad_baseline = Cli({u"diff", dir.File("x.reg"), u"--baseline", dir.File("missing.reg")});
  EXPECT_EQ(bad_baseline.code, 2);
  EXPECT_NE(bad_baseline.err.find("baseline"), std::string::npos);
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
      std::ifstream in(state, std::ios::binary);
      const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
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
