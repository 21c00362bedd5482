#include "engine/RegParser.h"

#include <array>

#include "engine/ChangeEntry.h"
#include "engine/RegText.h"
#include "platform/RegistryName.h"
#include "platform/Text.h"

namespace hivemend {
namespace {

std::u16string LineText(std::u16string_view format, std::uint32_t number) {
  return FormatMessageText(format, {Decimal(number)});
}

// The closing quote of a quoted name: the first quote that no backslash
// escapes. A backslash escapes the character after it, so a name may end in an
// escaped backslash ("C:\\Folder\\").
size_t ClosingQuote(std::u16string_view text) {
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == u'\\') {
      ++i;
    } else if (text[i] == u'"') {
      return i;
    }
  }
  return std::u16string_view::npos;
}

constexpr auto kHexValues = [] {
  std::array<std::int8_t, 128> values{};
  for (auto& v : values) v = -1;
  for (int c = '0'; c <= '9'; ++c) values[c] = static_cast<std::int8_t>(c - '0');
  for (int c = 'a'; c <= 'f'; ++c) values[c] = static_cast<std::int8_t>(c - 'a' + 10);
  for (int c = 'A'; c <= 'F'; ++c) values[c] = static_cast<std::int8_t>(c - 'A' + 10);
  return values;
}();

// The value of a hexadecimal digit, or -1.
int HexValue(char16_t c) { return c < 128 ? kHexValues[c] : -1; }

// A piece of the file quoted in a reason: at most 32 characters.
std::u16string Quote(std::u16string_view text) {
  constexpr size_t kShown = 32;
  std::u16string quoted = u"\"";
  quoted += text.substr(0, kShown);
  if (text.size() > kShown) quoted += u"...";
  return quoted + u"\"";
}

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t'; }

// Nothing but spaces, tabs and a ";" comment.
bool OnlyComment(std::u16string_view text) {
  size_t i = 0;
  while (i < text.size() && IsBlank(text[i])) ++i;
  return i == text.size() || text[i] == u';';
}

// One line of a hex form's byte list. Items are one or two hexadecimal digits
// separated by commas, spaces and tabs around an item allowed; the list may end with a
// comma, and a ";" comment may follow it. A backslash in place of an item
// (spaces, tabs and a comment may follow it) continues the list on the next
// line. Returns the reason the line is refused, or nothing.
struct HexLine {
  bool continues = false;
  std::u16string problem;
};
HexLine ReadHexItems(std::u16string_view text, std::vector<std::uint8_t>& bytes) {
  HexLine result;
  size_t i = 0;
  // The usual "xx,xx,...": two digits and a comma (or the end) at a time.
  bytes.reserve(bytes.size() + text.size() / 3 + 1);
  while (i + 2 <= text.size() && (i + 2 == text.size() || text[i + 2] == u',')) {
    const int high = HexValue(text[i]);
    const int low = HexValue(text[i + 1]);
    if (high < 0 || low < 0) break;
    bytes.push_back(static_cast<std::uint8_t>(high * 16 + low));
    i += 3;
  }
  auto item_at = [&](size_t from) {
    size_t to = from;
    while (to < text.size() && text[to] != u',') ++to;
    return TrimTrailingSpace(text.substr(from, to - from));
  };
  while (i < text.size()) {
    while (i < text.size() && IsBlank(text[i])) ++i;
    if (i >= text.size() || text[i] == u';') break;
    if (text[i] == u'\\') {
      if (!OnlyComment(text.substr(i + 1))) {
        result.problem = Quote(TrimSpace(text.substr(i + 1))) + u" follows the continuation backslash";
        return result;
      }
      result.continues = true;
      return result;
    }
    size_t end = i;
    while (end < text.size() && HexValue(text[end]) >= 0) ++end;
    if (end == i) {
      const std::u16string_view item = item_at(i);
      result.problem = item.empty() ? std::u16string(u"an empty item stands between two commas")
                                    : Quote(item) + u" is not a hexadecimal byte";
      return result;
    }
    size_t after = end;
    while (after < text.size() && IsBlank(text[after])) ++after;
    const bool item_ends = after == text.size() || text[after] == u',' || text[after] == u';';
    if (end - i > 2 || !item_ends) {
      result.problem = Quote(item_at(i)) + u" is not a hexadecimal byte";
      return result;
    }
    bytes.push_back(static_cast<std::uint8_t>(end - i == 1 ? HexValue(text[i])
                                                             : HexValue(text[i]) * 16 + HexValue(text[i + 1])));
    i = after;
    if (i < text.size() && text[i] == u',') ++i;
    else break;  // the end, or a comment
  }
  return result;
}

