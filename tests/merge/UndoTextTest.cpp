// The undo text: every line form, the data part of each type, key lines, the
// undo step of the merge (what it records for each kind of row), and the
// failure texts of values that cannot be recorded.
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
      // Strings the quoted form cannot give back exactly.
      {__LINE__, kRegSz, {}, u"hex(1):"},
      {__LINE__, kRegSz, StringBytes(u"no nul", false), u"hex(1):6e,0,6f,0,20,0,6e,0,75,0,6c,0"},
      {__LINE__, kRegSz, {'a', 0, 0, 0, 'b', 0, 0, 0}, u"hex(1):61,0,0,0,62,0,0,0"},
      {__LINE__, kRegSz, {'a', 0, 'b'}, u"hex(1):61,0,62"},
      {__LINE__, kRegSz, StringBytes(u"two\r\nlines"), u"hex(1):74,0,77,0,6f,0,d,0,a,0,6c,0,69,0,6e,0,65,0,73,0,0,0"},
      {__LINE__, kRegDword, DwordBytes(0x12345678), u"dword:12345678"},
      {__LINE__, kRegDword, DwordBytes(10), u"dword:a"},
      {__LINE__, kRegDword, DwordBytes(0), u"dword:0"},
      {__LINE__, kRegDword, DwordBytes(0xFFFFFFFF), u"dword:ffffffff"},
      {__LINE__, kRegDword, {0x0b, 0x0a}, u"hex(4):b,a"},
      {__LINE__, kRegDword, {1, 2, 3, 4, 5}, u"hex(4):1,2,3,4,5"},
      {__LINE__, kRegBinary, {0x00, 0x0a, 0xff}, u"hex:0,a,ff"},
      {__LINE__, kRegBinary, {}, u"hex:"},
      {__LINE__, kRegBinary, {0x0b}, u"hex:0b"},  // one digit alone would read as no data
      {__LINE__, kRegQword, {0x00}, u"hex(b):00"},
      {__LINE__, kRegBinary, {0x10}, u"hex:10"},
      {__LINE__, kRegExpandSz, StringBytes(u"%A%"), u"hex(2):25,0,41,0,25,0,0,0"},
      {__LINE__, kRegMultiSz, {'a', 0, 0, 0, 0, 0}, u"hex(7):61,0,0,0,0,0"},
      {__LINE__, kRegQword, {1, 2, 3, 4, 5, 6, 7, 0x80}, u"hex(b):1,2,3,4,5,6,7,80"},
      {__LINE__, kRegDwordBigEndian, {0, 0, 0, 1}, u"hex(5):0,0,0,1"},
      {__LINE__, kRegLink, {1}, u"hex(6):01"},
      {__LINE__, 8, {1}, u"hex(8):01"},
      {__LINE__, 0x7FFF, {}, u"hex(7fff):"},
      {__LINE__, DELETE_VALUE_TYPE, {1, 2}, u"hex(f69b7):1,2"},
      {__LINE__, 0xFFFFFFFF, {1, 2}, u"hex(ffffffff):1,2"},
      // hex(0) is REG_NONE, as the registry editor writes it.
      {__LINE__, kRegNone, {1}, u"hex(0):01"},
      {__LINE__, kRegNone, {}, u"hex(0):"},
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
  EXPECT_EQ(out.size(), 4 + 5000 * 3 - 1);
  EXPECT_EQ(out.find_first_of(u"\r\n\\"), std::u16string::npos);
}

TEST(UndoDataPart, TypeTexts) {
  EXPECT_EQ(Show(RegistryTypeText(0)), "REG_NONE (0)");
  EXPECT_EQ(Show(RegistryTypeText(5)), "REG_DWORD_BIG_ENDIAN (5)");
  EXPECT_EQ(Show(RegistryTypeText(10)), "REG_RESOURCE_REQUIREMENTS_LIST (10)");
  EXPECT_EQ(Show(RegistryTypeText(12345)), "12345");
}

struct Recorded {
  std::u16string text;    // without the header
  std::u16string errors;
};

// The undo step of a merge of these rows, all checked, in this order.
Recorded RecordAll(Registry& registry, std::vector<ChangeEntry> rows) {
  EntryStore store;
  for (ChangeEntry& row : rows) store.at(store.Insert(std::move(row))).checked = true;
  UndoText undo;
  Recorded out;
  RowMerge(store, registry).RecordUndo(undo, out.errors);
  EXPECT_TRUE(undo.text().starts_with(kHeader));
  out.text = undo.text().substr(kHeader.size());
  return out;
}

template <typename... R>
std::vector<ChangeEntry> Rows(R&&... rows) {
  std::vector<ChangeEntry> all;
  (all.push_back(std::forward<R>(rows)), ...);
  return all;
}

