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
  std::u16string problem;
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
                      v.root.has_value(), v.form, TypeText(EntryType(v.form, v.type, v.spelling)), v.line,
                      v.problem});
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
// (A refused line leaves the key line to create its key: that row is left out.)
Value ParseOne(std::u16string_view line, int caller_line) {
  RecordingSink sink;
  Parse(line, sink);
  if (sink.values.size() == 2 && sink.values[1].form == EntryForm::CreateKey) sink.values.pop_back();
  EXPECT_EQ(sink.values.size(), 1u) << "case at line " << caller_line << ": " << Show(line);
  return sink.values.empty() ? Value{} : sink.values[0];
}

// Every row of a body (after the header, an empty line and the key line
// [HKCU\Software\T]: its first line is line 4) as "name|TYPE|line|data": a refused line's problem, a string's
// text, a dword's value, the bytes of a hex form.
std::vector<std::string> Rows(std::u16string_view body, RecordingSink& sink) {
  Parse(body, sink);
  std::vector<std::string> rows;
  for (const Value& v : sink.values) {
    std::string data = Show(v.problem);
    if (v.form == EntryForm::String) data = Show(v.string_data);
    if (v.form == EntryForm::Dword) data = std::to_string(v.dword);
    if (v.form == EntryForm::Hex || v.form == EntryForm::NumberedHex) {
      for (std::uint8_t b : v.bytes) data += (data.empty() ? "" : ",") + Show(Hex(b, false));
    }
    if (v.form == EntryForm::CreateKey || v.form == EntryForm::DeleteKey) data = Show(v.key_path);
    rows.push_back(Show(v.name) + "|" + Show(v.type_text) + "|" + std::to_string(v.line) + "|" + data);
  }
  return rows;
}

struct RowsCase {
  std::u16string body;
  std::vector<std::string> rows;
  int line;
};

// The row that creates the header's key, [HKCU\Software\T], is left out
// where the case does not name it.
void ExpectRows(const RowsCase& c) {
  RecordingSink sink;
  std::vector<std::string> rows = Rows(c.body, sink);
  const std::string header_key = "|CREATE KEY|3|Software\\T";
  if (std::find(c.rows.begin(), c.rows.end(), header_key) == c.rows.end()) std::erase(rows, header_key);
  EXPECT_EQ(rows, c.rows) << "case at line " << c.line;
  EXPECT_TRUE(sink.errors.empty()) << "case at line " << c.line;
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
    // The key line of the header, without values, creates its key; a key
    // deletion gives a row of its own.
    ASSERT_EQ(sink.values.size(), c.line.find(u"[-") != std::u16string::npos ? 3u : 2u);
    const std::u16string expected_key = c.expected.starts_with(u"-") ? c.expected.substr(1) : c.expected;
    EXPECT_EQ(sink.values.back().root_name + u"|" + sink.values.back().key_path, expected_key);
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
  ASSERT_EQ(sink.values.size(), 3u);        // the header's key, created; the deletion; a value after it
  EXPECT_TRUE(sink.values[1].known_root);    // the deletion's row
  EXPECT_TRUE(sink.values[2].known_root);    // a value after it, refused under the deleted key
  EXPECT_EQ(sink.values[2].form, EntryForm::Unknown);
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
      {u"\"p\"=\"x\" ; trailing \"comment\"", u"x", __LINE__},
      {u"\"p\"=\"x\"\t;", u"x", __LINE__},
      {u"\"p\"=\"a\\\\\"", u"a\\\\", __LINE__},  // an escaped backslash before the closing quote
  };
  for (const Case& c : cases) {
    const Value v = ParseOne(c.line, c.line_no);
    EXPECT_EQ(v.type, kRegSz) << "case at line " << c.line_no;
    EXPECT_EQ(Show(v.string_data), Show(c.data)) << "case at line " << c.line_no;
    EXPECT_EQ(v.byte_count, c.data.size() * 2) << "case at line " << c.line_no;
    EXPECT_FALSE(v.has_block) << "case at line " << c.line_no;
  }
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
      {u"\"x\"=hex(0):01", kRegNone, true, B({1}), __LINE__},
      {u"\"x\"=hex(2):41,00,00,00", kRegExpandSz, true, B({0x41, 0, 0, 0}), __LINE__},
      {u"\"x\"=hex(7):61,00,00,00,00,00", kRegMultiSz, true, B({0x61, 0, 0, 0, 0, 0}), __LINE__},
      {u"\"x\"=hex(b):01,00,00,00,00,00,00,00", kRegQword, true, B({1, 0, 0, 0, 0, 0, 0, 0}), __LINE__},
      {u"\"x\"=HEX(B):02", kRegQword, true, B({2}), __LINE__},
      {u"\"x\"=hexadecimal:0a", kRegBinary, true, B({0x0A}), __LINE__},
      {u"\"x\"=hex:", kRegBinary, false, {}, __LINE__},
      {u"\"x\"=hex:1", kRegBinary, true, B({1}), __LINE__},
      {u"\"x\"=hex: 1 ,\t2 ", kRegBinary, true, B({1, 2}), __LINE__},
      {u"\"x\"=hex:01,02, ; note", kRegBinary, true, B({1, 2}), __LINE__},
      {u"\"x\"=hex:01,02,\\\r\n  03,04", kRegBinary, true, B({1, 2, 3, 4}), __LINE__},
      {u"\"x\"=hex:01, \\ ; note\r\n  02", kRegBinary, true, B({1, 2}), __LINE__},
      {u"\"x\"=hex:\\\r\n  05,06", kRegBinary, true, B({5, 6}), __LINE__},
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