// Whether a refused line of a byte list would still have gone on with the
// next line: its first backslash is followed by nothing but a comment.
bool Continues(std::u16string_view text) {
  const size_t backslash = FindUnit(text, u'\\');
  return backslash != std::u16string_view::npos && OnlyComment(text.substr(backslash + 1));
}

// Spaces and tabs between "=" and the data.
std::u16string_view SkipBlanks(std::u16string_view text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == u' ' || text[i] == u'\t')) ++i;
  return text.substr(i);
}

class Parser {
 public:
  Parser(std::u16string_view text, ParseSink& sink, AnsiToUtf16Fn narrow)
      : lines_(text), sink_(sink), narrow_(narrow) {}

  ParseResult Run() {
    // State 1, header: the first line must name the editor's version 4 or 5 format.
    std::u16string_view line;
    if (!lines_.Next(&line)) return Finish(ParseEnd::EndOfText);
    version_ = HeaderVersion(line);
    if (version_ == RegVersion::None) {
      sink_.OnStatusText(LineText(kNoHeaderFormat, 1));
      return Finish(ParseEnd::Error);
    }
    // State 2, lines: key lines, value lines and lines to skip, until the end.
    while (true) {
      if (sink_.CancelRequested()) return Finish(ParseEnd::Cancelled);
      if (again_) {
        line = *again_;
        again_.reset();
      } else if (!lines_.Next(&line)) {
        DeliverCreatedKey();
        return Finish(ParseEnd::EndOfText);
      }
      const std::optional<ParseEnd> end = HandleLine(TrimSpace(line));
      if (end) return Finish(*end);
    }
  }

 private:
  ParseResult Finish(ParseEnd end) const { return {end, line_number_, version_}; }

  // Returns how the parse ends, or nothing to go on with the next line.
  std::optional<ParseEnd> HandleLine(std::u16string_view line) {
    if (line.size() <= 2) return std::nullopt;
    if (line.front() == u'[') {
      DeliverCreatedKey();
      below_deletion_ = line.size() > 1 && line[1] == u'-';
      HandleKeyLine(line.substr(1));
      CountLine();
      if (below_deletion_) {
        DeliverKeyDeletion();
      } else if (root_) {
        created_ = CreatedKey{root_name_, key_path_, *root_, lines_.line_number()};
      }
      return std::nullopt;
    }
    if (line.front() != u'"' && line.front() != u'@') return std::nullopt;  // comments and stray text
    ParsedValue& value = value_;
    value.line = lines_.line_number();
    ClearData(value);
    value.problem.clear();
    std::u16string_view rest;
    if (line.front() == u'"') {
      line.remove_prefix(1);
      const size_t quote = ClosingQuote(line);
      if (quote == std::u16string_view::npos) {
        value.name = line;
        Refuse(value, value.line, u"the value name has no closing quote");
      } else {
        value.name = line.substr(0, quote);
        rest = line.substr(quote + 1);
      }
    } else {
      value.name = u"@";
      rest = line.substr(1);
    }
    if (value.problem.empty()) {
      rest = TrimSpace(rest);
      if (rest.empty() || rest.front() != u'=') {
        Refuse(value, value.line, u"no \"=\" follows the value name");
      } else if (ReadData(rest, value) == DataResult::Error) {
        return ParseEnd::Error;
      }
    }
    // The registry editor ignores the values below a key deletion.
    if (below_deletion_) {
      value.problem.clear();
      Refuse(value, value.line, u"it follows a key deletion, and the registry editor ignores it");
    }
    CountLine();
    if (!value.name.empty()) {
      // Below a key deletion the row stands under the deleted key.
      // A deletion line without backslash and bracket has no root name at all.
      value.root_name = below_deletion_ && !root_name_.empty() ? root_name_.substr(1) : root_name_;
      value.key_path = key_path_;
      value.root = below_deletion_ ? RootFromName(value.root_name) : root_;
      if (value.form != EntryForm::Unknown) created_.reset();  // the value creates the key
      sink_.OnValue(value);
    }
    return std::nullopt;
  }

