// The .REG grammar: decoding, line splitting, key and value lines, data forms,
// line counting and every problem text.
#include <gtest/gtest.h>

#include <cstring>

#include "engine/ChangeEntry.h"
#include "engine/RegParser.h"
#include "engine/RegText.h"
#include "tests/TestSupport.h"

namespace hivemend {
namespace {

using test::Show;

struct Value {
  std::u16string root_name, key_path, name;
  std::uint32_t type = 0, byte_count = 0, dword = 0;
  std::u16string string_data;
  bool has_block = false;
  std::vector<std::uint8_t> bytes;
  bool known_root = false;
  EntryForm form = EntryForm::Unknown;
  std::u16string type_text;  // the "Type" column's text
  std::uint32_t line = 0;
};

class RecordingSink : public ParseSink {
 public:
  bool CancelRequested() override { return ++polls > cancel_after; }
  void OnKeyLine(std::u16string_view root, std::u16string_view path) override {
    keys.emplace_back(std::u16string(root) + u"|" + std::u16string(path));
  }
  void OnValue(ParsedValue& v) override {
    values.push_back({std::u16string(v.root_name), std::u16string(v.key_path), std::u16string(v.name), v.type,
                      v.byte_count, v.dword, std::u16string(v.string_data), v.has_block, v.bytes,
                      v.root.has_value(), v.form, TypeText(EntryType(v.form, v.type, v.spelling)), v.line});
  }
  void OnProgress(std::uint32_t line) override { progress.push_back(line); }
  void OnStatusText(const std::u16string& text) override { status.push_back(text); }
  void OnErrorMessage(const std::u16string& text) override { errors.push_back(text); }