// hex(N) for every N of 1 to 8 hexadecimal digits: 2, 7 and b as ever, any
// other N (0 too) the registry type N, named or shown as written.
TEST(RegParserTest, NumberedHexTypes) {
  struct Case {
    std::u16string line;
    std::uint32_t type;
    EntryForm form;
    std::u16string type_text;
    int line_no;
  } cases[] = {
      {u"\"x\"=hex(0):01", kRegNone, EntryForm::NumberedHex, u"REG_NONE", __LINE__},
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
      {u"\"x\"=hex(00):01", kRegNone, EntryForm::NumberedHex, u"REG_NONE", __LINE__},
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

// [-ROOT\path] gives a row of its own; the value lines after it are refused
// (rule 10) under the deleted key; a key line with no value before the next key
// line gives a row that creates the key (rule 8), below a deleted key or not.
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
                      "HKEY_CURRENT_USER|Software\\T||CREATE KEY|3",
                      "HKCU|Soft\\Gone||DELETE KEY|4",
                      "HKCU|Soft\\Gone|stale|UNKNOWN - ERROR|5",
                      "HKEY_CURRENT_USER|soft\\GONE|v|REG_DWORD|7",
                      "HKCU|Soft\\Gone\\Empty||CREATE KEY|8",
                      "HKCU|Soft\\Other||CREATE KEY|9",
                      "HKCU|Soft\\Gone\\Last||CREATE KEY|10",
                      "HKEY_NOWHERE|X||DELETE KEY|11|no root",
                  }));
  EXPECT_EQ(Show(sink.values[2].problem), "line 5: it follows a key deletion, and the registry editor ignores it");
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
      {u"hex(0):03", kRegNone, B({3}), u""},
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

constexpr char kNoForm[] = " is no data form (a string, dword: or hex)";

