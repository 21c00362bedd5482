// Statuses, live texts, counts and row texts of compared values, against every
// registry implementation (under Wine: the real registry).
#include <gtest/gtest.h>

#include "engine/Compare.h"
#include "engine/LoadPipeline.h"
#include "tests/LoadRecorder.h"
#include "tests/RegistryFixture.h"
#include "tests/TestSupport.h"

namespace hivemend {
namespace {

using test::Show;

using test::LoadRows;
using test::RecordingReport;

class CompareTest : public test::RegistryTest {
 protected:
  void SetUp() override {
    test::RegistryTest::SetUp();
    MakeKey(u"k");
    PutString(u"k", u"Str", u"C:\\Temp");
    PutString(u"k", u"Mixed", u"Hello World");
    PutString(u"k", u"", u"default text");
    PutString(u"k", u"C:\\foo", u"escaped name");
    PutString(u"k", u"Empty", u"");
    PutDword(u"k", u"Dw", 31);
    Put(u"k", u"Bin", kRegBinary, {1, 2, 3});
    Put(u"k", u"EmptyBin", kRegBinary, {});
    Put(u"k", u"Exp", kRegExpandSz, {0x41, 0, 0, 0});
    Put(u"k", u"Multi", kRegMultiSz, {0x61, 0, 0, 0, 0, 0});
    Put(u"k", u"Q", kRegQword, {1, 0, 0, 0, 0, 0, 0, 0});
    Put(u"k", u"None", kRegNone, {1});
    // Larger than a first read takes, and a string stored without its NUL.
    PutString(u"k", u"Long", std::u16string(3000, u'a') + u"b");
    Put(u"k", u"BigBin", kRegBinary, BigBlock());
    Put(u"k", u"NoNul", kRegSz, {0x41, 0});
    // Shorter than a dword: compared as zero-extended, also after a large
    // value has filled the buffer that reads are kept in.
    Put(u"k", u"ShortDw", kRegDword, {5});
  }

  static std::vector<std::uint8_t> BigBlock() {
    std::vector<std::uint8_t> block(9000);
    for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<std::uint8_t>(i * 7);
    return block;
  }
  static std::u16string HexLine(std::u16string_view name, std::vector<std::uint8_t> block) {
    std::u16string line = u"\"" + std::u16string(name) + u"\"=hex:";
    for (size_t i = 0; i < block.size(); ++i) {
      if (i) line += u',';
      line += (block[i] < 16 ? u"0" : u"") + Hex(block[i], false);
    }
    return line;
  }