  // No type, form or data: a value of unknown form until its data is read.
  static void ClearData(ParsedValue& value) {
    value.type = kUnknownValueType;
    value.form = EntryForm::Unknown;
    value.spelling = 0;
    value.byte_count = 0;
    value.string_data = {};
    value.dword = 0;
    value.has_block = false;
    value.bytes.clear();
  }

  // Makes the value a refused one: no data, and why.
  static void Refuse(ParsedValue& value, std::uint32_t line, std::u16string_view reason) {
    ClearData(value);
    if (value.problem.empty()) value.problem = u"line " + Decimal(line) + u": " + std::u16string(reason);
  }

  // A key deletion line gives a row of its own, under the root name without
  // its minus sign.
  void DeliverKeyDeletion() {
    ParsedValue row;
    // A key line without backslash and bracket has no root name at all.
    row.root_name = root_name_.empty() ? root_name_ : root_name_.substr(1);
    row.key_path = key_path_;
    row.root = RootFromName(row.root_name);
    row.line = lines_.line_number();
    row.type = DELETE_KEY_TYPE;
    row.form = EntryForm::DeleteKey;
    sink_.OnValue(row);
  }

  // A key line with no value under it before the next key line: the file
  // means the key to exist, as the registry editor's import makes it. It gets
  // a row that creates it.
  void DeliverCreatedKey() {
    if (!created_) return;
    ParsedValue row;
    row.root_name = created_->root_name;
    row.key_path = created_->key_path;
    row.root = created_->root;
    row.line = created_->line;
    row.type = CREATE_KEY_TYPE;
    row.form = EntryForm::CreateKey;
    created_.reset();
    sink_.OnValue(row);
  }

  // "[ROOT\path]": the root name ends at the first backslash, the path at the
  // first closing bracket of the line.
  void HandleKeyLine(std::u16string_view line) {
    const size_t backslash = line.find(u'\\');
    const size_t bracket = line.find(u']');
    if (backslash != std::u16string_view::npos) {
      root_name_ = line.substr(0, backslash);
      if (bracket == std::u16string_view::npos || bracket < backslash) {
        key_path_ = {};
      } else {
        key_path_ = line.substr(backslash + 1, bracket - backslash - 1);
      }
    } else {
      root_name_ = bracket == std::u16string_view::npos ? std::u16string_view() : line.substr(0, bracket);
      key_path_ = {};
    }
    root_ = RootFromName(root_name_);
    sink_.OnKeyLine(root_name_, key_path_);
  }

  enum class DataResult { Value, Error };

  // The data form after "=" and any spaces and tabs: "-", a quoted string,
  // dword: or a hex form; anything else is refused.
  DataResult ReadData(std::u16string_view rest, ParsedValue& value) {
    const std::u16string_view form = SkipBlanks(rest.substr(1));
    if (!form.empty() && form.front() == u'-') {
      if (!OnlyComment(form.substr(1))) {
        Refuse(value, value.line, Quote(TrimSpace(form.substr(1))) + u" follows \"=-\"");
        return DataResult::Value;
      }
      value.type = DELETE_VALUE_TYPE;
      value.form = EntryForm::DeleteValue;
      return DataResult::Value;
    }
    if (!form.empty() && form.front() == u'"') {
      const std::u16string_view data = form.substr(1);
      const size_t quote = ClosingQuote(data);
      if (quote == std::u16string_view::npos) {
        Refuse(value, value.line, u"the string has no closing quote");
      } else if (!OnlyComment(data.substr(quote + 1))) {
        Refuse(value, value.line, Quote(TrimSpace(data.substr(quote + 1))) + u" follows the string's closing quote");
      } else {
        value.string_data = data.substr(0, quote);
        value.type = kRegSz;
        value.form = EntryForm::String;
        value.byte_count = static_cast<std::uint32_t>(value.string_data.size() * 2);
      }
      return DataResult::Value;
    }
    if (EqualsNoCase(form.substr(0, 6), u"dword:")) {
      ReadDword(form.substr(6), value);
      return DataResult::Value;
    }
    if (EqualsNoCase(form.substr(0, 3), u"hex")) return ReadHexForm(form, value);
    Refuse(value, value.line,
           form.empty() ? std::u16string(u"no data follows \"=\"")
                        : Quote(form) + u" is no data form (a string, dword: or hex)");
    return DataResult::Value;
  }

