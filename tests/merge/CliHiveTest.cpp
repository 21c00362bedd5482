// hivemend-cli diff, merge and undo with --hive, end to end against hive files
// made empty from the format's description: the mapping of roots, the rows
// outside every hive, and nothing lost when a hive is damaged, locked or the
// merge stops before its new file takes the hive's name.
#include <gtest/gtest.h>

#include "MergeTestSupport.h"
#include "platform/FileReplace.h"
#include "platform/HiveRegistry.h"
#include "tests/CliRun.h"
#include "tests/EmptyHive.h"
#include "tests/RegistryDump.h"

namespace hivemend::test {
namespace {

constexpr std::u16string_view kImageSettings =
    u"Windows Registry Editor Version 5.00\r\n\r\n"
    u"[HKEY_LOCAL_MACHINE\\SOFTWARE\\Policies\\Acme]\r\n"
    u"\"Telemetry\"=dword:00000000\r\n"
    u"\"Server\"=\"https://acme.example\"\r\n"
    u"\"Old\"=-\r\n"
    u"[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\AcmeSvc]\r\n"
    u"\"Start\"=dword:00000004\r\n"
    u"[HKCU\\Control Panel\\Desktop]\r\n"
    u"\"Wallpaper\"=\"\"\r\n"
    u"[HKEY_LOCAL_MACHINE\\SAM\\Acme]\r\n"
    u"\"Never\"=\"written\"\r\n"
    u"[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Acme\\Stale]\r\n";

std::string Joined(const std::vector<std::string>& lines) {
  std::string out;
  for (const auto& l : lines) out += l + "\n";
  return out;
}

class CliHive : public testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : {"SOFTWARE", "SYSTEM", "NTUSER.DAT"}) WriteBytes(dir_.File(name), EmptyHiveBytes());
    // What the image holds already: a value the file deletes, a key it deletes,
    // and two control sets of which Select\Current names the second.
    Fill({{RegRoot::LocalMachine, u"SOFTWARE\\Policies\\Acme", u"Old", {kRegSz, StringBytes(u"x")}},
          {RegRoot::LocalMachine, u"SOFTWARE\\Acme\\Stale\\Deep", u"v", {kRegBinary, {1, 2, 3}}},
          {RegRoot::LocalMachine, u"SYSTEM\\Select", u"Current", {kRegDword, DwordBytes(2)}},
          {RegRoot::LocalMachine, u"SYSTEM\\ControlSet001\\Services\\AcmeSvc", u"Start", {kRegDword, DwordBytes(2)}},
          {RegRoot::LocalMachine, u"SYSTEM\\ControlSet002\\Services\\AcmeSvc", u"Start", {kRegDword, DwordBytes(3)}}});
    WriteBytes(dir_.File("settings.reg"), Utf16FileBytes(kImageSettings));
  }
  std::vector<std::u16string> Hives() const {
    return {u"--hive", u"HKLM\\SOFTWARE=" + dir_.File("SOFTWARE"), u"--hive", u"HKLM\\SYSTEM=" + dir_.File("SYSTEM"),
            u"--hive", u"HKEY_CURRENT_USER=" + dir_.File("NTUSER.DAT")};
  }
  HiveMapping Mapping() const {
    HiveMapping mapping;
    EXPECT_EQ(Show(mapping.Add(RegRoot::LocalMachine, u"SOFTWARE", dir_.File("SOFTWARE"))), "");
    EXPECT_EQ(Show(mapping.Add(RegRoot::LocalMachine, u"SYSTEM", dir_.File("SYSTEM"))), "");
    EXPECT_EQ(Show(mapping.Add(RegRoot::CurrentUser, u"", dir_.File("NTUSER.DAT"))), "");
    return mapping;
  }
  struct Put {
    RegRoot root;
    std::u16string path, name;
    Value value;
  };
  void Fill(const std::vector<Put>& puts) {
    std::u16string problem;
    auto hives = OpenHiveRegistry(Mapping(), true, &problem);
    ASSERT_NE(hives, nullptr) << Show(problem);
    for (const Put& put : puts) ASSERT_NO_FATAL_FAILURE(SetValue(*hives, put.root, put.path, put.name, put.value));
    ASSERT_TRUE(hives->Commit(&problem)) << Show(problem);
  }
  // Every key and value of the three hives, as read from the files now.
  std::vector<std::string> Contents() const {
    std::u16string problem;
    auto hives = OpenHiveRegistry(Mapping(), false, &problem);
    if (hives == nullptr) return {"unreadable: " + Show(problem)};
    std::vector<std::string> all = DumpRegistry(*hives, RegRoot::LocalMachine, u"");
    const std::vector<std::string> user = DumpRegistry(*hives, RegRoot::CurrentUser, u"");
    all.insert(all.end(), user.begin(), user.end());
    return all;
  }
  CliRun Run(std::vector<std::u16string> args) const {
    const std::vector<std::u16string> hives = Hives();
    args.insert(args.end(), hives.begin(), hives.end());
    if (args[0] != u"diff") args.insert(args.end(), {u"--history", dir_.File("history")});
    return Cli(args);
  }

  TempDir dir_;
};