// Rule 1: a line that cannot be read is one row of type "UNKNOWN - ERROR",
// without data, with its line as an editor counts and the reason; data forms
// the program does not know are such lines.
TEST(RegParserTest, RefusedLinesAreRowsWithTheirReason) {
  const std::string no_form = kNoForm;
  const RowsCase cases[] = {
      {u"\"x\"=qword:01", {"x|UNKNOWN - ERROR|4|line 4: \"qword:01\"" + no_form}, __LINE__},
      {u"\"x\"=str(2):\"a\"", {"x|UNKNOWN - ERROR|4|line 4: \"str(2):\"a\"\"" + no_form}, __LINE__},
      {u"\"x\"=hex 01,02", {"x|UNKNOWN - ERROR|4|line 4: \"hex 01,02\"" + no_form}, __LINE__},
      {u"\"x\"=hex", {"x|UNKNOWN - ERROR|4|line 4: \"hex\"" + no_form}, __LINE__},
      {u"\"x\"=hex(2)01", {"x|UNKNOWN - ERROR|4|line 4: \"hex(2)01\"" + no_form}, __LINE__},
      {u"\"x\"=hexa:01", {"x|UNKNOWN - ERROR|4|line 4: \"hexa:01\"" + no_form}, __LINE__},
      {u"\"x\"=dwordX12", {"x|UNKNOWN - ERROR|4|line 4: \"dwordX12\"" + no_form}, __LINE__},
      {u"\"x\"=", {"x|UNKNOWN - ERROR|4|line 4: no data follows \"=\""}, __LINE__},
      {u"\"x\"=\v\"a\"", {"x|UNKNOWN - ERROR|4|line 4: \"\v\"a\"\"" + no_form}, __LINE__},
      // A long piece of the line is cut in the reason.
      {u"\"x\"=" + std::u16string(40, u'q'),
       {"x|UNKNOWN - ERROR|4|line 4: \"" + std::string(32, 'q') + "...\"" + no_form}, __LINE__},
      // The continuation lines of an unknown hex form stay with it.
      {u"\"x\"=hex 01,\\\r\n 02,\\\r\n 03\r\n\"y\"=\"z\"",
       {"x|UNKNOWN - ERROR|4|line 4: \"hex 01,\\\"" + no_form, "y|REG_SZ|7|z"}, __LINE__},
  };
  for (const RowsCase& c : cases) ExpectRows(c);
}

// Rule 2: continuation lines as the registry editor reads them.
TEST(RegParserTest, ContinuationLines) {
  const RowsCase cases[] = {
      // Comment lines and blank lines inside the data are skipped.
      {u"\"x\"=hex(7):4c,69,6e,65,20,\\\r\n  ;comment\r\n   \r\n\r\n  63,6f,00,00\r\n\"y\"=\"z\"",
       {"x|REG_MULTI_SZ|4|4c,69,6e,65,20,63,6f,0,0", "y|REG_SZ|9|z"}, __LINE__},
      // A comment may follow the backslash.
      {u"\"x\"=hex:01,\\ ;note\r\n  02,\\;\r\n 03", {"x|REG_BINARY|4|1,2,3"}, __LINE__},
      {u"\"x\"=hex:01,\\#note\r\n  02",
       {"x|UNKNOWN - ERROR|4|line 4: \"#note\" follows the continuation backslash"}, __LINE__},
      // A key line ends the data: the value is refused, the key line read.
      {u"\"bin\"=hex:01,02,\\\r\n[HKEY_CURRENT_USER\\Software\\B]\r\n\"x\"=\"in B\"",
       {"bin|UNKNOWN - ERROR|4|line 4: the data goes on with a backslash, but line 5 starts a key",
        "|CREATE KEY|3|Software\\T", "x|REG_SZ|6|in B"},
       __LINE__},
      // So do a value line and a default value line.
      {u"\"y\"=hex:01,\\\r\n; note\r\n\"z\"=\"after\"",
       {"y|UNKNOWN - ERROR|4|line 4: the data goes on with a backslash, but line 6 starts a value",
        "z|REG_SZ|6|after"},
       __LINE__},
      {u"\"y\"=hex:01,\\\r\n 02,\\\r\n@=\"d\"",
       {"y|UNKNOWN - ERROR|4|line 5: the data goes on with a backslash, but line 6 starts a value", "@|REG_SZ|6|d"},
       __LINE__},
      // Any other line is data.
      {u"\"x\"=hex:01,\\\r\n#note\r\n\"y\"=\"z\"",
       {"x|UNKNOWN - ERROR|4|line 5: \"#note\" is not a hexadecimal byte", "y|REG_SZ|6|z"}, __LINE__},
      // At the end of the text the value keeps the bytes read.
      {u"\"x\"=hex:01,\\\r\n", {"x|REG_BINARY|4|1"}, __LINE__},
      {u"\"x\"=hex:01,\\\r\n  ; note\r\n", {"x|REG_BINARY|4|1"}, __LINE__},
  };
  for (const RowsCase& c : cases) ExpectRows(c);
  // There the parser's text says so.
  RecordingSink sink;
  Parse(u"\"a\"=hex:01,\\\r\n", sink);
  EXPECT_EQ(sink.status, std::vector<std::u16string>{u"Parsing issue on line 2: Expected newline"});
}