ChangeEntry MakeRow(std::u16string_view hive, std::u16string_view key, std::u16string_view name,
                    std::u16string_view type = u"REG_SZ", std::u16string_view status = u"CHANGED") {
  return Row(hive, status, key, name, type, u"x", type == u"REG_DWORD" ? std::optional(DwordBytes(1)) : std::nullopt);
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
  const Recorded r = RecordAll(registry, Rows(MakeRow(u"HKCU", u"K", u"s", u"REG_DWORD"),
                                              MakeRow(u"HKCU", u"K", u"d", u"REG_SZ"), MakeRow(u"HKCU", u"K", u"@"),
                                              MakeRow(u"HKCU", u"K", u"b", u"DELETE"),
                                              MakeRow(u"HKCU", u"K", u"x\\\\y")));
  EXPECT_EQ(Show(r.text),
            "[HKCU\\K]\r\n"
            "\"s\"=\"C:\\\\Temp\"\r\n"
            "\"d\"=dword:12345678\r\n"
            "\"@\"=\"default\"\r\n"
            "\"b\"=hex:\r\n"
            "\"x\\\\y\"=hex(b):1,0,0,0,0,0,0,0\r\n");
  EXPECT_EQ(Show(r.errors), "");
  EXPECT_EQ(registry.OpenHandles(), 0u);
}

TEST(UndoText, AbsentValuesGetADeletionLineExceptForDeletions) {
  MemoryRegistry registry;
  SetValue(registry, kCU, u"K", u"other", {kRegSz, StringBytes(u"x")});
  const Recorded r = RecordAll(registry, Rows(MakeRow(u"HKCU", u"K", u"new", u"REG_SZ", u"MISSING"),
                                              MakeRow(u"HKCU", u"K", u"gone", u"DELETE", u"DELETE"),
                                              MakeRow(u"HKCU", u"K", u"@", u"REG_DWORD", u"missing"),
                                              MakeRow(u"HKCU", u"No\\Key", u"w", u"DELETE", u"DELETE")));
  EXPECT_EQ(Show(r.text),
            "[HKCU\\K]\r\n"
            "\"new\"=-\r\n"
            "\"@\"=-\r\n");
  EXPECT_EQ(Show(r.errors), "");
}

TEST(UndoText, KeysTheMergeCreatesAreDeletedFromTheTopmostOne) {
  MemoryRegistry registry;
  SetValue(registry, kCU, u"Soft", u"v", {kRegSz, StringBytes(u"x")});
  const Recorded r = RecordAll(registry, Rows(MakeRow(u"HKCU", u"Soft\\New\\Deeper", u"a", u"REG_SZ", u"MISSING"),
                                              MakeRow(u"HKCU", u"soft\\NEW", u"b", u"REG_SZ", u"MISSING"),
                                              MakeRow(u"HKEY_CURRENT_USER", u"Other\\Key", u"c", u"REG_DWORD"),
                                              MakeRow(u"HKCU", u"Soft\\Gone", u"d", u"DELETE", u"DELETE")));
  EXPECT_EQ(Show(r.text), "[-HKCU\\Soft\\New]\r\n[-HKEY_CURRENT_USER\\Other]\r\n");
  EXPECT_EQ(Show(r.errors), "");
}

TEST(UndoText, DeletedKeysComeBackWithTheirWholeSubtree) {
  MemoryRegistry registry;
  SetValue(registry, kCU, u"Top\\Tree", u"", {kRegSz, StringBytes(u"default")});
  SetValue(registry, kCU, u"Top\\Tree", u"n", {kRegNone, {1}});
  SetValue(registry, kCU, u"Top\\Tree\\Sub", u"b", {kRegBinary, {1, 2}});
  {
    RegKey empty(registry);
    ASSERT_EQ(empty.Create(kCU, u"Top\\Tree\\Sub\\Empty", kKeyWrite), kRegOk);
  }
  const Recorded r = RecordAll(registry, Rows(MakeRow(u"HKCU", u"top\\TREE", u"", u"DELETE KEY"),
                                              MakeRow(u"HKCU", u"Top\\Absent", u"", u"DELETE KEY", u"DELETE")));
  EXPECT_EQ(Show(r.text),
            "[-HKCU\\top\\TREE]\r\n"
            "[HKCU\\top\\Tree]\r\n@=\"default\"\r\n\"n\"=hex(0):01\r\n"
            "[HKCU\\top\\Tree\\Sub]\r\n\"b\"=hex:1,2\r\n"
            "[HKCU\\top\\Tree\\Sub\\Empty]\r\n\r\n");
  EXPECT_EQ(Show(r.errors), "");
}

TEST(UndoText, AllRowsAreRecordedBeforeAnyIsWritten) {
  MemoryRegistry registry;
  SetValue(registry, kCU, u"Key", u"a\\b", {kRegDword, DwordBytes(1)});
  // The same value three times: other spellings of root, key, name and escape.
  const Recorded r = RecordAll(registry, Rows(MakeRow(u"HKCU", u"Key", u"a\\\\b", u"REG_DWORD"),
                                              MakeRow(u"HKEY_CURRENT_USER", u"KEY\\", u"A\\b", u"REG_DWORD"),
                                              MakeRow(u"hkcu", u"key", u"a\\\\B", u"DELETE")));
  EXPECT_EQ(Show(r.text), "[HKCU\\Key]\r\n\"a\\\\b\"=dword:1\r\n");
  EXPECT_EQ(Show(r.errors), "");
  EXPECT_EQ(GetValue(registry, kCU, u"Key", u"a\\b"), (Value{kRegDword, DwordBytes(1)}));
}