  // One to eight hexadecimal digits, spaces and tabs before them, and a
  // comment after them.
  static void ReadDword(std::u16string_view text, ParsedValue& value) {
    const std::u16string_view digits = SkipBlanks(text);
    size_t count = 0;
    std::uint32_t number = 0;
    while (count < digits.size() && HexValue(digits[count]) >= 0) {
      number = number * 16 + static_cast<std::uint32_t>(HexValue(digits[count]));
      ++count;
    }
    if (count == 0 || count > 8 || !OnlyComment(digits.substr(count))) {
      Refuse(value, value.line,
             digits.empty() ? std::u16string(u"dword: has no digits")
                            : Quote(TrimSpace(digits)) + u" is not a dword of one to eight hexadecimal digits");
      return;
    }
    value.dword = number;
    value.type = kRegDword;
    value.form = EntryForm::Dword;
    value.byte_count = 4;
    value.has_block = true;
    for (int i = 0; i < 4; ++i) value.bytes.push_back(static_cast<std::uint8_t>(number >> (8 * i)));
  }

  DataResult ReadHexForm(std::u16string_view form, ParsedValue& value) {
    // "hexadecimal" is accepted in place of "hex".
    const bool long_form = EqualsNoCase(form.substr(0, 11), u"hexadecimal");
    std::u16string_view text = form.substr(long_form ? 11 : 3);
    bool known_form = false;
    if (!text.empty() && text.front() == u':') {
      text.remove_prefix(1);
      value.type = kRegBinary;
      value.form = EntryForm::Hex;
      known_form = true;
    } else if (!text.empty() && text.front() == u'(') {
      // "(N)" with 1 to 8 hexadecimal digits, then ":". 2, 7 and b are read
      // as ever, 0 is REG_NONE as the registry editor writes it; any other N
      // is the registry type N.
      const size_t close = text.find(u')');
      const std::u16string_view digits =
          close == std::u16string_view::npos ? std::u16string_view() : text.substr(1, close - 1);
      std::uint32_t number = 0;
      bool valid = !digits.empty() && digits.size() <= 8;
      for (char16_t c : digits) {
        const int v = HexValue(c);
        if (v < 0) valid = false;
        number = number * 16 + static_cast<std::uint32_t>(v < 0 ? 0 : v);
      }
      if (!valid) {
        sink_.OnErrorMessage(LineText(kUnknownHexTypeFormat, line_number_ + 1));
        return DataResult::Error;
      }
      const bool old_form =
          digits.size() == 1 && (number == kRegExpandSz || number == kRegMultiSz || number == kRegQword);
      value.type = number;
      if (old_form) {
        value.form = EntryForm::Hex;
      } else {
        value.form = EntryForm::NumberedHex;
        value.spelling = HexTypeSpelling(digits);
      }
      text = text.substr(close + 1);
      known_form = !text.empty() && text.front() == u':';
      if (known_form) text.remove_prefix(1);
    }
    if (!known_form) {
      // The continuation lines stay with the value all the same.
      Refuse(value, value.line, Quote(form) + u" is no data form (a string, dword: or hex)");
      if (Continues(form)) SkipContinuation();
      return DataResult::Value;
    }
    ReadHexBytes(text, value);
    if (value.form == EntryForm::Unknown) return DataResult::Value;
    value.has_block = !value.bytes.empty();
    if (version_ == RegVersion::V4 && narrow_ != nullptr && !value.bytes.empty() &&
        (value.type == kRegExpandSz || value.type == kRegMultiSz)) {
      WidenNarrowString(value.bytes);
    }
    value.byte_count = static_cast<std::uint32_t>(value.bytes.size());
    return DataResult::Value;
  }

