// The texts of the details view: each type's data, the hex dump with its
// marked differences, and the registry's side read through the interface.
#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#endif

#include <chrono>
#include <cstdlib>

#include "engine/ValueDetails.h"
#include "platform/Environment.h"
#include "platform/MemoryRegistry.h"
#include "tests/EntryBuilder.h"
#include "tests/RegistryValues.h"
#include "tests/TestSupport.h"

namespace hivemend {
namespace {

using test::Show;
using Bytes = std::vector<std::uint8_t>;

std::u16string ExpandForTest(std::u16string_view text) {
  std::u16string out(text);
  const std::u16string from = u"%SystemRoot%";
  if (const size_t at = out.find(from); at != std::u16string::npos) out.replace(at, from.size(), u"C:\\Windows");
  return out;
}

TEST(ValueDetails, DataTextByType) {
  struct Case {
    int line;
    std::uint32_t type;
    Bytes bytes;
    std::u16string text;
  };
  const Case cases[] = {
      {__LINE__, kRegSz, test::StringBytes(u"Hello, world"), u"Hello, world\r\n"},
      {__LINE__, kRegSz, test::StringBytes(u"a\tb\r\nc\nd\re\x1b\x7f"),
       u"a<TAB>b<CR><LF>\r\nc<LF>\r\nd<CR>\r\ne<U+001B><U+007F>\r\n"},
      // Only the NUL that ends the data is not shown; one without NUL is whole.
      {__LINE__, kRegSz, test::StringBytes(std::u16string(u"a\0b", 3)), u"a<NUL>b\r\n"},
      {__LINE__, kRegSz, test::StringBytes(u"ab", false), u"ab\r\n"},
      {__LINE__, kRegSz, test::StringBytes(u""), u"<empty>\r\n"},
      {__LINE__, kRegSz, {0x41, 0, 0x42}, u"(3 bytes, an odd number: the last byte, 42, is not shown)\r\nA\r\n"},
      {__LINE__, kRegExpandSz, test::StringBytes(u"%SystemRoot%\\x"),
       u"As written: %SystemRoot%\\x\r\nExpanded:   C:\\Windows\\x\r\n"},
      {__LINE__, kRegMultiSz, test::StringBytes(std::u16string(u"one\0\0three\0", 11)),
       u"1: one\r\n2: <empty>\r\n3: three\r\n"},
      // An empty last item before the end of the list, and a list cut short.
      {__LINE__, kRegMultiSz, test::StringBytes(std::u16string(u"a\0\0", 3)), u"1: a\r\n2: <empty>\r\n"},
      {__LINE__, kRegMultiSz, test::StringBytes(u"a\tb", false), u"1: a<TAB>b\r\n"},
      {__LINE__, kRegMultiSz, {0, 0}, u"1: <empty>\r\n"},
      {__LINE__, kRegMultiSz, {}, u"(no items)\r\n"},
      {__LINE__, kRegDword, {0x1F, 0, 0, 0}, u"0x0000001F (31)\r\n"},
      {__LINE__, kRegDword, {0xFF, 0xFF, 0xFF, 0xFF}, u"0xFFFFFFFF (4294967295)\r\n"},
      {__LINE__, kRegDword, {5}, u"(1 bytes, not the 4 of a REG_DWORD) 05\r\n"},
      {__LINE__, kRegQword, {1, 0, 0, 0, 0, 0, 0, 0x80}, u"0x8000000000000001 (9223372036854775809)\r\n"},
      {__LINE__, kRegQword, {}, u"(0 bytes, not the 8 of a REG_QWORD) (none)\r\n"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Show(DataText(c.type, c.bytes, ExpandForTest)), Show(c.text)) << "case at line " << c.line;
  }
  for (std::uint32_t type : {kRegNone, kRegBinary, kRegDwordBigEndian, kRegLink, 8u, 12u, 0x12345u})
    EXPECT_TRUE(ShownAsDump(type)) << type;
  for (std::uint32_t type : {kRegSz, kRegExpandSz, kRegMultiSz, kRegDword, kRegQword})
    EXPECT_FALSE(ShownAsDump(type)) << type;
}

TEST(ValueDetails, HexDumpMarksTheBytesThatDiffer) {
  Bytes file(20), live(18);
  for (size_t i = 0; i < file.size(); ++i) file[i] = static_cast<std::uint8_t>(0x41 + i);
  for (size_t i = 0; i < live.size(); ++i) live[i] = file[i];
  live[1] = 0x00;
  const HexDump dump(file, std::span<const std::uint8_t>(live));
  ASSERT_EQ(dump.line_count(), 2u);
  EXPECT_EQ(dump.differing_bytes(), 3u);  // one changed, two beyond the registry's end
  EXPECT_EQ(Show(dump.HeaderLine()), Show(u"  Offset   REG file data" + std::u16string(53, u' ') +
                                          u" | Current HIVE data"));
  EXPECT_EQ(Show(dump.Line(0)),
            "* 00000000  41*42 43 44 45 46 47 48 49 4A 4B 4C 4D 4E 4F 50  ABCDEFGHIJKLMNOP | "
            " 41*00 43 44 45 46 47 48 49 4A 4B 4C 4D 4E 4F 50  A.CDEFGHIJKLMNOP");
  EXPECT_EQ(Show(dump.Line(1)),
            "* 00000010  51 52*53*54" + std::string(36, ' ') + "  QRST             | "
            " 51 52" + std::string(42, ' ') + "  QR");
  EXPECT_TRUE(dump.LineDiffers(0));
  const HexDump same(file, std::span<const std::uint8_t>(file));
  EXPECT_FALSE(same.LineDiffers(0));
  EXPECT_FALSE(same.LineDiffers(1));
  EXPECT_EQ(same.differing_bytes(), 0u);
  // Without a registry side nothing is marked.
  const HexDump alone(file, std::nullopt);
  EXPECT_EQ(Show(alone.Line(1)), "  00000010  51 52 53 54" + std::string(36, ' ') + "  QRST");
  EXPECT_EQ(HexDump(Bytes{}, std::nullopt).line_count(), 0u);
}

// A row as the load makes it, and the registry's side as it is now.
struct Fixture {
  MemoryRegistry registry;
  void Put(std::u16string_view name, std::uint32_t type, const Bytes& data) {
    test::SetValue(registry, RegRoot::CurrentUser, u"Software\\Demo", name, {type, data});
  }
};

TEST(ValueDetails, SummaryAndBothSides) {
  Fixture f;
  f.Put(u"Greeting", kRegSz, test::StringBytes(u"hello, WORLD"));
  f.Put(u"Blob", kRegBinary, {1, 2, 3});
  test::EntryFields fields;
  fields.root_name = u"HKCU";
  fields.path = u"Software\\Demo";
  fields.name = u"Greeting";
  fields.status = EntryStatus::Same;
  fields.file = test::StringBytes(u"Hello, world");
  fields.line = 7;
  const ChangeEntry greeting = test::MakeEntry(fields);
  const ValueDetails text(greeting, ReadLiveValue(&f.registry, greeting), u"12:00:00", ExpandForTest);
  EXPECT_FALSE(text.is_dump());
  EXPECT_EQ(Show(text.Text()),
            "Root:               HKEY_CURRENT_USER (written as HKCU)\r\n"
            "Key:                Software\\Demo\r\n"
            "Value name:         Greeting as written; Greeting in the registry\r\n"
            "Status:             SAME (when the file was loaded)\r\n"
            "Letter case:        the registry's text differs from the file's in letter case only; a merge writes "
            "the file's spelling\r\n"
            "Type:               REG_SZ in the file; REG_SZ in the registry\r\n"
            "Line in the file:   7\r\n"
            "Current HIVE data:  read from the registry when this view opened, at 12:00:00\r\n"
            "\r\n"
            "REG file data:\r\nHello, world\r\n\r\n"
            "Current HIVE data:\r\nhello, WORLD\r\n");

  // No such line when the texts are equal, or differ in more than case.
  for (const std::u16string_view file : {u"hello, WORLD", u"Hello, there"}) {
    fields.file = test::StringBytes(file);
    const ChangeEntry other = test::MakeEntry(fields);
    const ValueDetails other_text(other, ReadLiveValue(&f.registry, other), {}, ExpandForTest);
    EXPECT_EQ(other_text.summary().find(u"Letter case:"), std::u16string::npos) << Show(file);
  }

  // A binary value: one dump of both sides.
  fields.name = u"Blob";
  fields.type = kRegBinary;
  fields.status = EntryStatus::Changed;
  fields.file = {1, 2, 4, 5};
  const ChangeEntry blob = test::MakeEntry(fields);
  const ValueDetails dump(blob, ReadLiveValue(&f.registry, blob), {}, ExpandForTest);
  ASSERT_TRUE(dump.is_dump());
  EXPECT_NE(dump.summary().find(u"Data:               4 bytes in the file, 3 in the registry; 2 differ (marked *)"),
            std::u16string::npos)
      << Show(dump.summary());
  EXPECT_NE(dump.Text().find(u"* 00000000  01 02*04*05"), std::u16string::npos) << Show(dump.Text());

  // What the registry side says when there is none, per reason.
  struct Case {
    int line;
    std::u16string root, path, name;
    std::uint32_t type;
    std::u16string type_line, live_text;
  };
  const Case cases[] = {
      {__LINE__, u"HKCU", u"Software\\Demo", u"Absent", kRegSz, u"the registry holds no such value",
       u"(no such value)\r\n"},
      {__LINE__, u"HKCU", u"Software\\None", u"x", kRegSz, u"the key does not exist in the registry",
       u"(the key does not exist)\r\n"},
      {__LINE__, u"HKEY_NOWHERE", u"Software\\Demo", u"x", kRegSz, u"no registry to look in",
       u"(not a root of the registry)\r\n"},
      {__LINE__, u"HKCU", u"Software\\Demo", u"Greeting", DELETE_VALUE_TYPE, u"REG_SZ in the registry",
       u"hello, WORLD\r\n"},

      // A line that could not be read says why; the registry's side is shown all the same.
      {__LINE__, u"HKCU", u"Software\\Demo", u"Greeting", kUnknownValueType, u"REG_SZ in the registry",
       u"hello, WORLD\r\n"},
  };
  for (const Case& c : cases) {
    test::EntryFields s;
    s.root_name = c.root;
    s.path = c.path;
    s.name = c.name;
    s.type = c.type;
    if (c.type == kRegSz) s.file = test::StringBytes(u"v");
    if (c.type == kUnknownValueType) s.file = test::StringBytes(u"line 7: no \"=\" follows the value name", false);
    const ChangeEntry e = test::MakeEntry(s);
    const ValueDetails d(e, ReadLiveValue(&f.registry, e), {}, ExpandForTest);
    EXPECT_NE(d.summary().find(c.type_line), std::u16string::npos) << "case at line " << c.line;
    EXPECT_EQ(Show(d.live_text()), Show(c.live_text)) << "case at line " << c.line;
    if (c.type == DELETE_VALUE_TYPE) {
      EXPECT_EQ(Show(d.file_text()), "(the file deletes this value)\r\n") << "case at line " << c.line;
    }
    if (c.type == kUnknownValueType) {
      EXPECT_EQ(Show(d.file_text()), "(the line could not be read)\r\nline 7: no \"=\" follows the value name\r\n");
      EXPECT_NE(d.summary().find(u"Not read:           line 7: no \"=\" follows the value name\r\n"),
                std::u16string::npos)
          << Show(d.summary());
    }
  }
}

// A key deletion shows what its subtree holds: keys and values in order, the
// first kSubtreeItemsShown of them, and how many in all.
TEST(ValueDetails, AKeyDeletionListsItsSubtree) {
  Fixture f;
  f.Put(u"", kRegSz, test::StringBytes(u"top"));
  f.Put(u"n", kRegDword, {0x2A, 0, 0, 0});
  RegKey sub(f.registry);
  ASSERT_EQ(sub.Create(RegRoot::CurrentUser, u"Software\\Demo\\B", kKeyWrite), kRegOk);
  ASSERT_EQ(sub.Create(RegRoot::CurrentUser, u"Software\\Demo\\A\\Deep", kKeyWrite), kRegOk);
  ASSERT_EQ(sub.Set(u"bin", kRegBinary, Bytes{1}.data(), 1), kRegOk);
  test::EntryFields fields;
  fields.root_name = u"HKCU";
  fields.path = u"Software\\Demo";
  fields.name = u"";
  fields.type = DELETE_KEY_TYPE;
  fields.status = EntryStatus::Delete;
  const ChangeEntry deletion = test::MakeEntry(fields);
  const ValueDetails d(deletion, ReadLiveValue(&f.registry, deletion), {}, ExpandForTest);
  EXPECT_FALSE(d.is_dump());
  EXPECT_NE(d.summary().find(u"Value name:         none: the row stands for the key\r\n"), std::u16string::npos);
  EXPECT_NE(d.summary().find(u"Type:               DELETE KEY in the file; the key exists in the registry"),
            std::u16string::npos)
      << Show(d.summary());
  EXPECT_EQ(Show(d.file_text()), "(the file deletes this key and everything below it)\r\n");
  EXPECT_EQ(Show(d.live_text()),
            "The key and everything below it: 4 keys, 3 values\r\n"
            "[HKEY_CURRENT_USER\\Software\\Demo]\r\n"
            "  (Default): REG_SZ, 8 bytes, \"top\"\r\n"
            "  n: REG_DWORD, 4 bytes, 0x0000002A\r\n"
            "[HKEY_CURRENT_USER\\Software\\Demo\\A]\r\n"
            "[HKEY_CURRENT_USER\\Software\\Demo\\A\\Deep]\r\n"
            "  bin: REG_BINARY, 1 byte\r\n"
            "[HKEY_CURRENT_USER\\Software\\Demo\\B]\r\n");

  // A large subtree: the first items, then a count of the rest.
  for (int i = 0; i < 1200; ++i) f.Put(u"v" + Decimal(i), kRegBinary, {});
  const ValueDetails big(deletion, ReadLiveValue(&f.registry, deletion), {}, ExpandForTest);
  const std::u16string text = big.live_text();
  EXPECT_TRUE(text.starts_with(u"The key and everything below it: 4 keys, 1,203 values\r\n")) << Show(text.substr(0, 80));
  EXPECT_TRUE(text.ends_with(u"... and 207 more keys and values\r\n"));
  EXPECT_EQ(std::count(text.begin(), text.end(), u'\n'), 1 + 1000 + 1);

  // A key that is not there, and a key line that creates its key.
  fields.path = u"Software\\Gone";
  const ChangeEntry gone = test::MakeEntry(fields);
  EXPECT_EQ(Show(ValueDetails(gone, ReadLiveValue(&f.registry, gone), {}, ExpandForTest).live_text()),
            "(the key does not exist)\r\n");
  fields.path = u"Software\\Demo";
  fields.type = CREATE_KEY_TYPE;
  const ChangeEntry create = test::MakeEntry(fields);
  const ValueDetails c(create, ReadLiveValue(&f.registry, create), {}, ExpandForTest);
  EXPECT_EQ(Show(c.file_text()), "(the file creates this key, empty)\r\n");
  EXPECT_EQ(Show(c.live_text()), "(the key exists)\r\n");
}

// A 1 MB value: the dump is made line by line as it is shown, so building
// the view costs one pass over the bytes.
TEST(ValueDetails, AMegabyteValueIsCheapToOpen) {
  Fixture f;
  Bytes big(1 << 20);
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<std::uint8_t>(i * 31);
  f.Put(u"Big", kRegBinary, big);
  big[123456] ^= 0xFF;
  test::EntryFields fields;
  fields.path = u"Software\\Demo";
  fields.name = u"Big";
  fields.type = kRegBinary;
  fields.file = big;
  const ChangeEntry e = test::MakeEntry(fields);
  const ValueDetails d(e, ReadLiveValue(&f.registry, e), {}, ExpandForTest);
  ASSERT_TRUE(d.is_dump());
  EXPECT_EQ(d.dump().line_count(), 65536u);
  EXPECT_EQ(d.dump().differing_bytes(), 1u);
  EXPECT_TRUE(d.dump().LineDiffers(123456 / 16));
  EXPECT_FALSE(d.dump().LineDiffers(0));
}

TEST(Environment, ExpandsSetNamesAndLeavesTheRest) {
#ifndef _WIN32
  ::setenv("HIVEMEND_TEST_VAR", "value", 1);
  ::unsetenv("HIVEMEND_TEST_UNSET");
  struct Case {
    int line;
    std::u16string text, expanded;
  };
  const Case cases[] = {
      {__LINE__, u"%HIVEMEND_TEST_VAR%\\x", u"value\\x"},
      {__LINE__, u"$HIVEMEND_TEST_VAR/${HIVEMEND_TEST_VAR}!", u"value/value!"},
      {__LINE__, u"%HIVEMEND_TEST_UNSET%", u"%HIVEMEND_TEST_UNSET%"},
      {__LINE__, u"100% sure, 50%", u"100% sure, 50%"},
      {__LINE__, u"${HIVEMEND_TEST_VAR", u"${HIVEMEND_TEST_VAR"},
      {__LINE__, u"", u""},
  };
  for (const Case& c : cases) EXPECT_EQ(Show(ExpandEnvironmentText(c.text)), Show(c.expanded)) << "line " << c.line;
#else
  SetEnvironmentVariableW(L"HIVEMEND_TEST_VAR", L"value");
  EXPECT_EQ(Show(ExpandEnvironmentText(u"%HIVEMEND_TEST_VAR%\\x")), "value\\x");
  EXPECT_EQ(Show(ExpandEnvironmentText(u"100% sure")), "100% sure");
  EXPECT_EQ(Show(ExpandEnvironmentText(std::u16string(5000, u'a'))), std::string(5000, 'a'));
#endif
}

}  // namespace
}  // namespace hivemend
