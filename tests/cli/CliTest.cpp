// The console front end, and every real-world .REG file through it.
#include <gtest/gtest.h>

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
                "HKCU\tSAME\tSoft\tp\tREG_SZ\tC:\\\\x\tC:\\\\x",
                "HKCU\tCHANGED\tSoft\tn\tREG_DWORD\t0x2\t0x3",
                "HKLM\tMISSING\tSoft\ttab\tREG_SZ\ta\\\\tb\t",
                "Read 6 lines from " + test::Show(dir.File("f.reg")),
                "1 matched, 1 differ, 1 do not exist",
            }));
  EXPECT_EQ(test::Show(EscapeField(u"a\tb\r\n\\")), "a\\tb\\r\\n\\\\");
}

TEST(CliTest, AFailedLoadPrintsItsTextAndExitsWithOne) {
  test::TempDir dir;
  test::WriteBytes(dir.path() / "old.reg", "REGEDIT4\r\n");
  const CliRun run = Cli({u"diff", dir.File("old.reg"), u"--baseline", dir.File("old.reg")});
  // The baseline itself has no header: a usage-level failure.
  EXPECT_EQ(run.code, 2);
  test::WriteBytes(dir.path() / "empty.reg", "");
  const CliRun old = Cli({u"diff", dir.File("old.reg"), u"--baseline", dir.File("empty.reg")});
  EXPECT_EQ(old.code, 1);
  EXPECT_EQ(Lines(old.out).back(), "No regedit version on line 1");
  const CliRun missing = Cli({u"diff", dir.File("none.reg"), u"--baseline", dir.File("empty.reg")});
  EXPECT_EQ(missing.code, 1);
  EXPECT_EQ(Lines(missing.out).back(), "This file could not be loaded!");
}

// FNV-1a of the whole output: any change in what a file yields shows up here.
std::uint64_t Fingerprint(const std::string& text) {
  std::uint64_t h = 1469598103934665603ull;
  for (unsigned char c : text) h = (h ^ c) * 1099511628211ull;
  return h;
}

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
  std::ostringstream actual_file;
  size_t files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(corpus)) {
    std::string ext = entry.path().extension().string();
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (ext != ".reg") continue;
    ++files;
    const std::string name = entry.path().filename().string();
    const std::u16string file = entry.path().u16string();
    // Against an empty registry, and against the state the file itself describes.
    CliRun empty = Cli({u"diff", file, u"--baseline", dir.File("empty.reg")});
    CliRun self = Cli({u"diff", file, u"--baseline", file});
    // The results must not depend on where the corpus lies.
    for (std::string* out : {&empty.out, &self.out}) {
      for (size_t at; (at = out->find(entry.path().string())) != std::string::npos;) {
        out->replace(at, entry.path().string().size(), "FILE");
      }
    }
    std::ostringstream got;
    got << empty.code << '\t' << Lines(empty.out).size() << '\t' << std::hex << Fingerprint(empty.out) << std::dec
        << '\t' << self.code << '\t' << Lines(self.out).size() << '\t' << std::hex << Fingerprint(self.out);
    actual_file << name << '\t' << got.str() << '\n';
    EXPECT_EQ(expected[name], got.str()) << name << "\n" << empty.out.substr(0, 2000);
  }
  EXPECT_GT(files, 0u);
  if (::testing::Test::HasFailure()) std::printf("Current results:\n%s", actual_file.str().c_str());
}

}  // namespace
}  // namespace hivemend
