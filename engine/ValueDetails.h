// What the details view of one row shows: the row's names, status and types,
// and both sides' data in full, formatted by type. Portable; the window only
// puts these texts into its controls, and its Copy button copies DetailsText.
//
//  - strings: control characters made visible ("<TAB>", "<CR>", "<LF>",
//    "<NUL>", "<U+001B>"), one text line per line of the string;
//  - REG_EXPAND_SZ: as written, and expanded with the environment;
//  - REG_MULTI_SZ: one item a line, numbered, empty items as "<empty>";
//  - REG_DWORD and REG_QWORD: hexadecimal and decimal;
//  - REG_BINARY and every other type: a hex dump of 16 bytes a line, the
//    file's side and the registry's side next to each other, the bytes that
//    differ marked.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "engine/ChangeEntry.h"
#include "platform/Registry.h"

namespace hivemend {

// Expands %NAME% references with the environment (platform/Environment.h in
// the program, a table in tests).
using ExpandFunction = std::function<std::u16string(std::u16string_view)>;

// Control characters (U+0000 to U+001F, U+007F to U+009F) in a readable form;
// a CR LF pair, and a lone LF or CR, also ends the line ("\r\n").
std::u16string VisibleText(std::u16string_view text);

// The units of string data. A last odd byte is left out (and told by the
// caller); the one NUL that ends the data is not part of the text.
std::u16string StringOfBytes(std::span<const std::uint8_t> bytes);

// Whether data of this type is shown as a hex dump.
bool ShownAsDump(std::uint32_t type);

// One side's data as lines of text (lines end with "\r\n", the last one too),
// for the types that are not shown as a dump; a number whose size is not the
// type's, and an odd-sized string, say so in front of what is shown.
std::u16string DataText(std::uint32_t type, std::span<const std::uint8_t> bytes, const ExpandFunction& expand);

// The hex dump of one or two sides: line i covers bytes 16 i to 16 i + 15 of
// both. A byte differs when the other side has another byte there or none;
// its cell is marked with '*' instead of the space before it, and a line
// with any such byte starts with '*'.
class HexDump {
 public:
  static constexpr size_t kBytesPerLine = 16;
  // With no registry side (it holds no such value), only the file's side.
  HexDump(std::span<const std::uint8_t> file, std::optional<std::span<const std::uint8_t>> live);

  size_t line_count() const;
  bool two_sides() const { return live_.has_value(); }
  // The dump's column heads, one line (without its end).
  std::u16string HeaderLine() const;
  // Line i (without its end): marker, offset, the file's 16 cells and
  // characters, then " | " and the registry's.
  std::u16string Line(size_t i) const;
  // The pieces of line i: [0] offset, [1] file cells, [2] file characters,
  // [3] registry cells, [4] registry characters (empty without that side).
  std::vector<std::u16string> LineParts(size_t i) const;
  bool LineDiffers(size_t i) const;
  // Bytes that differ in all (for two sides).
  size_t differing_bytes() const;

 private:
  bool Differs(size_t offset) const;
  std::u16string Cells(std::span<const std::uint8_t> side, size_t line) const;
  static std::u16string Characters(std::span<const std::uint8_t> side, size_t line);

  std::span<const std::uint8_t> file_;
  std::optional<std::span<const std::uint8_t>> live_;
};

// The registry's side of a row, read when the details view opens. For a row
// of a key (its deletion or creation) Present means the key exists, and for a
// deletion subtree lists what would go.
struct LiveValue {
  enum class State { NoRoot, KeyAbsent, ValueAbsent, Present, Unreadable };
  State state = State::NoRoot;
  std::uint32_t type = 0;
  std::vector<std::uint8_t> bytes;
  std::u16string subtree;
};

// Reads the row's value now; registry may be null (nothing exists).
LiveValue ReadLiveValue(Registry* registry, const ChangeEntry& entry);

// How many keys and values a subtree listing names one by one; the rest are
// counted.
inline constexpr size_t kSubtreeItemsShown = 1000;

// What the key at path holds, as its deletion would take it: a count of keys
// (the key itself and every key below it) and values, then the first
// kSubtreeItemsShown of them, each key as "[ROOT\path]" and each value below
// its key as "  name: TYPE, size" with a short look at strings and numbers.
// Keys that cannot be read are named with the reason, and not entered.
std::u16string SubtreeListing(Registry& registry, RegRoot root, std::u16string_view path);

// The whole view of one row.
class ValueDetails {
 public:
  // read_at: when the registry's side was read, as the view shows it.
  ValueDetails(const ChangeEntry& entry, LiveValue live, std::u16string read_at, const ExpandFunction& expand);
  // The dump views the bytes it keeps: it stays where it was made.
  ValueDetails(const ValueDetails&) = delete;
  ValueDetails& operator=(const ValueDetails&) = delete;

  // Root, key, names, status, types, and where the registry's side came from;
  // lines ending with "\r\n".
  const std::u16string& summary() const { return summary_; }
  // Shown as a dump when either side's type is.
  bool is_dump() const { return dump_.has_value(); }
  const HexDump& dump() const { return *dump_; }
  // The text sides (when not a dump).
  const std::u16string& file_text() const { return file_text_; }
  const std::u16string& live_text() const { return live_text_; }
  // Everything shown, as one text (the Copy button's).
  std::u16string Text() const;

 private:
  std::u16string summary_;
  std::u16string file_text_;
  std::u16string live_text_;
  std::vector<std::uint8_t> file_bytes_;
  LiveValue live_;
  std::optional<HexDump> dump_;
};

inline constexpr std::u16string_view kFileSideHeading = u"REG file data";
inline constexpr std::u16string_view kLiveSideHeading = u"Current HIVE data";

}  // namespace hivemend