TEST(UndoText, KeyLines) {
  MemoryRegistry registry;
  for (const char16_t* key : {u"A", u"B"}) {
    RegKey k(registry);
    ASSERT_EQ(k.Create(kCU, key, kKeyWrite), kRegOk);
  }
  const Recorded r = RecordAll(registry, Rows(MakeRow(u"HKCU", u"A", u"1"),
                                              MakeRow(u"HKCU", u"A", u"2"),   // adjacent: shares
                                              MakeRow(u"HKCU", u"a", u"3"),   // letter case differs
                                              MakeRow(u"HKCU", u"B", u"4"),
                                              MakeRow(u"HKCU", u"A", u"5"),   // back again
                                              MakeRow(u"HKEY_CURRENT_USER", u"A", u"6"),  // hive text differs
                                              MakeRow(u"HKLM", u"", u"7")));  // the root itself
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
  const char16_t* type;
  const char16_t* name;
  const char16_t* expected_errors;
};

TEST(UndoText, ValuesThatCannotBeReadAreReported) {
  const ReadFailureCase cases[] = {
      {__LINE__, FaultyRegistry::kOpen, u"REG_SZ", u"v",
       u"ERROR - Could not read from key HKCU\\Soft\\K value v for purpose of creating UNDO REG File\r\n"},
      {__LINE__, FaultyRegistry::kQuery, u"REG_DWORD", u"@",
       u"ERROR - Could not read from key HKCU\\Soft\\K value <default@> for purpose of creating UNDO REG File\r\n"},
      {__LINE__, FaultyRegistry::kQuery, u"DELETE", u"v",
       u"ERROR - Could not read from key HKCU\\Soft\\K value v for purpose of creating UNDO REG File\r\n"},
      {__LINE__, FaultyRegistry::kOpen, u"DELETE", u"v",
       u"ERROR - Could not read from key HKCU\\Soft\\K value v for purpose of creating UNDO REG File\r\n"},
  };
  for (const ReadFailureCase& c : cases) {
    SCOPED_TRACE(testing::Message() << "case at line " << c.line);
    FaultyRegistry registry;
    SetValue(registry.memory(), kCU, u"Soft\\K", u"v", {kRegSz, StringBytes(u"x")});
    SetValue(registry.memory(), kCU, u"Soft\\K", u"", {kRegSz, StringBytes(u"x")});
    registry.FailOn(c.op, u"Soft\\K");
    const Recorded r = RecordAll(registry, Rows(MakeRow(u"HKCU", u"Soft\\K", c.name, c.type)));
    EXPECT_EQ(Show(r.text), "");
    EXPECT_EQ(Show(r.errors), Show(c.expected_errors));
  }
}

TEST(UndoText, EveryTypeIsRecordedExactly) {
  MemoryRegistry registry;
  SetValue(registry, kCU, u"K", u"none", {kRegNone, {1, 2}});
  SetValue(registry, kCU, u"K", u"", {kRegDwordBigEndian, {0, 0, 0, 1}});
  SetValue(registry, kCU, u"K", u"list", {8, {}});
  SetValue(registry, kCU, u"K", u"lines", {kRegSz, StringBytes(u"a\r\n[")});
  const Recorded r = RecordAll(registry, Rows(MakeRow(u"HKCU", u"K", u"none"), MakeRow(u"HKCU", u"K", u"@"),
                                              MakeRow(u"HKCU", u"K", u"list", u"DELETE"),
                                              MakeRow(u"HKCU", u"K", u"lines")));
  EXPECT_EQ(Show(r.text),
            "[HKCU\\K]\r\n\"none\"=hex(0):1,2\r\n\"@\"=hex(5):0,0,0,1\r\n\"list\"=hex(8):\r\n"
            "\"lines\"=hex(1):61,0,d,0,a,0,5b,0,0,0\r\n");
  EXPECT_EQ(Show(r.errors), "");
}

TEST(UndoText, LoadingTheUndoTextGivesBackTheSameValues) {
  MemoryRegistry registry;
  const std::u16string texts[] = {u"\\\\server\\share", u"a\"b", u"\\\"", u"end\\", u"\"", u"", u"%PATH%;x"};
  std::vector<ChangeEntry> rows;
  std::vector<std::u16string> names;
  for (size_t i = 0; i < std::size(texts); ++i) names.push_back(u"v" + Decimal(i));
  names.push_back(u"q\\\"uote");  // a name written with an escape
  for (size_t i = 0; i < names.size(); ++i) {
    const std::u16string text = i < std::size(texts) ? texts[i] : u"named";
    SetValue(registry, kCU, u"K", RegistryValueName(names[i]), {kRegSz, StringBytes(text)});
    rows.push_back(MakeRow(u"HKCU", u"K", names[i]));
  }
  const Recorded r = RecordAll(registry, std::move(rows));
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