// Rule 3: items are one or two hexadecimal digits.
TEST(RegParserTest, HexItems) {
  const RowsCase cases[] = {
      {u"\"x\"=hex:01,zz,02", {"x|UNKNOWN - ERROR|4|line 4: \"zz\" is not a hexadecimal byte"}, __LINE__},
      {u"\"x\"=hex:1ff", {"x|UNKNOWN - ERROR|4|line 4: \"1ff\" is not a hexadecimal byte"}, __LINE__},
      {u"\"x\"=hex:100,01", {"x|UNKNOWN - ERROR|4|line 4: \"100\" is not a hexadecimal byte"}, __LINE__},
      {u"\"x\"=hex:0x1", {"x|UNKNOWN - ERROR|4|line 4: \"0x1\" is not a hexadecimal byte"}, __LINE__},
      {u"\"x\"=hex:01 02", {"x|UNKNOWN - ERROR|4|line 4: \"01 02\" is not a hexadecimal byte"}, __LINE__},
      {u"\"x\"=hex:01,,02", {"x|UNKNOWN - ERROR|4|line 4: an empty item stands between two commas"}, __LINE__},
      {u"\"x\"=hex:,01", {"x|UNKNOWN - ERROR|4|line 4: an empty item stands between two commas"}, __LINE__},
      // The backslash is an item of its own.
      {u"\"x\"=hex:01,02\\\r\n 03", {"x|UNKNOWN - ERROR|4|line 4: \"02\\\" is not a hexadecimal byte"}, __LINE__},
      // In UTF-16 string data a bad item never shifts the characters after it.
      {u"\"x\"=hex(2):41,00,g2,00,00,00",
       {"x|UNKNOWN - ERROR|4|line 4: \"g2\" is not a hexadecimal byte"}, __LINE__},
      // On a continuation line: the reason names that line, the row its value's.
      {u"\"x\"=hex:01,\\\r\n  02,zz\r\n\"y\"=dword:1",
       {"x|UNKNOWN - ERROR|4|line 5: \"zz\" is not a hexadecimal byte", "y|REG_DWORD|6|1"}, __LINE__},
      // Valid: one digit, blanks around items, a last comma, an empty list.
      {u"\"x\"=hex:1, 2 ,\t3,", {"x|REG_BINARY|4|1,2,3"}, __LINE__},
      {u"\"x\"=hex:", {"x|REG_BINARY|4|"}, __LINE__},
      {u"\"x\"=hex: ;note", {"x|REG_BINARY|4|"}, __LINE__},
  };
  for (const RowsCase& c : cases) ExpectRows(c);
}

