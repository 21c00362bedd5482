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

// Appends the bytes of one line of a hex form: comma-separated items, each read
// like "%x" and cut to its lowest 8 bits. The continuation backslash alone
// adds nothing.
void ReadHexItems(std::u16string_view text, std::vector<std::uint8_t>& bytes) {
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
  while (i < text.size()) {
    while (i < text.size() && text[i] == u',') ++i;
    if (i >= text.size()) break;
    size_t end = i;
    while (end < text.size() && text[end] != u',') ++end;
    const std::u16string_view item = text.substr(i, end - i);
    const int high = item.size() == 2 ? HexValue(item[0]) : -1;
    const int low = item.size() == 2 ? HexValue(item[1]) : -1;
    if (high >= 0 && low >= 0) {
      bytes.push_back(static_cast<std::uint8_t>(high * 16 + low));  // the usual "xx"
    } else if (TrimSpace(item) != u"\\") {
      bytes.push_back(static_cast<std::uint8_t>(ScanHex32(item) & 0xFF));
    }
    i = end;
  }
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
      if (!lines_.Next(&line)) {
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
      const bool deletion = line.size() > 1 && line[1] == u'-';
      HandleKeyLine(line.substr(1));
      CountLine();
      if (deletion) {
        DeliverKeyDeletion();
      } else if (root_ && UnderDeletedKey(*root_, key_path_)) {
        created_ = CreatedKey{root_name_, key_path_, *root_, lines_.line_number()};
      }
      return std::nullopt;
    }
    ParsedValue& value = value_;
    std::u16string_view rest;
    if (line.front() == u'"') {
      line.remove_prefix(1);
      const size_t quote = ClosingQuote(line);
      if (quote == std::u16string_view::npos) {
        sink_.OnStatusText(LineText(kParsingIssueFormat, line_number_ + 1));
        return ParseEnd::Error;
      }
      value.name = line.substr(0, quote);
      rest = line.substr(quote + 1);
    } else if (line.front() == u'@') {
      value.name = u"@";
      rest = line.substr(1);
    } else {
      return std::nullopt;  // comments and stray text
    }
    rest = TrimSpace(rest);
    if (rest.empty() || rest.front() != u'=') {
      sink_.OnStatusText(LineText(kParsingIssueFormat, line_number_ + 1));
      return ParseEnd::Stopped;
    }
    value.line = lines_.line_number();
    value.type = kUnknownValueType;
    value.form = EntryForm::Unknown;
    value.spelling = 0;
    value.byte_count = 0;
    value.string_data = {};
    value.dword = 0;
    value.has_block = false;
    value.bytes.clear();
    switch (ReadData(rest, value)) {
      case DataResult::Skip: return std::nullopt;
      case DataResult::Error: return ParseEnd::Error;
      case DataResult::Value: break;
    }
    CountLine();
    if (!value.name.empty()) {
      value.root_name = root_name_;
      value.key_path = key_path_;
      value.root = root_;
      created_.reset();  // the value creates the key
      sink_.OnValue(value);
    }
    return std::nullopt;
  }

  // A key deletion line gives a row of its own, under the root name without
  // its minus sign. The keys it deletes are remembered for CreateKey rows.
  void DeliverKeyDeletion() {
    ParsedValue row;
    // A key line without backslash and bracket has no root name at all.
    row.root_name = root_name_.empty() ? root_name_ : root_name_.substr(1);
    row.key_path = key_path_;
    row.root = RootFromName(row.root_name);
    row.line = lines_.line_number();
    row.type = DELETE_KEY_TYPE;
    row.form = EntryForm::DeleteKey;
    if (row.root) {
      std::u16string folded;
      KeyPathIdentity(row.key_path, folded);
      deleted_.push_back({*row.root, std::move(folded)});
    }
    sink_.OnValue(row);
  }

  bool UnderDeletedKey(RegRoot root, std::u16string_view path) const {
    if (deleted_.empty()) return false;
    std::u16string folded;
    KeyPathIdentity(path, folded);
    for (const auto& [deleted_root, deleted_path] : deleted_) {
      if (deleted_root != root) continue;
      if (deleted_path.empty() || folded == deleted_path ||
          (folded.size() > deleted_path.size() && folded.starts_with(deleted_path) &&
           folded[deleted_path.size()] == u'\\')) {
        return true;
      }
    }
    return false;
  }

  // A key line after the deletion of that key or one above it, and no value
  // under it before the next key line: the file means the key to exist, empty,
  // as the registry editor's import makes it. It gets a row that creates it.
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

  enum class DataResult { Value, Skip, Error };

  // The data form after "=" and any spaces and tabs: "-", a quoted string,
  // dword: or a hex form.
  DataResult ReadData(std::u16string_view rest, ParsedValue& value) {
    const std::u16string_view form = SkipBlanks(rest.substr(1));
    if (!form.empty() && form.front() == u'-') {
      value.type = DELETE_VALUE_TYPE;
      value.form = EntryForm::DeleteValue;
      return DataResult::Value;
    }
    if (!form.empty() && form.front() == u'"') {
      std::u16string_view data = form.substr(1);
      const size_t last = data.rfind(u'"');
      value.string_data = last == std::u16string_view::npos ? std::u16string_view() : data.substr(0, last);
      value.type = kRegSz;
      value.form = EntryForm::String;
      value.byte_count = static_cast<std::uint32_t>(value.string_data.size() * 2);
      return DataResult::Value;
    }
    if (EqualsNoCase(form.substr(0, 5), u"dword")) {
      // The character after "dword" is not checked; it is normally ":".
      value.dword = ScanHex32(form.size() > 6 ? form.substr(6) : std::u16string_view());
      value.type = kRegDword;
      value.form = EntryForm::Dword;
      value.byte_count = 4;
      value.has_block = true;
      for (int i = 0; i < 4; ++i) value.bytes.push_back(static_cast<std::uint8_t>(value.dword >> (8 * i)));
      return DataResult::Value;
    }
    if (EqualsNoCase(form.substr(0, 3), u"hex")) return ReadHexForm(form, value);
    return DataResult::Value;  // unknown form: listed as "UNKNOWN - ERROR" without data
  }

  DataResult ReadHexForm(std::u16string_view form, ParsedValue& value) {
    // "hexadecimal" is accepted in place of "hex" (the letters after its "a"
    // are not checked).
    const bool long_form = form.size() > 3 && (form[3] == u'a' || form[3] == u'A');
    const size_t drop = long_form ? 11 : 3;
    std::u16string_view text = form.size() > drop ? form.substr(drop) : std::u16string_view();
    if (text.empty()) return DataResult::Skip;
    bool known_form = false;
    if (text.front() == u':') {
      text.remove_prefix(1);
      value.type = kRegBinary;
      value.form = EntryForm::Hex;
      known_form = true;
    }
    if (!text.empty() && text.front() == u'(') {
      // "(N)" with 1 to 8 hexadecimal digits, then one character that is not
      // checked (normally ":"). 0 is REG_BINARY; 2, 7 and b are read as
      // ever; any other N is the registry type N.
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
      const bool old_form = digits.size() == 1 && (number == 0 || number == kRegExpandSz ||
                                                   number == kRegMultiSz || number == kRegQword);
      if (number == 0) number = kRegBinary;
      value.type = number;
      if (old_form) {
        value.form = EntryForm::Hex;
      } else {
        value.form = EntryForm::NumberedHex;
        value.spelling = HexTypeSpelling(digits);
      }
      text = text.size() > close + 2 ? text.substr(close + 2) : std::u16string_view();
      known_form = true;
    }
    text = TrimTrailingSpace(text);
    ReadHexBytes(text, value.bytes);
    if (!known_form) {
      // "hex" followed by neither ":" nor "(": the bytes are read so that the
      // continuation lines stay with their value, but nothing is kept.
      value.type = kUnknownValueType;
      value.form = EntryForm::Unknown;
      value.bytes.clear();
      return DataResult::Value;
    }
    value.has_block = text.size() >= 2 || text == u"\\";
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

  // State 3, hex continuation: while a line holds a backslash the value goes
  // on with the next line, whatever that line holds.
  void ReadHexBytes(std::u16string_view text, std::vector<std::uint8_t>& bytes) {
    if (text.size() < 2 && text != u"\\") return;  // no data block
    ReadHexItems(text, bytes);
    while (FindUnit(text, u'\\') != std::u16string_view::npos) {
      ++line_number_;
      std::u16string_view next;
      if (!lines_.Next(&next)) {
        sink_.OnStatusText(LineText(kExpectedNewlineFormat, line_number_));
        --line_number_;
        return;
      }
      text = TrimSpace(next);
      ReadHexItems(text, bytes);
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
  ParsedValue value_;  // reused for every value line
  // Keys deleted so far (root and folded path).
  std::vector<std::pair<RegRoot, std::u16string>> deleted_;
  struct CreatedKey {
    std::u16string_view root_name;
    std::u16string_view key_path;
    RegRoot root;
    std::uint32_t line;
  };
  std::optional<CreatedKey> created_;  // a key line under a deleted key, while no value followed it
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