  // Loads one value line under [HKEY_CURRENT_USER\<base>\<sub>].
  ChangeEntry Load(std::u16string_view line, std::u16string_view sub = u"k", CompareCounts* counts = nullptr) {
    const std::u16string text = u"Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\" + Path(sub) +
                                u"]\r\n" + std::u16string(line) + u"\r\n";
    RecordingReport report;
    const LoadSummary summary = RunLoadText(text, u"t.reg", &reg(), report);
    if (counts) *counts = summary.counts;
    // A refused line leaves its key line to create the key: that row is left out.
    std::erase_if(report.entries, [](const ChangeEntry& e) { return e.form() == EntryForm::CreateKey; });
    EXPECT_EQ(report.entries.size(), 1u) << Show(line);
    return report.entries.empty() ? ChangeEntry{} : std::move(report.entries[0]);
  }
};

TEST_P(CompareTest, Statuses) {
  struct Case {
    std::u16string line;
    EntryStatus status;
    std::u16string live;
    int line_no;
    std::u16string sub = u"k";
  } cases[] = {
      // Strings: escapes decoded, letter case ignored.
      {u"\"Str\"=\"C:\\\\Temp\"", EntryStatus::Same, u"C:\\Temp", __LINE__},
      {u"\"str\"=\"c:\\\\temp\"", EntryStatus::Same, u"C:\\Temp", __LINE__},
      {u"\"Mixed\"=\"HELLO world\"", EntryStatus::Same, u"Hello World", __LINE__},
      {u"\"Mixed\"=\"Bye\"", EntryStatus::Changed, u"Hello World", __LINE__},
      {u"\"Empty\"=\"\"", EntryStatus::Same, u"", __LINE__},
      {u"@=\"default text\"", EntryStatus::Same, u"default text", __LINE__},
      {u"\"@\"=\"other\"", EntryStatus::Changed, u"default text", __LINE__},
      // A name written with escapes is looked up decoded.
      {u"\"C:\\\\foo\"=\"escaped name\"", EntryStatus::Same, u"escaped name", __LINE__},
      {u"\"Absent\"=\"x\"", EntryStatus::Missing, u"", __LINE__},
      // Dwords: the live value in lower case.
      {u"\"Dw\"=dword:0000001f", EntryStatus::Same, u"0x1f", __LINE__},
      {u"\"Dw\"=dword:20", EntryStatus::Changed, u"0x1f", __LINE__},
      // Data of the other types is compared byte by byte; the registry holds
      // data that the list does not present.
      {u"\"Bin\"=hex:01,02,03", EntryStatus::Same, u"[not presentable value]", __LINE__},
      {u"\"Bin\"=hex:01,02,04", EntryStatus::Changed, u"[not presentable value]", __LINE__},
      {u"\"Bin\"=hex:01,02", EntryStatus::Changed, u"[not presentable value]", __LINE__},
      {u"\"Bin\"=hex:", EntryStatus::Changed, u"[not presentable value]", __LINE__},
      {u"\"EmptyBin\"=hex:", EntryStatus::Same, u"[not presentable value]", __LINE__},
      {u"\"EmptyBin\"=hex:00,01", EntryStatus::Changed, u"[not presentable value]", __LINE__},
      {u"\"Exp\"=hex(2):41,00,00,00", EntryStatus::Same, u"[not presentable value]", __LINE__},
      {u"\"Exp\"=hex(2):42,00,00,00", EntryStatus::Changed, u"[not presentable value]", __LINE__},
      {u"\"Multi\"=hex(7):61,00,00,00,00,00", EntryStatus::Same, u"[not presentable value]", __LINE__},
      {u"\"Multi\"=hex(7):62,00,00,00,00,00", EntryStatus::Changed, u"[not presentable value]", __LINE__},
      {u"\"Q\"=hex(b):01,00,00,00,00,00,00,00", EntryStatus::Same, u"[not presentable value]", __LINE__},
      {u"\"Q\"=hex(b):02,00,00,00,00,00,00,00", EntryStatus::Changed, u"[not presentable value]", __LINE__},
      // Values larger than one read, and a short string after them.
      {u"\"Long\"=\"" + std::u16string(3000, u'A') + u"B\"", EntryStatus::Same, std::u16string(3000, u'a') + u"b", __LINE__},
      {u"\"Long\"=\"" + std::u16string(3001, u'a') + u"\"", EntryStatus::Changed, std::u16string(3000, u'a') + u"b",
       __LINE__},
      {u"\"NoNul\"=\"A\"", EntryStatus::Same, u"A", __LINE__},
      {HexLine(u"BigBin", BigBlock()), EntryStatus::Same, u"[not presentable value]", __LINE__},
      {HexLine(u"BigBin", [] { auto b = BigBlock(); b.back() ^= 1; return b; }()), EntryStatus::Changed, u"[not presentable value]", __LINE__},
      {u"\"ShortDw\"=dword:5", EntryStatus::Same, u"0x5", __LINE__},
      {u"\"ShortDw\"=dword:105", EntryStatus::Changed, u"0x5", __LINE__},
      // Another type.
      {u"\"Str\"=hex(2):43,00,00,00", EntryStatus::ChangedType, u"C:\\Temp", __LINE__},
      {u"\"Str\"=dword:1", EntryStatus::ChangedType, u"C:\\Temp", __LINE__},
      {u"\"Dw\"=\"31\"", EntryStatus::ChangedType, u"0x1f", __LINE__},
      {u"\"Bin\"=hex(0):01,02,03", EntryStatus::ChangedType, u"[not presentable value]", __LINE__},
      {u"\"None\"=hex(0):01", EntryStatus::Same, u"[not presentable value]", __LINE__},
      {u"\"None\"=hex(0):02", EntryStatus::Changed, u"[not presentable value]", __LINE__},
      {u"\"None\"=hex:01", EntryStatus::ChangedType, u"[not presentable value]", __LINE__},
      // Deletions.
      {u"\"Str\"=-", EntryStatus::ChangedType, u"C:\\Temp", __LINE__},
      {u"\"Absent\"=-", EntryStatus::Missing, u"", __LINE__},
      {u"\"Absent\"=-", EntryStatus::Delete, u"", __LINE__, u"no\\such\\key"},
      {u"\"Absent\"=\"x\"", EntryStatus::Missing, u"", __LINE__, u"no\\such\\key"},
      // Refused lines are never compared as another type; the registry's
      // string is shown all the same.
      {u"\"Str\"=:\"C:\\\\Temp\"", EntryStatus::ChangedType, u"C:\\Temp", __LINE__},
      {u"\"Absent\"=qword:1", EntryStatus::Missing, u"", __LINE__},
  };
  for (const Case& c : cases) {
    const ChangeEntry e = Load(c.line, c.sub);
    EXPECT_EQ(Show(StatusText(e.status())), Show(StatusText(c.status))) << "case at line " << c.line_no;
    EXPECT_EQ(Show(e.ColumnText(6)), Show(c.live)) << "case at line " << c.line_no;
  }
}

TEST_P(CompareTest, UnknownRootsAreNeverComparedWithAnotherRoot) {
  const std::u16string text = u"Windows Registry Editor Version 5.00\r\n[HKEY_CURRENT_USERX\\" + Path(u"k") +
                              u"]\r\n\"Str\"=\"C:\\\\Temp\"\r\n\"Str\"=-\r\n[-HKEY_CURRENT_USER\\" + Path(u"k") +
                              u"]\r\n\"Str\"=-\r\n";
  const std::vector<ChangeEntry> rows = LoadRows(text, reg());
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_EQ(rows[0].status(), EntryStatus::Missing);
  EXPECT_EQ(rows[1].status(), EntryStatus::Delete);
  EXPECT_EQ(rows[2].form(), EntryForm::DeleteKey);  // the key deletion's own row
  EXPECT_TRUE(rows[3].refused());  // below the key deletion: refused, under the deleted key
  EXPECT_TRUE(rows[3].root());
}

TEST_P(CompareTest, CountsByStatus) {
  const std::u16string text = u"Windows Registry Editor Version 5.00\r\n[HKEY_CURRENT_USER\\" + Path(u"k") +
                              u"]\r\n\"Str\"=\"C:\\\\Temp\"\r\n\"Dw\"=dword:2\r\n\"Str\"=-\r\n\"A\"=\"x\"\r\n\"B\"=-\r\n" +
                              u"[HKCU\\" + Path(u"nokey") + u"]\r\n\"C\"=-\r\n";
  RecordingReport report;
  const LoadSummary s = RunLoadText(text, u"t.reg", &reg(), report);
  EXPECT_EQ(s.counts.matched, 1u);
  EXPECT_EQ(s.counts.differ, 2u);
  EXPECT_EQ(s.counts.do_not_exist, 2u);  // "A" and "B"; the deletion under a missing key counts nowhere
  EXPECT_EQ(report.events.back(), u"1:1 matched, 2 differ, 2 do not exist");
}

// The console's texts, then the list's one-line texts of both data columns
// (Copy puts the latter on the clipboard).
TEST_P(CompareTest, RowTexts) {
  const std::u16string big_shown =
      u"00 07 0E 15 1C 23 2A 31 38 3F 46 4D 54 5B 62 69 70 77 7E 85 8C 93 9A A1 A8 AF B6 BD C4 CB D2 D9";
  struct Case {
    std::u16string line;
    std::u16string type, file, live, name;
    bool block;
    int line_no;
    std::u16string list_file, list_live;
  } cases[] = {
      {u"\"p\"=\"a\\\"b\"", u"REG_SZ", u"a\"b", u"", u"p", false, __LINE__, u"a\"b", u""},
      {u"\"Dw\"=dword:1F", u"REG_DWORD", u"0x1F", u"0x1f", u"Dw", true, __LINE__, u"0x1F", u"0x1f"},
      {u"\"Dw\"=dword:0", u"REG_DWORD", u"0x0", u"0x1f", u"Dw", true, __LINE__, u"0x0", u"0x1f"},
      {u"\"Multi\"=hex(7):61,00,00,00,00,00", u"REG_MULTI_SZ", u"[not presentable value]",
       u"[not presentable value]", u"Multi", true, __LINE__, u"a", u"a"},
      {u"\"Multi\"=hex(7):61,00,00,00,00,00,62,00,09,00,00,00,00,00", u"REG_MULTI_SZ", u"[not presentable value]",
       u"[not presentable value]", u"Multi", true, __LINE__, u"a |  | b<TAB>", u"a"},
      {u"\"x\"=-", u"DELETE", u"[not presentable value]", u"", u"x", false, __LINE__, u"(delete)", u""},
      {u"\"Str\"=-", u"DELETE", u"[not presentable value]", u"C:\\Temp", u"Str", false, __LINE__, u"(delete)",
       u"C:\\Temp"},
      {u"@=\"d\"", u"REG_SZ", u"d", u"default text", u"@", false, __LINE__, u"d", u"default text"},
      // "q" is the registry's REG_QWORD "Q".
      // A refused line shows why in place of its data.
      {u"\"q\"=qword:5", u"UNKNOWN - ERROR", u"line 4: \"qword:5\" is no data form (a string, dword: or hex)",
       u"[not presentable value]", u"q", false, __LINE__,
       u"line 4: \"qword:5\" is no data form (a string, dword: or hex)", u"0x1"},
      {u"\"Q\"=hex(b):fe,ca,00,00,00,00,00,01", u"REG_QWORD", u"[not presentable value]",
       u"[not presentable value]", u"Q", true, __LINE__, u"0x10000000000CAFE", u"0x1"},
      {u"\"Q\"=hex(b):fe,ca", u"REG_QWORD", u"[not presentable value]", u"[not presentable value]", u"Q", true,
       __LINE__, u"FE CA", u"0x1"},
      {u"\"e\"=hex:", u"REG_BINARY", u"[not presentable value]", u"", u"e", false, __LINE__, u"(0 bytes)", u""},
      {u"\"Bin\"=hex:0a,ff", u"REG_BINARY", u"[not presentable value]", u"[not presentable value]", u"Bin", true,
       __LINE__, u"0A FF", u"01 02 03"},
      {HexLine(u"BigBin", BigBlock()), u"REG_BINARY", u"[not presentable value]", u"[not presentable value]",
       u"BigBin", true, __LINE__, big_shown + u" ... (9000 bytes)", big_shown + u" ... (9000 bytes)"},
      {u"\"Exp\"=hex(2):25,00,50,00,0d,00,0a,00,00,00", u"REG_EXPAND_SZ", u"[not presentable value]",
       u"[not presentable value]", u"Exp", true, __LINE__, u"%P<CR><LF>", u"A"},
      {u"\"None\"=hex(8):ab", u"REG_RESOURCE_LIST", u"[not presentable value]", u"[not presentable value]", u"None",
       true, __LINE__, u"AB", u"01"},
      {u"\"ShortDw\"=hex(4):05,00,00,00", u"REG_DWORD", u"[not presentable value]", u"0x5", u"ShortDw", true,
       __LINE__, u"0x5", u"05"},
      {u"\"Long\"=\"x\"", u"REG_SZ", u"x", std::u16string(3000, u'a') + u"b", u"Long", false, __LINE__, u"x",
       std::u16string(3000, u'a') + u"b"},
  };
  for (const Case& c : cases) {
    const ChangeEntry e = Load(c.line);
    EXPECT_EQ(e.ColumnText(0), u"HKEY_CURRENT_USER");
    EXPECT_EQ(e.ColumnText(2), Path(u"k"));
    EXPECT_EQ(Show(e.ColumnText(3)), Show(c.name)) << "case at line " << c.line_no;
    EXPECT_EQ(Show(e.ColumnText(4)), Show(c.type)) << "case at line " << c.line_no;
    EXPECT_EQ(Show(e.ColumnText(5)), Show(c.file)) << "case at line " << c.line_no;
    EXPECT_EQ(Show(e.ColumnText(6)), Show(c.live)) << "case at line " << c.line_no;
    EXPECT_EQ(Show(e.ColumnText(5, DataTextStyle::OneLine)), Show(c.list_file)) << "case at line " << c.line_no;
    EXPECT_EQ(Show(e.ColumnText(6, DataTextStyle::OneLine)), Show(c.list_live)) << "case at line " << c.line_no;
    EXPECT_EQ(e.has_block(), c.block) << "case at line " << c.line_no;
    EXPECT_EQ(e.line(), 4u) << "case at line " << c.line_no;
  }
}

// hex(N) lines are compared by type and bytes exactly, whatever the type.
TEST_P(CompareTest, NumberedHexValuesCompareTypeAndBytes) {
  struct Case {
    std::u16string line;
    EntryStatus status;
    int line_no;
  } cases[] = {
      {u"\"Str\"=hex(1):43,00,3a,00,5c,00,54,00,65,00,6d,00,70,00,00,00", EntryStatus::Same, __LINE__},
      {u"\"Str\"=hex(1):63,00,3a,00,5c,00,54,00,65,00,6d,00,70,00,00,00", EntryStatus::Changed, __LINE__},  // case
      {u"\"Str\"=hex(1):43,00,3a,00,5c,00,54,00,65,00,6d,00,70,00", EntryStatus::Changed, __LINE__},  // no NUL
      {u"\"NoNul\"=hex(1):41,00", EntryStatus::Same, __LINE__},
      {u"\"Dw\"=hex(4):1f,00,00,00", EntryStatus::Same, __LINE__},
      {u"\"Dw\"=hex(4):1f,00", EntryStatus::Changed, __LINE__},
      {u"\"Bin\"=hex(3):01,02,03", EntryStatus::Same, __LINE__},
      {u"\"Bin\"=hex(4):01,02,03", EntryStatus::ChangedType, __LINE__},
      {u"\"None\"=hex(8):01", EntryStatus::ChangedType, __LINE__},
      {u"\"Absent\"=hex(5):01", EntryStatus::Missing, __LINE__},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Load(c.line).status(), c.status) << "case at line " << c.line_no;
  }
}

// A key deletion: DELETE when the key is absent, else CHANGED TYPE with what
// its subtree holds; a key created after a deletion: SAME or MISSING.
TEST_P(CompareTest, KeyRows) {
  MakeKey(u"tree\\a\\b");
  PutDword(u"tree", u"x", 1);
  PutDword(u"tree\\a", u"y", 1);
  PutDword(u"tree\\a\\b", u"z", 1);
  MakeKey(u"tree\\c");
  const std::u16string text = u"Windows Registry Editor Version 5.00\r\n[-HKCU\\" + Path(u"tree") + u"]\r\n" +
                              u"[-HKCU\\" + Path(u"absent") + u"]\r\n[-HKCU\\" + Path(u"tree\\c") + u"]\r\n" +
                              u"[HKCU\\" + Path(u"tree\\a") + u"]\r\n[HKCU\\" + Path(u"tree\\new") + u"]\r\n";
  RecordingReport report;
  const LoadSummary summary = RunLoadText(text, u"t.reg", &reg(), report);
  std::vector<std::string> rows;
  for (const ChangeEntry& e : report.entries) {
    std::string row;
    for (int c : {1, 3, 4, 5, 6}) row += Show(e.ColumnText(c)) + "|";
    rows.push_back(row);
  }
  EXPECT_EQ(rows, (std::vector<std::string>{
                      "CHANGED TYPE||DELETE KEY|[not presentable value]|3 values, 3 subkeys|",
                      "DELETE||DELETE KEY|[not presentable value]||",
                      "CHANGED TYPE||DELETE KEY|[not presentable value]|0 values, 0 subkeys|",
                      "SAME||CREATE KEY|[not presentable value]||",
                      "MISSING||CREATE KEY|[not presentable value]||",
                  }));
  EXPECT_EQ(summary.counts.differ, 2u);
  EXPECT_EQ(summary.counts.matched, 1u);
  EXPECT_EQ(summary.counts.do_not_exist, 1u);
}

TEST_P(CompareTest, TheComparisonOnlyReads) {
  Load(u"\"Absent\"=\"x\"", u"new\\key");
  RegKey key(reg());
  EXPECT_NE(key.Open(RegRoot::CurrentUser, Path(u"new"), kKeyRead), kRegOk);
}

INSTANTIATE_TEST_SUITE_P(Registries, CompareTest, ::testing::ValuesIn(test::AllRegistryKinds()), test::KindName);

}  // namespace
}  // namespace hivemend