// Rule 4: one to eight hexadecimal digits, then only blanks or a comment.
TEST(RegParserTest, Dwords) {
  const RowsCase cases[] = {
      {u"\"x\"=dword:0000001F", {"x|REG_DWORD|4|31"}, __LINE__},
      {u"\"x\"=DWORD:1f", {"x|REG_DWORD|4|31"}, __LINE__},
      {u"\"x\"=dword:ffffffff", {"x|REG_DWORD|4|4294967295"}, __LINE__},
      {u"\"x\"=dword: \t20", {"x|REG_DWORD|4|32"}, __LINE__},
      {u"\"x\"=dword:1234;5678", {"x|REG_DWORD|4|4660"}, __LINE__},
      {u"\"x\"=dword:1234 \t; note", {"x|REG_DWORD|4|4660"}, __LINE__},
      {u"\"a\"=dword:", {"a|UNKNOWN - ERROR|4|line 4: dword: has no digits"}, __LINE__},
      {u"\"a\"=dword:  ", {"a|UNKNOWN - ERROR|4|line 4: dword: has no digits"}, __LINE__},
      {u"\"a\"=dword:hello",
       {"a|UNKNOWN - ERROR|4|line 4: \"hello\" is not a dword of one to eight hexadecimal digits"}, __LINE__},
      {u"\"a\"=dword:123456789",
       {"a|UNKNOWN - ERROR|4|line 4: \"123456789\" is not a dword of one to eight hexadecimal digits"}, __LINE__},
      {u"\"a\"=dword:000000001",
       {"a|UNKNOWN - ERROR|4|line 4: \"000000001\" is not a dword of one to eight hexadecimal digits"}, __LINE__},
      {u"\"a\"=dword:0x20",
       {"a|UNKNOWN - ERROR|4|line 4: \"0x20\" is not a dword of one to eight hexadecimal digits"}, __LINE__},
      {u"\"a\"=dword:1g",
       {"a|UNKNOWN - ERROR|4|line 4: \"1g\" is not a dword of one to eight hexadecimal digits"}, __LINE__},
      {u"\"a\"=dword:12345678 abc",
       {"a|UNKNOWN - ERROR|4|line 4: \"12345678 abc\" is not a dword of one to eight hexadecimal digits"}, __LINE__},
      {u"\"a\"=dword:1234#5678",
       {"a|UNKNOWN - ERROR|4|line 4: \"1234#5678\" is not a dword of one to eight hexadecimal digits"}, __LINE__},
  };
  for (const RowsCase& c : cases) ExpectRows(c);
}

// Rule 5: a string ends at its first unescaped quote, "=-" is a deletion
// only alone; after either only blanks or a comment.
TEST(RegParserTest, StringsAndDeletionsThatAreRefused) {
  const RowsCase cases[] = {
      {u"\"s\"=\"abc", {"s|UNKNOWN - ERROR|4|line 4: the string has no closing quote"}, __LINE__},
      {u"\"s\"=\"abc\\\"", {"s|UNKNOWN - ERROR|4|line 4: the string has no closing quote"}, __LINE__},
      {u"\"s\"=\"a\"b\"", {"s|UNKNOWN - ERROR|4|line 4: \"b\"\" follows the string's closing quote"}, __LINE__},
      {u"\"s\"=\"a\"\"b\"", {"s|UNKNOWN - ERROR|4|line 4: \"\"b\"\" follows the string's closing quote"}, __LINE__},
      {u"\"s\"=\"a\" #c", {"s|UNKNOWN - ERROR|4|line 4: \"#c\" follows the string's closing quote"}, __LINE__},
      {u"\"v\"=-\"Test\"", {"v|UNKNOWN - ERROR|4|line 4: \"\"Test\"\" follows \"=-\""}, __LINE__},
      {u"\"v\"=-anything", {"v|UNKNOWN - ERROR|4|line 4: \"anything\" follows \"=-\""}, __LINE__},
      {u"\"v\"=- ;note", {"v|DELETE|4|"}, __LINE__},
  };
  for (const RowsCase& c : cases) ExpectRows(c);
}