TEST_F(CliHive, MergesIntoTheMappedHivesRefusesTheRestAndItsUndoBringsTheHivesBack) {
  const std::vector<std::string> before = Contents();
  const CliRun diff = Run({u"diff", dir_.File("settings.reg"), u"--exit-code"});
  EXPECT_EQ(diff.code, 3) << diff.err;  // rows outside every hive
  EXPECT_NE(diff.out.find("HKEY_LOCAL_MACHINE\tMISSING\tSAM\\\\Acme\tNever\tUNKNOWN - ERROR"), std::string::npos)
      << diff.out;
  // CurrentControlSet is the control set that Select\Current names.
  EXPECT_NE(diff.out.find("SYSTEM\\\\CurrentControlSet\\\\Services\\\\AcmeSvc\tStart\tREG_DWORD\t0x4\t0x3"),
            std::string::npos)
      << diff.out;
  EXPECT_EQ(diff.err, "hivemend-cli: HKEY_LOCAL_MACHINE\\SAM is in no hive that --hive maps: its rows are refused\n");

  const CliRun merge = Run({u"merge", dir_.File("settings.reg")});
  EXPECT_EQ(merge.code, 1) << merge.out << merge.err;
  EXPECT_NE(merge.out.find("Did not write key HKEY_LOCAL_MACHINE\\SAM\\Acme value Never"), std::string::npos) << merge.out;
  const std::vector<std::string> after = Contents();
  auto has = [&](const std::string& line) { return std::find(after.begin(), after.end(), line) != after.end(); };
  EXPECT_TRUE(has("2:SYSTEM\\ControlSet002\\Services\\AcmeSvc | start = 4:4,0,0,0,")) << Joined(after);
  EXPECT_TRUE(has("2:SYSTEM\\ControlSet001\\Services\\AcmeSvc | start = 4:2,0,0,0,"));
  EXPECT_TRUE(has("1:Control Panel\\Desktop | wallpaper = 1:0,0,"));
  EXPECT_FALSE(has("2:SOFTWARE\\Acme\\Stale"));
  EXPECT_TRUE(std::none_of(after.begin(), after.end(), [](const std::string& l) { return l.find("SAM") != l.npos; }));
  EXPECT_EQ(Run({u"diff", dir_.File("settings.reg"), u"--exit-code"}).code, 3);

  // The undo file names the keys as the merged file did, and brings every
  // hive back exactly, keys included.
  const std::u16string undo_text = ReadUtf16File(Lines(merge.out).at(0).substr(std::string("Undo file: ").size()));
  EXPECT_NE(undo_text.find(u"[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\AcmeSvc]"), std::u16string::npos)
      << Show(undo_text);
  const CliRun undo = Run({u"undo", u"--last"});
  EXPECT_EQ(undo.code, 0) << undo.out << undo.err;
  EXPECT_EQ(Joined(Contents()), Joined(before));
}

TEST_F(CliHive, AHiveThatCannotBeReadIsAClearErrorAndNothingIsWritten) {
  const std::string good = ReadBytes(dir_.File("NTUSER.DAT"));
  std::string bad_checksum = good, bad_cell = good;
  bad_checksum[0x1FC] ^= 1;
  bad_cell[0x1024] = 0x01;  // the root key's cell size
  const std::pair<const char*, std::string> cases[] = {
      {"not a hive", "Windows Registry Editor Version 5.00\r\n"},
      {"empty", ""},
      {"cut short", good.substr(0, 0x1800)},
      {"bad checksum", bad_checksum},
      {"bad root cell", bad_cell},
  };
  for (const auto& [what, bytes] : cases) {
    SCOPED_TRACE(what);
    WriteBytes(dir_.File("NTUSER.DAT"), bytes);
    for (const char* command : {"diff", "merge"}) {
      const CliRun run = Run({U16(command), dir_.File("settings.reg")});
      EXPECT_EQ(run.code, 2) << run.out;
      EXPECT_NE(run.err.find("NTUSER.DAT: not a registry hive file, or a damaged one"), std::string::npos) << run.err;
      EXPECT_EQ(ReadBytes(dir_.File("NTUSER.DAT")), bytes);
    }
  }
  std::filesystem::remove(dir_.File("NTUSER.DAT"));
  const CliRun missing = Run({u"diff", dir_.File("settings.reg")});
  EXPECT_EQ(missing.code, 2);
  EXPECT_NE(missing.err.find("NTUSER.DAT: cannot be opened"), std::string::npos) << missing.err;
  EXPECT_FALSE(std::filesystem::exists(dir_.File("history")));
}