  int polls = 0;
  int cancel_after = 1 << 30;
  std::vector<std::u16string> keys, status, errors;
  std::vector<Value> values;
  std::vector<std::uint32_t> progress;
};

constexpr std::u16string_view kHeader = u"Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Software\\T]\r\n";

ParseResult Parse(std::u16string_view body, RecordingSink& sink, bool with_header = true) {
  static std::u16string text;
  text = with_header ? std::u16string(kHeader) + std::u16string(body) : std::u16string(body);
  return ParseRegText(text, sink);
}

// One value line after a header and a key line.
Value ParseOne(std::u16string_view line, int caller_line) {
  RecordingSink sink;
  Parse(line, sink);
  EXPECT_EQ(sink.values.size(), 1u) << "case at line " << caller_line << ": " << Show(line);
  return sink.values.empty() ? Value{} : sink.values[0];
}

std::vector<std::uint8_t> B(std::initializer_list<int> bytes) {
  std::vector<std::uint8_t> out;
  for (int b : bytes) out.push_back(static_cast<std::uint8_t>(b));
  return out;
}

TEST(RegTextTest, DecodesByByteOrderMarkAndStopsAtNul) {
  enum Narrow { kNone, kAnsi, kUtf8 };
  struct Case {
    std::string bytes;
    std::u16string text;
    Narrow narrow;
    int line;
  } cases[] = {
      {std::string("\xFF\xFE" "a\0b\0", 6), u"\uFEFFab", kNone, __LINE__},
      // FE FF is also taken as little-endian, from the very first byte.
      {std::string("\xFE\xFF" "a\0", 4), u"\uFFFEa", kNone, __LINE__},
      {std::string("\xFF\xFE" "a\0\0\0b\0", 8), u"\uFEFFa", kNone, __LINE__},
      {std::string("\xFF\xFE" "a\0b", 5), u"\uFEFFa", kNone, __LINE__},  // odd last byte
      {"", u"", kAnsi, __LINE__},
      {std::string("ab\0cd", 5), u"ab", kAnsi, __LINE__},
      {"\x80\x81\x9F\xA0\xFF", u"\u20AC\u0081\u0178\u00A0\u00FF", kAnsi, __LINE__},
      // Without its mark UTF-8 is ANSI text.
      {"caf\xC3\xA9", u"caf\u00C3\u00A9", kAnsi, __LINE__},
      {"\xEF\xBB", u"\u00EF\u00BB", kAnsi, __LINE__},
      // With it: UTF-8, the mark kept as U+FEFF like the UTF-16 mark.
      {"\xEF\xBB\xBF" "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80", u"\uFEFFcaf\u00E9 \u20AC \U0001F600", kUtf8, __LINE__},
      {"\xEF\xBB\xBF", u"\uFEFF", kUtf8, __LINE__},
      {std::string("\xEF\xBB\xBFx\0\xC3\xA9", 7), u"\uFEFFx", kUtf8, __LINE__},
      // Each byte that starts no well-formed sequence becomes U+FFFD, and
      // reading goes on with the next byte.
      {"\xEF\xBB\xBF" "a\xE9z", u"\uFEFFa\uFFFDz", kUtf8, __LINE__},                       // an ANSI byte
      {"\xEF\xBB\xBF" "\xE2\x82z\xE2\x82", u"\uFEFF\uFFFD\uFFFDz\uFFFD\uFFFD", kUtf8, __LINE__},  // cut short
      {"\xEF\xBB\xBF" "\xC0\xAF\xED\xA0\x80", u"\uFEFF\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD", kUtf8,
       __LINE__},  // overlong, surrogate
  };
  for (const Case& c : cases) {
    AnsiToUtf16Fn narrow = FromUtf8;
    EXPECT_EQ(Show(DecodeRegText(c.bytes, Windows1252ToUtf16, &narrow)), Show(c.text)) << "case at line " << c.line;
    const AnsiToUtf16Fn expected[] = {nullptr, Windows1252ToUtf16, FromUtf8};
    EXPECT_EQ(narrow, expected[c.narrow]) << "case at line " << c.line;
    // Bytes held in 16-bit units, as a file is read, decode alike.
    std::u16string raw((c.bytes.size() + 1) / 2, u'\0');
    std::memcpy(raw.data(), c.bytes.data(), c.bytes.size());
    EXPECT_EQ(Show(DecodeRegText(std::move(raw), c.bytes.size(), Windows1252ToUtf16)), Show(c.text))
        << "case at line " << c.line;
  }
}

// Loads hand the decoder the file's bytes in 16-bit units; it must cut the
// text where the byte-wise decoder does, wherever the first NUL stands.
TEST(RegTextTest, InPlaceDecodingCutsAtTheFirstNulAsTheByteDecoderDoes) {
  for (size_t length = 0; length <= 21; ++length) {
    for (size_t nul = 0; nul <= length; ++nul) {
      std::string bytes("\xFF\xFE", 2);
      for (size_t i = 0; i < length; ++i) {
        bytes += i == nul ? '\0' : static_cast<char>('a' + i % 26);
        bytes += '\0';
      }
      for (bool odd : {false, true}) {
        std::string file = bytes;
        if (odd) file += 'z';  // a last byte without its partner
        std::u16string raw((file.size() + 1) / 2, u'\xAAAA');  // the unit past an odd end is not read
        std::memcpy(raw.data(), file.data(), file.size());
        const std::u16string expected = DecodeRegText(file, Windows1252ToUtf16);
        EXPECT_EQ(DecodeRegText(std::move(raw), file.size(), Windows1252ToUtf16), expected)
            << "length " << length << ", NUL at " << nul << (odd ? ", odd size" : "");
        EXPECT_EQ(expected.size(), 1 + std::min(nul, length)) << "length " << length << ", NUL at " << nul;
      }
    }
  }
}

TEST(RegTextTest, SplitsAtEveryCrAndLfAndSkipsEmptyLines) {
  struct Case {
    std::u16string text;
    std::vector<std::u16string> lines;
    int line;
  } cases[] = {
      {u"a\r\nb\nc\rd", {u"a", u"b", u"c", u"d"}, __LINE__},
      {u"\r\n\r\n\n\r", {}, __LINE__},
      {u"", {}, __LINE__},
      {u"  a \t\r\n\r\n b\n", {u"  a \t", u" b"}, __LINE__},
  };
  for (const Case& c : cases) {
    RegLineSource source(c.text);
    std::vector<std::u16string> got;
    std::u16string_view line;
    while (source.Next(&line)) got.emplace_back(line);
    EXPECT_EQ(got, c.lines) << "case at line " << c.line;
    EXPECT_FALSE(source.Next(&line)) << "stays finished, case at line " << c.line;
  }
}

TEST(RegTextTest, LineNumbersCountLinesAsAnEditorDoes) {
  struct Case {
    std::u16string text;
    std::vector<std::uint32_t> numbers;  // of the lines given
    int line;
  } cases[] = {
      {u"a\r\nb\nc\rd", {1, 2, 3, 4}, __LINE__},
      {u"\r\n\r\na\n\n\nb", {3, 6}, __LINE__},
      {u"\r\ra\r\n\rb\n\r\nc", {3, 5, 7}, __LINE__},
      {u"\na", {2}, __LINE__},
      {u"a\r", {1}, __LINE__},
  };
  for (const Case& c : cases) {
    RegLineSource source(c.text);
    std::vector<std::uint32_t> got;
    std::u16string_view line;
    while (source.Next(&line)) got.push_back(source.line_number());
    EXPECT_EQ(got, c.numbers) << "case at line " << c.line;
  }
}

TEST(RegParserTest, HeadersOfVersionFourAndFive) {
  struct Case {
    std::u16string text;
    RegVersion version;
    int line;
  } cases[] = {
      {u"Windows Registry Editor Version 5.00\r\n", RegVersion::V5, __LINE__},
      {u"\uFEFFWindows Registry Editor Version 5.00\r\n", RegVersion::V5, __LINE__},
      {u"\u00EF\u00BB\u00BFWindows Registry Editor Version 5.00\n", RegVersion::V5, __LINE__},
      {u"  WINDOWS registry EDITOR version 5 and more", RegVersion::V5, __LINE__},
      {u"REGEDIT4\r\n", RegVersion::V4, __LINE__},
      {u"regedit4\n", RegVersion::V4, __LINE__},
      {u" \tRegEdit4 \t\r\n", RegVersion::V4, __LINE__},
      {u"\uFEFFREGEDIT4\r\n", RegVersion::V4, __LINE__},
      {u"\uFFFE REGEDIT4\r\n", RegVersion::V4, __LINE__},
      {u"\r\n\r\nREGEDIT4\r\n", RegVersion::V4, __LINE__},  // empty lines are no lines
      {u"REGEDIT4 ; comment", RegVersion::None, __LINE__},
      {u"REGEDIT 4", RegVersion::None, __LINE__},
      {u"REGEDIT", RegVersion::None, __LINE__},  // the older format of "KEY = value" lines
      {u"REGEDIT5", RegVersion::None, __LINE__},
      {u"\u00EF\u00BB\u00BFREGEDIT4", RegVersion::None, __LINE__},  // a UTF-8 mark read as ANSI
      {u"; comment\r\nWindows Registry Editor Version 5.00\r\n", RegVersion::None, __LINE__},
      {u"Windows Registry Editor Version 4.00", RegVersion::None, __LINE__},
  };
  for (const Case& c : cases) {
    RecordingSink sink;
    const ParseResult r = ParseRegText(c.text + u"[HKCU\\x]\r\n\"a\"=\"b\"\r\n", sink);
    EXPECT_EQ(r.version, c.version) << "case at line " << c.line;
    if (c.version != RegVersion::None) {
      EXPECT_EQ(r.end, ParseEnd::EndOfText) << "case at line " << c.line;
      EXPECT_TRUE(sink.status.empty()) << "case at line " << c.line;
      EXPECT_EQ(sink.values.size(), 1u) << "case at line " << c.line;
    } else {
      EXPECT_EQ(r.end, ParseEnd::Error) << "case at line " << c.line;
      EXPECT_EQ(sink.status, std::vector<std::u16string>{u"No regedit version on line 1"}) << "case at line " << c.line;
      EXPECT_TRUE(sink.values.empty()) << "case at line " << c.line;
    }
  }
  RecordingSink empty;
  EXPECT_EQ(ParseRegText(u"\r\n\r\n", empty).end, ParseEnd::EndOfText);
  EXPECT_TRUE(empty.status.empty());
}

// Headers as they arrive in files: each byte-order mark, and none.
TEST(RegParserTest, HeadersInEveryEncoding) {
  struct Case {
    std::string bytes;
    RegVersion version;
    int line;
  } cases[] = {
      {"REGEDIT4\r\n", RegVersion::V4, __LINE__},
      {"\xEF\xBB\xBFREGEDIT4\r\n", RegVersion::V4, __LINE__},
      {test::Utf16File(u"REGEDIT4\r\n"), RegVersion::V4, __LINE__},
      {"Windows Registry Editor Version 5.00\r\n", RegVersion::V5, __LINE__},
      {"\xEF\xBB\xBFWindows Registry Editor Version 5.00\r\n", RegVersion::V5, __LINE__},
      {test::Utf16File(u"Windows Registry Editor Version 5.00\r\n"), RegVersion::V5, __LINE__},
      {"\xEF\xBB\xBF", RegVersion::None, __LINE__},  // the mark alone is a line without a header
      {"\xFF\xFE", RegVersion::None, __LINE__},
      {"\xEF\xBB\xBF\r\nREGEDIT4\r\n", RegVersion::None, __LINE__},
  };
  for (const Case& c : cases) {
    RecordingSink sink;
    const std::u16string text = DecodeRegText(c.bytes, Windows1252ToUtf16);
    const ParseResult r = ParseRegText(text, sink);
    EXPECT_EQ(r.version, c.version) << "case at line " << c.line;
    EXPECT_EQ(r.end, c.version == RegVersion::None ? ParseEnd::Error : ParseEnd::EndOfText) << "case at line " << c.line;
  }
}

TEST(RegParserTest, KeyLines) {
  struct Case {
    std::u16string line;
    std::u16string expected;  // root|path
    int line_no;
  } cases[] = {
      {u"[HKLM\\Software\\Test]", u"HKLM|Software\\Test", __LINE__},
      {u"[HKEY_USERS]", u"HKEY_USERS|", __LINE__},
      {u"  [hkcu\\A b\\C]  ", u"hkcu|A b\\C", __LINE__},
      {u"[HKCU\\A]B]", u"HKCU|A", __LINE__},          // the first "]" ends the path
      {u"[HKCU\\NoBracket", u"HKCU|", __LINE__},      // no "]": empty path
      {u"[HKCU]\\x]", u"HKCU]|", __LINE__},           // "]" before the backslash
      {u"[HKCU", u"|", __LINE__},                     // neither: empty root
      {u"[-HKEY_CURRENT_USER\\Gone]", u"-HKEY_CURRENT_USER|Gone", __LINE__},
      {u"[HKCU\\a\\\\b]", u"HKCU|a\\\\b", __LINE__},  // never unescaped
  };
  for (const Case& c : cases) {
    RecordingSink sink;
    Parse(c.line + u"\r\n\"v\"=\"x\"\r\n", sink);
    ASSERT_EQ(sink.keys.size(), 2u) << "case at line " << c.line_no;
    EXPECT_EQ(Show(sink.keys[1]), Show(c.expected)) << "case at line " << c.line_no;
    // A key deletion gives a row of its own first.
    ASSERT_EQ(sink.values.size(), c.line.find(u"[-") != std::u16string::npos ? 2u : 1u);
    EXPECT_EQ(sink.values.back().root_name + u"|" + sink.values.back().key_path, c.expected);
  }
}

TEST(RegParserTest, RootNamesSelectRootsWithoutRegardToCase) {
  for (std::u16string_view name : {u"HKEY_CLASSES_ROOT", u"hkcr", u"HKEY_LOCAL_MACHINE", u"HKLM", u"hkey_current_user",
                                   u"HKCU", u"HKEY_CURRENT_CONFIG", u"HKCC", u"HKEY_USERS", u"hku"}) {
    EXPECT_TRUE(RootFromName(name).has_value()) << Show(name);
  }
  for (std::u16string_view name : {u"", u"-HKCU", u"HKEY_CURRENT_USER ", u"HKCU2", u"HKEY_DYN_DATA"}) {
    EXPECT_FALSE(RootFromName(name).has_value()) << Show(name);
  }
  RecordingSink sink;
  Parse(u"[-HKCU\\x]\r\n\"a\"=\"b\"\r\n", sink);
  ASSERT_EQ(sink.values.size(), 2u);
  EXPECT_TRUE(sink.values[0].known_root);    // the deletion's row
  EXPECT_FALSE(sink.values[1].known_root);   // a value after it
}

TEST(RegParserTest, ValueNames) {
  struct Case {
    std::u16string line;
    std::u16string name;
    int line_no;
  } cases[] = {
      {u"\"Path\"=\"x\"", u"Path", __LINE__},
      {u"\"a\\\"b\"=\"x\"", u"a\\\"b", __LINE__},        // kept as written
      {u"\"C:\\\\Dir\\\\\"=\"\"", u"C:\\\\Dir\\\\", __LINE__},  // ends in an escaped backslash
      {u"@=\"x\"", u"@", __LINE__},
      {u"\"@\"=\"x\"", u"@", __LINE__},
      {u"\"with = sign\" = \"x\"", u"with = sign", __LINE__},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Show(ParseOne(c.line, c.line_no).name), Show(c.name)) << "case at line " << c.line_no;
  }
}

TEST(RegParserTest, StringData) {
  struct Case {
    std::u16string line;
    std::u16string data;
    int line_no;
  } cases[] = {
      {u"\"p\"=\"C:\\\\Temp\"", u"C:\\\\Temp", __LINE__},
      {u"\"p\"=\"a\\\"b\"", u"a\\\"b", __LINE__},
      {u"\"p\"=\"\"", u"", __LINE__},
      {u"\"p\"=\"unterminated", u"", __LINE__},
      {u"\"p\"=\"x\" ; trailing \"comment\"", u"x\" ; trailing \"comment", __LINE__},
  };
  for (const Case& c : cases) {
    const Value v = ParseOne(c.line, c.line_no);
    EXPECT_EQ(v.type, kRegSz) << "case at line " << c.line_no;
    EXPECT_EQ(Show(v.string_data), Show(c.data)) << "case at line " << c.line_no;
    EXPECT_EQ(v.byte_count, c.data.size() * 2) << "case at line " << c.line_no;
    EXPECT_FALSE(v.has_block) << "case at line " << c.line_no;
  }
}

TEST(RegParserTest, DwordData) {
  struct Case {
    std::u16string line;
    std::uint32_t value;
    int line_no;
  } cases[] = {
      {u"\"x\"=dword:0000001F", 0x1F, __LINE__},
      {u"\"x\"=DWORD:1f", 0x1F, __LINE__},
      {u"\"x\"=dword:ffffffff", 0xFFFFFFFF, __LINE__},
      {u"\"x\"=dword: 0x20", 0x20, __LINE__},
      {u"\"x\"=dword:1g", 1, __LINE__},
      {u"\"x\"=dword:", 0, __LINE__},      // no digits: 0
      {u"\"x\"=dword:zz", 0, __LINE__},
      {u"\"x\"=dwordX12", 0x12, __LINE__},  // the character after "dword" is not checked
  };
  for (const Case& c : cases) {
    const Value v = ParseOne(c.line, c.line_no);
    EXPECT_EQ(v.type, kRegDword) << "case at line " << c.line_no;
    EXPECT_EQ(v.dword, c.value) << "case at line " << c.line_no;
    EXPECT_EQ(v.byte_count, 4u);
    EXPECT_TRUE(v.has_block);
    EXPECT_EQ(v.bytes, B({static_cast<int>(c.value & 0xFF), static_cast<int>((c.value >> 8) & 0xFF),
                          static_cast<int>((c.value >> 16) & 0xFF), static_cast<int>(c.value >> 24)}));
  }
  // A dword without digits never keeps the value of an earlier line.
  RecordingSink sink;
  Parse(u"\"a\"=dword:12345678\r\n\"b\"=dword:\r\n", sink);
  ASSERT_EQ(sink.values.size(), 2u);
  EXPECT_EQ(sink.values[1].dword, 0u);
}

TEST(RegParserTest, HexForms) {
  struct Case {
    std::u16string lines;
    std::uint32_t type;
    bool has_block;
    std::vector<std::uint8_t> bytes;
    int line_no;
  } cases[] = {
      {u"\"x\"=hex:01,02,ff", kRegBinary, true, B({1, 2, 0xFF}), __LINE__},
      {u"\"x\"=hex(0):01", kRegBinary, true, B({1}), __LINE__},
      {u"\"x\"=hex(2):41,00,00,00", kRegExpandSz, true, B({0x41, 0, 0, 0}), __LINE__},
      {u"\"x\"=hex(7):61,00,00,00,00,00", kRegMultiSz, true, B({0x61, 0, 0, 0, 0, 0}), __LINE__},
      {u"\"x\"=hex(b):01,00,00,00,00,00,00,00", kRegQword, true, B({1, 0, 0, 0, 0, 0, 0, 0}), __LINE__},
      {u"\"x\"=HEX(B):02", kRegQword, true, B({2}), __LINE__},
      {u"\"x\"=hexadecimal:0a", kRegBinary, true, B({0x0A}), __LINE__},
      {u"\"x\"=hex:", kRegBinary, false, {}, __LINE__},
      {u"\"x\"=hex:1", kRegBinary, false, {}, __LINE__},
      {u"\"x\"=hex:1 ", kRegBinary, false, {}, __LINE__},
      {u"\"x\"=hex:,,01,,,02,", kRegBinary, true, B({1, 2}), __LINE__},
      {u"\"x\"=hex:100,1ff, ,zz", kRegBinary, true, B({0, 0xFF, 0, 0}), __LINE__},
      {u"\"x\"=hex:01,02,\\\r\n  03,04", kRegBinary, true, B({1, 2, 3, 4}), __LINE__},
      {u"\"x\"=hex:01, \\\r\n  02", kRegBinary, true, B({1, 2}), __LINE__},
      {u"\"x\"=hex:\\\r\n  05,06", kRegBinary, true, B({5, 6}), __LINE__},
      // A continuation line is taken whatever it holds.
      {u"\"x\"=hex:01,\\\r\n[HKCU\\Other]", kRegBinary, true, B({1, 0}), __LINE__},
      // Wine's importer crashes on this one.
      {u"\"a\"=hex(2):41", kRegExpandSz, true, B({0x41}), __LINE__},
  };
  for (const Case& c : cases) {
    const Value v = ParseOne(c.lines, c.line_no);
    EXPECT_EQ(v.type, c.type) << "case at line " << c.line_no;
    EXPECT_EQ(v.has_block, c.has_block) << "case at line " << c.line_no;
    EXPECT_EQ(v.bytes, c.bytes) << "case at line " << c.line_no;
    EXPECT_EQ(v.byte_count, c.bytes.size()) << "case at line " << c.line_no;
  }
}

// hex(N) for every N of 1 to 8 hexadecimal digits: 0 is REG_BINARY, 2, 7 and
// b as ever, any other N the registry type N, named or shown as written.
TEST(RegParserTest, NumberedHexTypes) {
  struct Case {
    std::u16string line;
    std::uint32_t type;
    EntryForm form;
    std::u16string type_text;
    int line_no;
  } cases[] = {
      {u"\"x\"=hex(0):01", kRegBinary, EntryForm::Hex, u"REG_BINARY", __LINE__},
      {u"\"x\"=hex(2):41,00", kRegExpandSz, EntryForm::Hex, u"REG_EXPAND_SZ", __LINE__},
      {u"\"x\"=hex(B):01", kRegQword, EntryForm::Hex, u"REG_QWORD", __LINE__},
      {u"\"x\"=hex(1):41,00", kRegSz, EntryForm::NumberedHex, u"REG_SZ", __LINE__},
      {u"\"x\"=hex(3):01", kRegBinary, EntryForm::NumberedHex, u"REG_BINARY", __LINE__},
      {u"\"x\"=hex(4):01,02,03,04", kRegDword, EntryForm::NumberedHex, u"REG_DWORD", __LINE__},
      {u"\"x\"=hex(5):01", 5, EntryForm::NumberedHex, u"REG_DWORD_BIG_ENDIAN", __LINE__},
      {u"\"x\"=hex(6):01", 6, EntryForm::NumberedHex, u"REG_LINK", __LINE__},
      {u"\"x\"=hex(8):01", 8, EntryForm::NumberedHex, u"REG_RESOURCE_LIST", __LINE__},
      {u"\"x\"=hex(9):01", 9, EntryForm::NumberedHex, u"REG_FULL_RESOURCE_DESCRIPTOR", __LINE__},
      {u"\"x\"=hex(a):01", 10, EntryForm::NumberedHex, u"REG_RESOURCE_REQUIREMENTS_LIST", __LINE__},
      {u"\"x\"=hex(02):01", kRegExpandSz, EntryForm::NumberedHex, u"REG_EXPAND_SZ", __LINE__},
      {u"\"x\"=hex(00):01", kRegBinary, EntryForm::NumberedHex, u"REG_BINARY", __LINE__},
      {u"\"x\"=hex(0c):01", 12, EntryForm::NumberedHex, u"hex(0c)", __LINE__},
      {u"\"x\"=hex(00Ab12):01", 0xAB12, EntryForm::NumberedHex, u"hex(00Ab12)", __LINE__},
      {u"\"x\"=hex(FFFFFFFF):01", 0xFFFFFFFF, EntryForm::NumberedHex, u"hex(FFFFFFFF)", __LINE__},
      {u"\"x\"=hex(f69b7):01", DELETE_VALUE_TYPE, EntryForm::NumberedHex, u"hex(f69b7)", __LINE__},
  };
  for (const Case& c : cases) {
    const Value v = ParseOne(c.line, c.line_no);
    EXPECT_EQ(v.type, c.type) << "case at line " << c.line_no;
    EXPECT_EQ(v.form, c.form) << "case at line " << c.line_no;
    EXPECT_EQ(Show(v.type_text), Show(c.type_text)) << "case at line " << c.line_no;
    EXPECT_EQ(v.bytes.empty(), false) << "case at line " << c.line_no;
  }
  // Not a number of 1 to 8 hexadecimal digits: the load stops.
  for (std::u16string_view line : {u"\"x\"=hex():01", u"\"x\"=hex(123456789):01", u"\"x\"=hex(g):01",
                                   u"\"x\"=hex(4:01", u"\"x\"=hex( 4):01", u"\"x\"=hex(0x4):01"}) {
    RecordingSink sink;
    EXPECT_EQ(Parse(line, sink).end, ParseEnd::Error) << Show(line);
    ASSERT_EQ(sink.errors.size(), 1u) << Show(line);
    EXPECT_EQ(Show(sink.errors[0]), "ERROR: Parse error on line 2 - unknown hexadecimal type specification");
  }
}

// [-ROOT\path] gives a row of its own; the values after it stay under the root
// name with its minus; a key line below a deleted key with no value before the
// next key line gives a row that creates the key.
TEST(RegParserTest, KeyDeletionsAndTheKeysCreatedAfterThem) {
  RecordingSink sink;
  Parse(u"[-HKCU\\Soft\\Gone]\r\n"
        u"\"stale\"=\"x\"\r\n"
        u"[HKEY_CURRENT_USER\\soft\\GONE]\r\n"
        u"\"v\"=dword:1\r\n"
        u"[HKCU\\Soft\\Gone\\Empty]\r\n"
        u"[HKCU\\Soft\\Other]\r\n"
        u"[HKCU\\Soft\\Gone\\Last]\r\n"
        u"[-HKEY_NOWHERE\\X]\r\n",
        sink);
  std::vector<std::string> rows;
  for (const Value& v : sink.values) {
    rows.push_back(Show(v.root_name) + "|" + Show(v.key_path) + "|" + Show(v.name) + "|" + Show(v.type_text) + "|" +
                   std::to_string(v.line) + (v.known_root ? "" : "|no root"));
  }
  EXPECT_EQ(rows, (std::vector<std::string>{
                      "HKCU|Soft\\Gone||DELETE KEY|4",
                      "-HKCU|Soft\\Gone|stale|REG_SZ|5|no root",
                      "HKEY_CURRENT_USER|soft\\GONE|v|REG_DWORD|7",
                      "HKCU|Soft\\Gone\\Empty||CREATE KEY|8",
                      "HKCU|Soft\\Gone\\Last||CREATE KEY|10",
                      "HKEY_NOWHERE|X||DELETE KEY|11|no root",
                  }));
}


// Spaces and tabs may stand on either side of "=" before every data form.
TEST(RegParserTest, BlanksAroundTheEqualsSign) {
  struct Form {
    std::u16string data;
    std::uint32_t type;
    std::vector<std::uint8_t> bytes;
    std::u16string string_data;
  } forms[] = {
      {u"\"text\"", kRegSz, {}, u"text"},
      {u"\"\"", kRegSz, {}, u""},
      {u"-", DELETE_VALUE_TYPE, {}, u""},
      {u"dword:0000001f", kRegDword, B({0x1F, 0, 0, 0}), u""},
      {u"DWORD:1F", kRegDword, B({0x1F, 0, 0, 0}), u""},
      {u"hex:01,02", kRegBinary, B({1, 2}), u""},
      {u"hexadecimal:0a", kRegBinary, B({0x0A}), u""},
      {u"hex(0):03", kRegBinary, B({3}), u""},
      {u"hex(2):41,00,00,00", kRegExpandSz, B({0x41, 0, 0, 0}), u""},
      {u"hex(7):61,00,00,00,00,00", kRegMultiSz, B({0x61, 0, 0, 0, 0, 0}), u""},
      {u"hex(b):01,00,00,00,00,00,00,00", kRegQword, B({1, 0, 0, 0, 0, 0, 0, 0}), u""},
      {u"hex:01,\\\r\n  02", kRegBinary, B({1, 2}), u""},
  };
  const std::u16string names[] = {u"\"v\"", u"@"};
  const std::u16string blanks[] = {u"", u" ", u"\t", u" \t ", u"\t\t"};
  for (const Form& form : forms) {
    for (const std::u16string& name : names) {
      for (const std::u16string& before : blanks) {
        for (const std::u16string& after : blanks) {
          const std::u16string line = name + before + u"=" + after + form.data;
          const Value v = ParseOne(line, __LINE__);
          EXPECT_EQ(v.type, form.type) << Show(line);
          EXPECT_EQ(v.bytes, form.bytes) << Show(line);
          EXPECT_EQ(Show(v.string_data), Show(form.string_data)) << Show(line);
          EXPECT_EQ(Show(v.name), name == u"@" ? "@" : "v") << Show(line);
        }
      }
    }
  }
  // Only spaces and tabs: other white space after "=" is no data form.
  for (std::u16string_view line : {u"\"x\"=\v\"a\"", u"\"x\"=\u3000dword:1", u"\"x\"=\u00A0-"}) {
    EXPECT_EQ(ParseOne(line, __LINE__).type, kUnknownValueType) << Show(line);
  }
}

// In a version 4 file hex(2) and hex(7) data is narrow text in the file's
// encoding; it reaches the registry as UTF-16.
TEST(RegParserTest, VersionFourStringsInHexBecomeUtf16) {
  struct Case {
    std::u16string line;
    AnsiToUtf16Fn narrow;
    std::vector<std::uint8_t> bytes;
    int line_no;
  } cases[] = {
      {u"\"x\"=hex(2):25,41,25,00", Windows1252ToUtf16, B({0x25, 0, 0x41, 0, 0x25, 0, 0, 0}), __LINE__},
      {u"\"x\"=hex(2):e9,80,00", Windows1252ToUtf16, B({0xE9, 0, 0xAC, 0x20, 0, 0}), __LINE__},  // é €
      {u"\"x\"=hex(2):c3,a9,00", FromUtf8, B({0xE9, 0, 0, 0}), __LINE__},                       // é in UTF-8
      {u"\"x\"=hex(2):41", Windows1252ToUtf16, B({0x41, 0, 0, 0}), __LINE__},  // the missing NUL is added
      {u"\"x\"=hex(2):41,00,00", Windows1252ToUtf16, B({0x41, 0, 0, 0, 0, 0}), __LINE__},
      {u"\"x\"=hex(7):61,00,62,00,00", Windows1252ToUtf16, B({0x61, 0, 0, 0, 0x62, 0, 0, 0, 0, 0}), __LINE__},
      {u"\"x\"=hex(7):61,00,62", Windows1252ToUtf16, B({0x61, 0, 0, 0, 0x62, 0, 0, 0}), __LINE__},
      {u"\"x\"=hex(7):61,\\\r\n 00,00", Windows1252ToUtf16, B({0x61, 0, 0, 0, 0, 0}), __LINE__},
      {u"\"x\"=hex(2):", Windows1252ToUtf16, {}, __LINE__},
      // Other types, and text that was UTF-16 in the file, are kept as written.
      {u"\"x\"=hex:41", Windows1252ToUtf16, B({0x41}), __LINE__},
      {u"\"x\"=hex(b):41,00,00,00,00,00,00,00", Windows1252ToUtf16, B({0x41, 0, 0, 0, 0, 0, 0, 0}), __LINE__},
      {u"\"x\"=hex(2):41,00", nullptr, B({0x41, 0}), __LINE__},
  };
  for (const Case& c : cases) {
    for (const bool v4 : {true, false}) {
      RecordingSink sink;
      const std::u16string text =
          (v4 ? u"REGEDIT4\r\n" : u"Windows Registry Editor Version 5.00\r\n") + std::u16string(u"[HKCU\\x]\r\n") + c.line;
      ParseRegText(text, sink, c.narrow);
      ASSERT_EQ(sink.values.size(), 1u) << "case at line " << c.line_no;
      const Value& v = sink.values[0];
      // Version 5 files keep the bytes as written, whatever their encoding.
      std::vector<std::uint8_t> as_written;
      RecordingSink v5;
      ParseRegText(u"Windows Registry Editor Version 5.00\r\n[HKCU\\x]\r\n" + c.line, v5);
      as_written = v5.values.at(0).bytes;
      EXPECT_EQ(v.bytes, v4 ? c.bytes : as_written) << "case at line " << c.line_no << (v4 ? " (v4)" : " (v5)");
      EXPECT_EQ(v.byte_count, v.bytes.size()) << "case at line " << c.line_no;
    }
  }
}

TEST(RegParserTest, UnknownDataFormsAreListedWithoutData) {
  for (std::u16string_view line : {u"\"x\"=qword:01", u"\"x\"=hex 01,02", u"\"x\"=hexff",
                                   u"\"x\"=", u"\"x\"=str(2):\"a\""}) {
    const Value v = ParseOne(line, __LINE__);
    EXPECT_EQ(v.type, kUnknownValueType) << Show(line);
    EXPECT_EQ(v.byte_count, 0u) << Show(line);
    EXPECT_FALSE(v.has_block) << Show(line);
    EXPECT_EQ(TypeName(v.type), u"UNKNOWN - ERROR");
  }
  // Continuation lines of an unknown hex form stay with it.
  RecordingSink sink;
  Parse(u"\"x\"=hex 01,\\\r\n \"02\"=\"no value\"\r\n\"y\"=\"z\"\r\n", sink);
  ASSERT_EQ(sink.values.size(), 2u);
  EXPECT_EQ(sink.values[1].name, u"y");
}

TEST(RegParserTest, DeletionsAndSkippedLines) {
  const Value d = ParseOne(u"@=-", __LINE__);
  EXPECT_EQ(d.name, u"@");
  EXPECT_EQ(d.type, DELETE_VALUE_TYPE);
  EXPECT_EQ(d.byte_count, 0u);
  EXPECT_FALSE(d.has_block);
  EXPECT_EQ(ParseOne(u"\"v\"=-anything", __LINE__).type, DELETE_VALUE_TYPE);

  RecordingSink sink;
  const ParseResult r = Parse(u"; comment\r\n\r\nab\r\n  \t \r\nstray text\r\n\"v\"=hex\r\n\"\"=\"no name\"\r\n", sink);
  EXPECT_TRUE(sink.values.empty());
  EXPECT_EQ(r.end, ParseEnd::EndOfText);
  // The key line and the line with the empty name count; nothing else does.
  EXPECT_EQ(r.line_number, 2u);

  // A line of two characters or fewer is skipped, even one that reads as a value.
  for (std::u16string_view line : {u"@=", u" @= ", u"\"\"", u"@"}) {
    RecordingSink short_sink;
    const ParseResult short_result = Parse(std::u16string(line) + u"\r\n@=-\r\n", short_sink);
    ASSERT_EQ(short_sink.values.size(), 1u) << Show(line);
    EXPECT_EQ(short_sink.values[0].type, DELETE_VALUE_TYPE) << Show(line);
    EXPECT_EQ(short_result.line_number, 2u) << Show(line);
    EXPECT_TRUE(short_sink.status.empty()) << Show(line);
  }
}

TEST(RegParserTest, ValuesCarryTheNumberOfTheirLine) {
  std::vector<std::uint32_t> lines;
  struct LineSink : RecordingSink {
    std::vector<std::uint32_t>* lines;
    void OnValue(ParsedValue& v) override { lines->push_back(v.line); }
  } line_sink;
  line_sink.lines = &lines;
  // The header, an empty line and the key line come first (lines 1 to 3).
  Parse(u"\"a\"=hex:01,\\\r\n  02\r\n\r\n; note\r\n\"b\"=dword:1\n\"c\"=-\r\"d\"=\"x\"\r\n", line_sink);
  EXPECT_EQ(lines, (std::vector<std::uint32_t>{4, 8, 9, 10}));
}

TEST(RegParserTest, LineNumbersInProblemTexts) {
  struct Case {
    std::u16string body;
    ParseEnd end;
    std::u16string status;
    std::u16string error;
    std::uint32_t line_number;
    size_t values;
    int line_no;
  } cases[] = {
      // key line = 1, "a" = 2, the third handled line has no "=".
      {u"; c\r\n\"a\"=\"1\"\r\n\"b\" \"2\"\r\n\"c\"=\"3\"\r\n", ParseEnd::Stopped, u"Parsing issue on line 3", u"", 2, 1,
       __LINE__},
      {u"\"a\"=\"1\"\r\n\"unclosed=2\r\n\"b\"=\"2\"\r\n", ParseEnd::Error, u"Parsing issue on line 3", u"", 2, 1,
       __LINE__},
      {u"\"a\"=hex:01,\\\r\n 02,\\\r\n 03\r\n\"b\"=hex(4x):01\r\n", ParseEnd::Error, u"",
       u"ERROR: Parse error on line 5 - unknown hexadecimal type specification", 4, 1, __LINE__},
      {u"\"a\"=hex(x", ParseEnd::Error, u"", u"ERROR: Parse error on line 2 - unknown hexadecimal type specification",
       1, 0, __LINE__},
      {u"\"a\"=hex:01,\\\r\n", ParseEnd::EndOfText, u"Parsing issue on line 2: Expected newline", u"", 2, 1, __LINE__},
  };
  for (const Case& c : cases) {
    RecordingSink sink;
    const ParseResult r = Parse(c.body, sink);
    EXPECT_EQ(r.end, c.end) << "case at line " << c.line_no;
    EXPECT_EQ(r.line_number, c.line_number) << "case at line " << c.line_no;
    EXPECT_EQ(sink.values.size(), c.values) << "case at line " << c.line_no;
    if (!c.status.empty()) {
      ASSERT_EQ(sink.status.size(), 1u) << "case at line " << c.line_no;
      EXPECT_EQ(Show(sink.status[0]), Show(c.status)) << "case at line " << c.line_no;
    }
    if (!c.error.empty()) {
      ASSERT_EQ(sink.errors.size(), 1u) << "case at line " << c.line_no;
      EXPECT_EQ(Show(sink.errors[0]), Show(c.error)) << "case at line " << c.line_no;
    }
  }
}

TEST(RegParserTest, ProgressEveryFiftyHandledLinesAndNeverForContinuations) {
  std::u16string body;
  for (int i = 0; i < 120; ++i) body += u"\"v" + Decimal(i) + u"\"=dword:1\r\n";
  RecordingSink sink;
  const ParseResult r = Parse(body, sink);
  EXPECT_EQ(r.line_number, 121u);
  EXPECT_EQ(sink.progress, (std::vector<std::uint32_t>{50, 100}));
  EXPECT_EQ(sink.values.size(), 120u);

  // 1 key line + 48 values = 49, then a value with two continuation lines: the
  // count jumps from 49 to 52 without showing 50.
  std::u16string jump;
  for (int i = 0; i < 48; ++i) jump += u"\"v" + Decimal(i) + u"\"=\"x\"\r\n";
  jump += u"\"h\"=hex:01,\\\r\n 02,\\\r\n 03\r\n";
  RecordingSink jump_sink;
  EXPECT_EQ(Parse(jump, jump_sink).line_number, 52u);
  EXPECT_TRUE(jump_sink.progress.empty());
}

TEST(RegParserTest, CancellationEndsLikeTheEndOfTheText) {
  RecordingSink sink;
  sink.cancel_after = 3;  // three lines are handled
  const ParseResult r = Parse(u"\"a\"=\"1\"\r\n\"b\"=\"2\"\r\n\"c\"=\"3\"\r\n", sink);
  EXPECT_EQ(r.end, ParseEnd::Cancelled);
  EXPECT_EQ(sink.values.size(), 2u);
  EXPECT_EQ(r.line_number, 3u);
}

TEST(RegParserTest, EscapeDecoding) {
  struct Case {
    std::u16string in, out;
  } cases[] = {
      {u"C:\\\\Temp", u"C:\\Temp"}, {u"a\\\"b", u"a\"b"}, {u"\\\\\\\"", u"\\\""},
      {u"\\\\\"", u"\""},           {u"plain", u"plain"},  {u"\\n", u"\\n"},
      {u"\\", u"\\"},
  };
  for (const Case& c : cases) EXPECT_EQ(Show(DecodeRegEscapes(c.in)), Show(c.out)) << Show(c.in);
  EXPECT_EQ(RegistryValueName(u"@"), u"");
  EXPECT_EQ(RegistryValueName(u"C:\\\\foo"), u"C:\\foo");

  // Against the rule written as its two passes, on every text of up to eight
  // backslashes, quotes and letters (and longer ones for the block scan).
  auto two_passes = [](std::u16string_view text) {
    std::u16string first;
    for (size_t i = 0; i < text.size(); ++i) {
      first += text[i];
      if (text[i] == u'\\' && i + 1 < text.size() && text[i + 1] == u'\\') ++i;
    }
    std::u16string second;
    for (size_t i = 0; i < first.size(); ++i) {
      if (first[i] == u'\\' && i + 1 < first.size() && first[i + 1] == u'"') continue;
      second += first[i];
    }
    return second;
  };
  const char16_t alphabet[] = {u'\\', u'"', u'a'};
  for (int length = 0; length <= 8; ++length) {
    int total = 1;
    for (int i = 0; i < length; ++i) total *= 3;
    for (int n = 0; n < total; ++n) {
      std::u16string text;
      for (int i = 0, rest = n; i < length; ++i, rest /= 3) text += alphabet[rest % 3];
      ASSERT_EQ(Show(DecodeRegEscapes(text)), Show(two_passes(text))) << Show(text);
      const std::u16string longer = u"0123456789abcdef" + text + u"0123456789abcdef";
      ASSERT_EQ(Show(DecodeRegEscapes(longer)), Show(two_passes(longer))) << Show(longer);
    }
  }
}

}  // namespace
}  // namespace hivemend