// Rule 6: a line that cannot be read is refused and the lines after it are
// read as usual.
TEST(RegParserTest, UnreadableLinesDoNotEndTheLoad) {
  const RowsCase cases[] = {
      {u"\"a\"=\"1\"\r\n\"b\" \"2\"\r\n\"c\"=\"3\"",
       {"a|REG_SZ|4|1", "b|UNKNOWN - ERROR|5|line 5: no \"=\" follows the value name", "c|REG_SZ|6|3"}, __LINE__},
      {u"\"a\"=\"1\"\r\n\"unclosed=2\r\n\"b\"=\"2\"",
       {"a|REG_SZ|4|1", "unclosed=2|UNKNOWN - ERROR|5|line 5: the value name has no closing quote", "b|REG_SZ|6|2"},
       __LINE__},
      {u"@ \"x\"", {"@|UNKNOWN - ERROR|4|line 4: no \"=\" follows the value name"}, __LINE__},
  };
  for (const RowsCase& c : cases) ExpectRows(c);
}

// Rules 8 and 10: a key line without values creates its key; value lines
// below a key deletion are refused.
TEST(RegParserTest, KeysWithoutValuesAndValuesBelowKeyDeletions) {
  const std::u16string key = u"[HKCU\\A]\r\n";
  const RowsCase cases[] = {
      {u"", {"|CREATE KEY|3|Software\\T"}, __LINE__},
      {key, {"|CREATE KEY|3|Software\\T", "|CREATE KEY|4|A"}, __LINE__},
      // A deletion is a value row of the key: no row creates it.
      {key + u"\"x\"=-", {"|CREATE KEY|3|Software\\T", "x|DELETE|5|"}, __LINE__},
      // A refused line is not: the key is still created.
      {key + u"\"x\"=hex:zz",
       {"|CREATE KEY|3|Software\\T", "x|UNKNOWN - ERROR|5|line 5: \"zz\" is not a hexadecimal byte",
        "|CREATE KEY|4|A"},
       __LINE__},
      // No root: no row.
      {u"[HKEY_NOWHERE\\A]", {"|CREATE KEY|3|Software\\T"}, __LINE__},
      {u"[-HKCU\\G]\r\n\"h\"=hex:01,\\\r\n 02\r\n@=\"x\"\r\n[HKCU\\G]\r\n\"s\"=\"x\"",
       {"|CREATE KEY|3|Software\\T", "|DELETE KEY|4|G",
        "h|UNKNOWN - ERROR|5|line 5: it follows a key deletion, and the registry editor ignores it",
        "@|UNKNOWN - ERROR|7|line 7: it follows a key deletion, and the registry editor ignores it", "s|REG_SZ|9|x"},
       __LINE__},
      // A deletion line without backslash or bracket names no root, and neither do the lines below it.
      {u"[-HKEY_LOCA\"\r\n\"Icon\"=\"cmd.exe\"",
       {"|CREATE KEY|3|Software\\T", "|DELETE KEY|4|",
        "Icon|UNKNOWN - ERROR|5|line 5: it follows a key deletion, and the registry editor ignores it"},
       __LINE__},
  };
  for (const RowsCase& c : cases) ExpectRows(c);
}

TEST(RegParserTest, DeletionsAndSkippedLines) {
  const Value d = ParseOne(u"@=-", __LINE__);
  EXPECT_EQ(d.name, u"@");
  EXPECT_EQ(d.type, DELETE_VALUE_TYPE);
  EXPECT_EQ(d.byte_count, 0u);
  EXPECT_FALSE(d.has_block);

  RecordingSink sink;
  const ParseResult r = Parse(u"; comment\r\n\r\nab\r\n  \t \r\nstray text\r\n\"\"=\"no name\"\r\n", sink);
  ASSERT_EQ(sink.values.size(), 1u);
  EXPECT_EQ(sink.values[0].form, EntryForm::CreateKey);
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