TEST_F(CliHive, AHiveLockedByAnotherWriterIsRefusedAndLeftAsItWas) {
  const std::string system = ReadBytes(dir_.File("SYSTEM"));
  {
    WriterLock other;  // another program that writes hives this way
    std::u16string problem;
    ASSERT_TRUE(other.Take(dir_.File("SYSTEM"), &problem)) << Show(problem);
    const CliRun run = Run({u"merge", dir_.File("settings.reg")});
    EXPECT_EQ(run.code, 2);
    EXPECT_NE(run.err.find("SYSTEM: another merge is writing this hive file (it is locked)"), std::string::npos)
        << run.err;
    EXPECT_EQ(Run({u"diff", dir_.File("settings.reg")}).code, 0);  // reading needs no lock
  }
  {
    // A second merge while one holds the hives open for writing.
    std::u16string problem;
    auto first = OpenHiveRegistry(Mapping(), true, &problem);
    ASSERT_NE(first, nullptr) << Show(problem);
    EXPECT_EQ(Run({u"merge", dir_.File("settings.reg")}).code, 2);
    EXPECT_EQ(Run({u"undo", u"--last"}).code, 2);
  }
  EXPECT_EQ(ReadBytes(dir_.File("SYSTEM")), system);
  EXPECT_FALSE(std::filesystem::exists(dir_.File("history")));
  EXPECT_EQ(Run({u"merge", dir_.File("settings.reg")}).code, 1);  // free again (only the SAM row fails)
}

TEST_F(CliHive, AMergeStoppedBeforeTheRenameLeavesTheOldHive) {
  const std::vector<std::string> before = Contents();
  const std::string software = ReadBytes(dir_.File("SOFTWARE"));
  SetStopBeforeRenameForTesting(true);
  const CliRun run = Run({u"merge", dir_.File("settings.reg")});
  SetStopBeforeRenameForTesting(false);
  EXPECT_EQ(run.code, 1);
  EXPECT_NE(run.err.find("stopped before the new file took its name"), std::string::npos) << run.err;
  EXPECT_EQ(ReadBytes(dir_.File("SOFTWARE")), software);
  EXPECT_EQ(Joined(Contents()), Joined(before));
  // What was left behind is the whole new hive, under a name of its own.
  std::vector<std::filesystem::path> left;
  for (const auto& file : dir_.Files()) {
    if (file.extension() == ".tmp") left.push_back(file);
  }
  ASSERT_EQ(left.size(), 1u);
  HiveMapping mapping;
  ASSERT_EQ(Show(mapping.Add(RegRoot::LocalMachine, u"SOFTWARE", left[0].u16string())), "");
  std::u16string problem;
  auto rest = OpenHiveRegistry(std::move(mapping), false, &problem);
  ASSERT_NE(rest, nullptr) << Show(problem);
  EXPECT_EQ(GetValue(*rest, RegRoot::LocalMachine, u"SOFTWARE\\Policies\\Acme", u"Telemetry"),
            (Value{kRegDword, DwordBytes(0)}));
}

TEST_F(CliHive, WrongUsage) {
  const std::u16string reg = dir_.File("settings.reg");
  const std::u16string software = u"HKLM\\SOFTWARE=" + dir_.File("SOFTWARE");
  const std::pair<std::vector<std::u16string>, const char*> cases[] = {
      {{u"diff", reg, u"--hive", software, u"--baseline", reg}, "give either --hive or --baseline"},
      {{u"merge", reg, u"--hive", software, u"--state-out", dir_.File("out.reg")}, "--state-out needs --baseline"},
      {{u"diff", reg, u"--hive", u"HKLM\\SOFTWARE"}, "needs the form ROOT\\PATH=FILE"},
      {{u"diff", reg, u"--hive", u"HKEY_NOWHERE=" + dir_.File("SOFTWARE")}, "'HKEY_NOWHERE' is not a root key"},
      {{u"diff", reg, u"--hive", u"HKCR=" + dir_.File("SOFTWARE")}, "map those"},
      {{u"diff", reg, u"--hive", u"HKCC=" + dir_.File("SYSTEM")}, "map HKLM\\SYSTEM"},
      {{u"diff", reg, u"--hive", software, u"--hive", u"HKLM\\SOFTWARE\\Classes=" + dir_.File("SYSTEM")},
       "inside or around"},
      {{u"diff", reg, u"--hive", software, u"--hive", u"HKCU=" + dir_.File("SOFTWARE")}, "mapped already"},
  };
  for (const auto& [args, problem] : cases) {
    SCOPED_TRACE(problem);
    const CliRun run = Cli(args);
    EXPECT_EQ(run.code, 2);
    EXPECT_NE(run.err.find(problem), std::string::npos) << run.err;
  }
}

}  // namespace
}  // namespace hivemend::test