  // Version 4 files hold hex(2) and hex(7) data as narrow text. It becomes
  // UTF-16 through the file's own converter, NULs and all, so that the
  // registry receives the strings the file means; like the registry editor,
  // one NUL is added when the last byte is not one.
  void WidenNarrowString(std::vector<std::uint8_t>& bytes) const {
    std::string narrow(bytes.begin(), bytes.end());
    if (narrow.back() != '\0') narrow += '\0';
    const std::u16string wide = narrow_(narrow);
    bytes.clear();
    bytes.reserve(wide.size() * 2);
    for (char16_t c : wide) {
      bytes.push_back(static_cast<std::uint8_t>(c & 0xFF));
      bytes.push_back(static_cast<std::uint8_t>(c >> 8));
    }
  }

  // The next line of a continued byte list, as the registry editor reads it:
  // blank lines and comment lines are skipped; a line that starts a key or a
  // value ends the data, and is then read as itself. Returns false at the end
  // of the text, or at such a line (cut then tells which).
  bool NextContinuation(std::u16string_view* text, std::u16string_view* cut) {
    std::u16string_view next;
    while (lines_.Next(&next)) {
      const std::u16string_view line = TrimSpace(next);
      if (line.empty() || line.front() == u';') continue;
      if (line.front() == u'[' || line.front() == u'"' || line.front() == u'@') {
        again_ = next;
        *cut = line.front() == u'[' ? u"key" : u"value";
        return false;
      }
      ++line_number_;
      *text = line;
      return true;
    }
    return false;
  }

  // The continuation lines of a value already refused.
  void SkipContinuation() {
    std::u16string_view text;
    std::u16string_view cut;
    while (NextContinuation(&text, &cut) && Continues(text)) {
    }
  }

  // State 3, hex continuation: the byte list goes on while a line ends with
  // the continuation backslash.
  void ReadHexBytes(std::u16string_view text, ParsedValue& value) {
    std::uint32_t at = value.line;
    HexLine line = ReadHexItems(text, value.bytes);
    while (line.problem.empty() && line.continues) {
      const std::uint32_t continued_at = lines_.line_number();
      std::u16string_view cut;
      if (!NextContinuation(&text, &cut)) {
        if (again_) {
          Refuse(value, continued_at,
                 u"the data goes on with a backslash, but line " + Decimal(lines_.line_number()) + u" starts a " +
                     std::u16string(cut));
          return;
        }
        // The end of the text: the value keeps the bytes read so far.
        sink_.OnStatusText(LineText(kExpectedNewlineFormat, line_number_ + 1));
        return;
      }
      at = lines_.line_number();
      line = ReadHexItems(text, value.bytes);
    }
    if (!line.problem.empty()) {
      Refuse(value, at, line.problem);
      if (Continues(text)) SkipContinuation();
    }
  }

  void CountLine() {
    ++line_number_;
    if (line_number_ % 50 == 0) sink_.OnProgress(line_number_);
  }

  RegLineSource lines_;
  ParseSink& sink_;
  AnsiToUtf16Fn narrow_;
  RegVersion version_ = RegVersion::None;
  std::uint32_t line_number_ = 0;  // handled lines after the header
  std::u16string_view root_name_;
  std::u16string_view key_path_;
  std::optional<RegRoot> root_;
  bool below_deletion_ = false;  // the current key line is a key deletion
  ParsedValue value_;  // reused for every value line
  std::optional<std::u16string_view> again_;  // a line that ended a byte list, to be read as itself
  struct CreatedKey {
    std::u16string_view root_name;
    std::u16string_view key_path;
    RegRoot root;
    std::uint32_t line;
  };
  std::optional<CreatedKey> created_;  // the current key line, while no value followed it
};

}  // namespace

ParseResult ParseRegText(std::u16string_view text, ParseSink& sink, AnsiToUtf16Fn narrow) {
  Parser parser(text, sink, narrow);
  return parser.Run();
}

RegVersion HeaderVersion(std::u16string_view first_line) {
  if (ContainsNoCase(first_line, u"windows registry editor version 5")) return RegVersion::V5;
  std::u16string_view line = TrimSpace(first_line);
  if (!line.empty() && (line.front() == u'\uFEFF' || line.front() == u'\uFFFE')) line = TrimSpace(line.substr(1));
  return EqualsNoCase(line, u"regedit4") ? RegVersion::V4 : RegVersion::None;
}

}  // namespace hivemend
