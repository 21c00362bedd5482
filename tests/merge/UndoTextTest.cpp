// The undo text: every line form, the data part of each type, key lines, and
// the failure texts of values that cannot be recorded.
#include <gtest/gtest.h>

#include "engine/Baseline.h"
#include "merge/UndoText.h"
#include "MergeTestSupport.h"

namespace hivemend::test {
namespace {

constexpr RegRoot kCU = RegRoot::CurrentUser;
constexpr std::u16string_view kHeader = u"Windows Registry Editor Version 5.00\r\n\r\n";

struct DataCase {
  int line;
  std::uint32_t type;
  std::vector<std::uint8_t> bytes;
  const char16_t* expected;  // nullptr: not expressible
  DataPartResult result = DataPartResult::Ok;
};

TEST(UndoDataPart, EachTypeIsWrittenAsTheReaderReadsIt) {
  const DataCase cases[] = {
      {__LINE__, kRegSz, StringBytes(u"plain text"), u"\"plain text\""},
      {__LINE__, kRegSz, StringBytes(u"\\\\server\\share"), u"\"\\\\\\\\server\\\\share\""},
      {__LINE__, kRegSz, StringBytes(u"say \"hi\""), u"\"say \\\"hi\\\"\""},
      {__LINE__, kRegSz, StringBytes(u""), u"\"\""},
      {__LINE__, kRegSz, {}, u"\"\""},
      {__LINE__, kRegSz, StringBytes(u"no nul", false), u"\"no nul\""},
      {__LINE__, kRegSz, {'a', 0, 0, 0, 'b', 0, 0, 0}, u"\"a\""},  // up to the first NUL
      {__LINE__, kRegSz, {'a', 0, 'b'}, u"\"ab\""},                // an odd last byte
      {__LINE__, kRegDword, DwordBytes(0x12345678), u"dword:12345678"},
      {__LINE__, kRegDword, DwordBytes(10), u"dword:a"},
      {__LINE__, kRegDword, DwordBytes(0), u"dword:0"},
      {__LINE__, kRegDword, DwordBytes(0xFFFFFFFF), u"dword:ffffffff"},
      {__LINE__, kRegDword, {0x0b, 0x0a}, u"dword:a0b"},  // missing bytes count as zero
      {__LINE__, kRegBinary, {0x00, 0x0a, 0xff}, u"hex(0):0,a,ff"},
      {__LINE__, kRegBinary, {}, u"hex(0):"},
      {__LINE__, kRegBinary, {0x0b}, u"hex(0):0b"},  // one digit alone would read as no data
      {__LINE__, kRegQword, {0x00}, u"hex(b):00"},
      {__LINE__, kRegBinary, {0x10}, u"hex(0):10"},
      {__LINE__, kRegExpandSz, StringBytes(u"%A%"), u"hex(2):25,0,41,0,25,0,0,0"},
      {__LINE__, kRegMultiSz, {'a', 0, 0, 0, 0, 0}, u"hex(7):61,0,0,0,0,0"},
      {__LINE__, kRegQword, {1, 2, 3, 4, 5, 6, 7, 0x80}, u"hex(b):1,2,3,4,5,6,7,80"},
      {__LINE__, kRegSz, StringBytes(u"two\r\nlines"), nullptr, DataPartResult::LineBreak},
      {__LINE__, kRegSz, StringBytes(u"lf\nonly"), nullptr, DataPartResult::LineBreak},
      {__LINE__, kRegNone, {1}, nullptr, DataPartResult::UnsupportedType},
      {__LINE__, kRegDwordBigEndian, {0, 0, 0, 1}, nullptr, DataPartResult::UnsupportedType},
      {__LINE__, kRegLink, {1}, nullptr, DataPartResult::UnsupportedType},
      {__LINE__, 8, {1}, nullptr, DataPartResult::UnsupportedType},
      {__LINE__, 0x7FFF, {}, nullptr, DataPartResult::UnsupportedType},
  };
  for (const DataCase& c : cases) {
    SCOPED_TRACE(testing::Message() << "case at line " << c.line);
    std::u16string out = u"=";
    EXPECT_EQ(FormatDataPart(c.type, c.bytes.data(), c.bytes.size(), out), c.result);
    if (c.expected) {
      EXPECT_EQ(Show(out), "=" + Show(c.expected));
    }
  }
}

TEST(UndoDataPart, AByteListStaysOnOneLineHoweverLong) {
  const std::vector<std::uint8_t> bytes(5000, 0xab);
  std::u16string out;
  ASSERT_EQ(FormatDataPart(kRegBinary, bytes.data(), bytes.size(), out), DataPartResult::Ok);
  EXPECT_EQ(out.size(), 7 + 5000 * 3 - 1);
  EXPECT_EQ(out.find_first_of(u"\r\n\\"), std::u16string::npos);
}

TEST(UndoDataPart, TypeTexts) {
  EXPECT_EQ(Show(RegistryTypeText(0)), "REG_NONE (0)");
  EXPECT_EQ(Show(RegistryTypeText(5)), "REG_DWORD_BIG_ENDIAN (5)");
  EXPECT_EQ(Show(RegistryTypeText(10)), "REG_RESOURCE_REQUIREMENTS_LIST (10)");
  EXPECT_EQ(Show(RegistryTypeText(12345)), "12345");
}

UndoRow MakeRow(std::u16string_view hive, std::u16string_view key, std::u16string_view name,
                std::uint32_t type = kRegSz, std::u16string_view status = u"CHANGED") {
  UndoRow row;
  row.hive = hive;
  row.root = RootFromName(hive).value_or(RegRoot::CurrentUser);
  row.key = key;
  row.value_name = name;
  row.type = type;
  row.status = test::StatusNamed(status);
  return row;
}

struct Recorded {
  std::u16string text;    // without the header
  std::u16string errors;
};

Recorded RecordAll(Registry& registry, const std::vector<UndoRow>& rows) {
  UndoText undo;
  Recorded out;
  for (const UndoRow& row : rows) undo.Record(registry, row, out.errors);
  EXPECT_TRUE(undo.text().starts_with(kHeader));
  out.text = undo.text().substr(kHeader.size());
  return out;
}

TEST(UndoText, StartsWithTheHeaderAndAnEmptyLine) {
  UndoText undo;
  EXPECT_EQ(Show(undo.text()), "Windows Registry Editor Version 5.00\r\n\r\n");
}

TEST(UndoText, ValueLinesFollowTheValuesPresentType) {
  MemoryRegistry registry;
  SetValue(registry, kCU, u"K", u"s", {kRegSz, StringBytes(u"C:\\Temp")});
  SetValue(registry, kCU, u"K", u"d", {kRegDword, DwordBytes(0x12345678)});
  SetValue(registry, kCU, u"K", u"", {kRegSz, StringBytes(u"default")});
  SetValue(registry, kCU, u"K", u"b", {kRegBinary, {}});
  SetValue(registry, kCU, u"K", u"x\\y", {kRegQword, {1, 0, 0, 0, 0, 0, 0, 0}});
  // The row's type does not matter: the line restores what is there now.
  const Recorded r = RecordAll(registry, {MakeRow(u"HKCU", u"K", u"s", kRegDword),
                                          MakeRow(u"HKCU", u"K", u"d", kRegSz),
                                          MakeRow(u"HKCU", u"K", u"@"),
                                          MakeRow(u"HKCU", u"K", u"b", DELETE_VALUE_TYPE),
                                          MakeRow(u"HKCU", u"K", u"x\\\\y")});
  EXPECT_EQ(Show(r.text),
            "[HKCU\\K]\r\n"
            "\"s\"=\"C:\\\\Temp\"\r\n"
            "\"d\"=dword:12345678\r\n"
            "\"@\"=\"default\"\r\n"
            "\"b\"=hex(0):\r\n"
            "\"x\\\\y\"=hex(b):1,0,0,0,0,0,0,0\r\n");
  EXPECT_EQ(Show(r.errors), "");
  EXPECT_EQ(registry.OpenHandles(), 0u);
}

TEST(UndoText, AbsentValuesGetADeletionLineExceptForDeletions) {
  MemoryRegistry registry;
  SetValue(registry, kCU, u"K", u"other", {kRegSz, StringBytes(u"x")});
  const Recorded r = RecordAll(registry, {MakeRow(u"HKCU", u"K", u"new", kRegSz, u"MISSING"),
                                          MakeRow(u"HKCU", u"K", u"gone", DELETE_VALUE_TYPE, u"DELETE"),
                                          MakeRow(u"HKCU", u"K", u"@", kRegDword, u"missing"),
                                          MakeRow(u"HKCU", u"No\\Key", u"v", kRegBinary, u"MISSING"),
                                          MakeRow(u"HKCU", u"No\\Key", u"w", DELETE_VALUE_TYPE, u"DELETE")});
  EXPECT_EQ(Show(r.text),
            "[HKCU\\K]\r\n"
            "\"new\"=-\r\n"
            "\"@\"=-\r\n"
            "[HKCU\\No\\Key]\r\n"
            "\"v\"=-\r\n");
  EXPECT_EQ(Show(r.errors), "");
}

TEST(UndoText, TheRegistryDecidesNotTheStatusTheRowWasLoadedWith) {
  MemoryRegistry registry;
  SetValue(registry, kCU, u"K", u"appeared", {kRegDword, DwordBytes(3)});
  // A row loaded as missing whose value was written since, and a row loaded
  // as present whose value was removed since.
  const Recorded r = RecordAll(registry, {MakeRow(u"HKCU", u"K", u"appeared", kRegDword, u"MISSING"),
                                          MakeRow(u"HKCU", u"K", u"vanished", kRegDword, u"SAME")});
  EXPECT_EQ(Show(r.text), "[HKCU\\K]\r\n\"appeared\"=dword:3\r\n\"vanished\"=-\r\n");
  EXPECT_EQ(Show(r.errors), "");
}

TEST(UndoText, OnlyTheFirstRowOfAValueRecordsIt) {
  MemoryRegistry registry;
  SetValue(registry, kCU, u"Key", u"a\\b", {kRegDword, DwordBytes(1)});
  UndoText undo;
  std::u16string errors;
  undo.Record(registry, MakeRow(u"HKCU", u"Key", u"a\\\\b", kRegDword), errors);
  SetValue(registry, kCU, u"Key", u"a\\b", {kRegDword, DwordBytes(2)});  // the first row applied
  // The same value again: another spelling of root, key, name and escape.
  undo.Record(registry, MakeRow(u"HKEY_CURRENT_USER", u"KEY\\", u"A\\b", kRegDword), errors);
  undo.Record(registry, MakeRow(u"hkcu", u"key", u"a\\\\B", DELETE_VALUE_TYPE), errors);
  EXPECT_EQ(Show(undo.text().substr(kHeader.size())), "[HKCU\\Key]\r\n\"a\\\\b\"=dword:1\r\n");
  EXPECT_EQ(Show(errors), "");
}

TEST(UndoText, KeyLines) {
  MemoryRegistry registry;
  const Recorded r = RecordAll(registry, {
                                             MakeRow(u"HKCU", u"A", u"1"),
                                             MakeRow(u"HKCU", u"A", u"2"),   // adjacent: shares
                                             MakeRow(u"HKCU", u"a", u"3"),   // letter case differs
                                             MakeRow(u"HKCU", u"B", u"4"),
                                             MakeRow(u"HKCU", u"A", u"5"),   // back again
                                             MakeRow(u"HKEY_CURRENT_USER", u"A", u"6"),  // hive text differs
                                             MakeRow(u"HKLM", u"", u"7"),    // the root itself
                                         });
  EXPECT_EQ(Show(r.text),
            "[HKCU\\A]\r\n\"1\"=-\r\n\"2\"=-\r\n"
            "[HKCU\\a]\r\n\"3\"=-\r\n"
            "[HKCU\\B]\r\n\"4\"=-\r\n"
            "[HKCU\\A]\r\n\"5\"=-\r\n"
            "[HKEY_CURRENT_USER\\A]\r\n\"6\"=-\r\n"
            "[HKLM\\]\r\n\"7\"=-\r\n");
}

struct ReadFailureCase {
  int line;
  FaultyRegistry::Op op;
  std::uint32_t type;
  const char16_t* status;
  const char16_t* name;
  const char16_t* expected_text;    // after the key line
  const char16_t* expected_errors;
};

TEST(UndoText, ValuesThatCannotBeReadAreReported) {
  const ReadFailureCase cases[] = {
      {__LINE__, FaultyRegistry::kOpen, kRegSz, u"CHANGED", u"v", u"",
       u"ERROR - Could not read from key HKCU\\Soft\\K value v for purpose of creating UNDO REG File\r\n"},
      {__LINE__, FaultyRegistry::kQuery, kRegDword, u"SAME", u"@", u"",
       u"ERROR - Could not read from key HKCU\\Soft\\K value <default@> for purpose of creating UNDO REG File\r\n"},
      {__LINE__, FaultyRegistry::kQuery, DELETE_VALUE_TYPE, u"SAME", u"v", u"",
       u"ERROR - Could not read from key HKCU\\Soft\\K value v for purpose of creating UNDO REG File\r\n"},
      // Loaded as missing: the row's own finding stands.
      {__LINE__, FaultyRegistry::kOpen, kRegSz, u"MISSING", u"v", u"\"v\"=-\r\n", u""},
      {__LINE__, FaultyRegistry::kOpen, DELETE_VALUE_TYPE, u"MISSING", u"v", u"", u""},
  };
  for (const ReadFailureCase& c : cases) {
    SCOPED_TRACE(testing::Message() << "case at line " << c.line);
    FaultyRegistry registry;
    SetValue(registry.memory(), kCU, u"Soft\\K", u"v", {kRegSz, StringBytes(u"x")});
    SetValue(registry.memory(), kCU, u"Soft\\K", u"", {kRegSz, StringBytes(u"x")});
    registry.FailOn(c.op, u"Soft\\K");
    const Recorded r = RecordAll(registry, {MakeRow(u"HKCU", u"Soft\\K", c.name, c.type, c.status)});
    EXPECT_EQ(Show(r.text), "[HKCU\\Soft\\K]\r\n" + Show(c.expected_text));
    EXPECT_EQ(Show(r.errors), Show(c.expected_errors));
    EXPECT_EQ(registry.memory().OpenHandles(), 0u);
  }
}

TEST(UndoText, ValuesTheFileCannotExpressAreReportedWithTheirType) {
  MemoryRegistry registry;
  SetValue(registry, kCU, u"K", u"none", {kRegNone, {1, 2}});
  SetValue(registry, kCU, u"K", u"", {kRegDwordBigEndian, {0, 0, 0, 1}});
  SetValue(registry, kCU, u"K", u"list", {8, {}});
  SetValue(registry, kCU, u"K", u"lines", {kRegSz, StringBytes(u"a\r\n[HKLM\\Injected]")});
  const Recorded r = RecordAll(registry, {MakeRow(u"HKCU", u"K", u"none"), MakeRow(u"HKCU", u"K", u"@"),
                                          MakeRow(u"HKCU", u"K", u"list", DELETE_VALUE_TYPE),
                                          MakeRow(u"HKCU", u"K", u"lines")});
  EXPECT_EQ(Show(r.text), "[HKCU\\K]\r\n");
  EXPECT_EQ(Show(r.errors),
            "ERROR - Could not record the previous state of key HKCU\\K value none in the UNDO REG File: "
            "its type REG_NONE (0) cannot be written there\r\n"
            "ERROR - Could not record the previous state of key HKCU\\K value <default@> in the UNDO REG File: "
            "its type REG_DWORD_BIG_ENDIAN (5) cannot be written there\r\n"
            "ERROR - Could not record the previous state of key HKCU\\K value list in the UNDO REG File: "
            "its type REG_RESOURCE_LIST (8) cannot be written there\r\n"
            "ERROR - Could not record the previous state of key HKCU\\K value lines in the UNDO REG File: "
            "its text holds a line break\r\n");
}

TEST(UndoText, LoadingTheUndoTextGivesBackTheSameValues) {
  MemoryRegistry registry;
  const std::u16string texts[] = {u"\\\\server\\share", u"a\"b", u"\\\"", u"end\\", u"\"", u"", u"%PATH%;x"};
  std::vector<UndoRow> rows;
  std::vector<std::u16string> names;
  for (size_t i = 0; i < std::size(texts); ++i) names.push_back(u"v" + Decimal(i));
  names.push_back(u"q\\\"uote");  // a name written with an escape
  for (size_t i = 0; i < names.size(); ++i) {
    const std::u16string text = i < std::size(texts) ? texts[i] : u"named";
    SetValue(registry, kCU, u"K", RegistryValueName(names[i]), {kRegSz, StringBytes(text)});
    rows.push_back(MakeRow(u"HKCU", u"K", names[i]));
  }
  const Recorded r = RecordAll(registry, rows);
  MemoryRegistry restored;
  std::u16string problem;
  ASSERT_TRUE(LoadBaselineText(std::u16string(kHeader) + r.text, restored, &problem)) << Show(problem);
  for (size_t i = 0; i < names.size(); ++i) {
    SCOPED_TRACE(Show(names[i]));
    EXPECT_EQ(GetValue(restored, kCU, u"K", RegistryValueName(names[i])),
              GetValue(registry, kCU, u"K", RegistryValueName(names[i])));
  }
}

}  // namespace
}  // namespace hivemend::test
