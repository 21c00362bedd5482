// The .REG grammar: one pass over the lines of a decoded text, turning every
// value line into the file-side half of a ChangeEntry. The parser touches no
// registry and no window; whoever runs it (a load, the baseline loader, the
// fuzzer) receives its results through a ParseSink.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/ChangeEntry.h"
#include "platform/File.h"
#include "platform/Registry.h"

namespace hivemend {

// One value line. Its views point into the text being parsed and stay valid
// while the text lives; the object itself is reused for the next line, so a
// sink that keeps it moves it out. Also a key deletion line
// ([-ROOT\path]: form DeleteKey, root name without the minus, no value name)
// and a key line with a known root that no value line stores or deletes a
// value under (form CreateKey, no value name): the registry editor creates
// such a key.
//
// A value line that cannot be read exactly is refused, never guessed at: it
// is delivered with form Unknown, no data, and a problem that names the line
// and the reason ("line 12: \"zz\" is not a hexadecimal byte").
struct ParsedValue {
  std::u16string_view root_name;      // of the current key, as written
  std::u16string_view key_path;       // of the current key, as written
  std::optional<RegRoot> root;        // none when the root name is unknown
  std::u16string_view name;           // as written; "@" for the default value
  std::uint32_t line = 0;             // the value line's number in the text, as an editor counts
  std::uint32_t type = 0;             // a type code, or the marker of a form that is no value
  EntryForm form = EntryForm::Unknown;
  std::uint16_t spelling = 0;         // NumberedHex: how the file spells the number (HexTypeSpelling)
  std::uint32_t byte_count = 0;       // 2 x characters for strings, 4 for dwords, bytes for hex
  std::u16string_view string_data;    // REG_SZ only: the text between the quotes, escapes kept
  std::uint32_t dword = 0;            // REG_DWORD only
  bool has_block = false;             // dword and hex forms with data
  std::vector<std::uint8_t> bytes;    // the data block's bytes when has_block
  std::u16string problem;             // form Unknown: why the line was refused; else empty
};

// Implemented by the load pipeline, the baseline loader and tests; called by
// ParseRegText on the parsing thread.
class ParseSink {
 public:
  virtual ~ParseSink() = default;
  // Tested before every line; true ends the parse like the end of the text.
  virtual bool CancelRequested() { return false; }
  virtual void OnKeyLine(std::u16string_view /*root_name*/, std::u16string_view /*key_path*/) {}
  // Every value line with a non-empty name (refused ones too), every key
  // deletion line and every key creation (see ParsedValue), in file order.
  virtual void OnValue(ParsedValue& value) = 0;
  // Each time the count of handled lines reaches a multiple of 50.
  virtual void OnProgress(std::uint32_t /*line_number*/) {}
  // A parse problem for the status bar ("No regedit version on line %u", the
  // continuation backslash on the last line).
  virtual void OnStatusText(const std::u16string& /*text*/) {}
  // A problem that the user must acknowledge; returns when acknowledged.
  virtual void OnErrorMessage(const std::u16string& /*text*/) {}
};

// The header of the first line: "REGEDIT4" alone, or any line that contains
// "Windows Registry Editor Version 5".
enum class RegVersion { None, V4, V5 };

enum class ParseEnd {
  EndOfText,   // all lines read, or no lines at all
  Cancelled,   // the sink asked to stop; ends like the end of the text
  Error,       // no header, a hex type that is no number
};

struct ParseResult {
  ParseEnd end = ParseEnd::EndOfText;
  std::uint32_t line_number = 0;  // handled lines after the header
  RegVersion version = RegVersion::None;
};

// narrow is the converter that the file's narrow text went through (see
// DecodeRegText). In a version 4 file it turns the bytes of hex(2) and hex(7)
// data, which are narrow text there, into UTF-16; null keeps them as written.
ParseResult ParseRegText(std::u16string_view text, ParseSink& sink, AnsiToUtf16Fn narrow = nullptr);

// The version that a first line declares: letter case and surrounding white
// space do not matter, nor does a byte-order mark (U+FEFF or U+FFFE) before it.
RegVersion HeaderVersion(std::u16string_view first_line);

// The texts of the parser's own problems.
inline constexpr std::u16string_view kNoHeaderFormat = u"No regedit version on line %u";
inline constexpr std::u16string_view kExpectedNewlineFormat = u"Parsing issue on line %u: Expected newline";
inline constexpr std::u16string_view kUnknownHexTypeFormat =
    u"ERROR: Parse error on line %u - unknown hexadecimal type specification";

}  // namespace hivemend
