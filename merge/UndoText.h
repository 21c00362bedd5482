// The undo text of one merge: before a row is applied, the value's present
// state is recorded as .REG text, so that loading the saved undo file and
// merging all its rows brings every changed value back.
//
// Used by the merge (Merge.h) and by the console front end's --state-out.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <string_view>
#include <tuple>

#include "engine/ChangeEntry.h"
#include "platform/Registry.h"

namespace hivemend {

inline constexpr std::u16string_view kUndoHeader = u"Windows Registry Editor Version 5.00\r\n\r\n";

// Failure texts that the undo step appends to the merge's error text.
inline constexpr std::u16string_view kUndoReadFailedFormat =
    u"ERROR - Could not read from key %s\\%s value %s for purpose of creating UNDO REG File\r\n";
inline constexpr std::u16string_view kUndoTypeNotWritableFormat =
    u"ERROR - Could not record the previous state of key %s\\%s value %s in the UNDO REG File: "
    u"its type %s cannot be written there\r\n";
inline constexpr std::u16string_view kUndoLineBreakFormat =
    u"ERROR - Could not record the previous state of key %s\\%s value %s in the UNDO REG File: "
    u"its text holds a line break\r\n";

// How a value's data is written after "=" on a value line.
enum class DataPartResult {
  Ok,
  UnsupportedType,  // not one of the six types the reader accepts
  LineBreak,        // a string holding CR or LF cannot stand on one line
};

// The data part for a value of the given type and bytes: "\"text\"" (REG_SZ,
// read up to its first NUL, with \ and " escaped), "dword:1f", and "hex(2):",
// "hex(0):", "hex(7):", "hex(b):" followed by the bytes in lower-case hex
// without leading zeros, separated by commas, all on one line (a list of one
// byte below 0x10 is written with two digits, as the reader needs).
DataPartResult FormatDataPart(std::uint32_t type, const std::uint8_t* data, size_t size, std::u16string& out);

// Writes \ as \\ and " as \" (the escapes that reading decodes).
std::u16string EscapeRegText(std::u16string_view text);
// "REG_NONE (0)", "REG_LINK (6)", ... or the number alone.
std::u16string RegistryTypeText(std::uint32_t type);
// The value name as the error log shows it: "<default@>" for "@".
std::u16string_view ErrorLogValueName(std::u16string_view value_name);

// Folds a name as the registry compares names: A to Z and the common
// alphabets (Latin-1, Latin Extended-A, Greek, Cyrillic) without regard to case.
std::u16string FoldRegistryName(std::u16string_view name);

// What tells one registry value from another: the root, the key path with runs
// of backslashes taken as one and without a trailing backslash, and the
// registry name (decoded; empty for the default value), both folded.
using RegistryValueId = std::tuple<RegRoot, std::u16string, std::u16string>;
RegistryValueId ValueIdOf(RegRoot root, std::u16string_view key_path, std::u16string_view registry_name);

// What the undo step needs to know of a row. Texts are as the row holds them.
struct UndoRow {
  std::u16string_view hive;
  RegRoot root = RegRoot::CurrentUser;
  std::u16string_view key;
  std::u16string_view value_name;
  EntryStatus status = EntryStatus::Missing;
  std::uint32_t type = 0;  // the row's type code, DELETE_VALUE_TYPE for a deletion
};

class UndoText {
 public:
  UndoText() : text_(kUndoHeader) {}

  // Records how to restore the value that row names, as the registry holds it
  // now. Only the first row of a merge that changes a value records it: the
  // undo file must bring back the state from before the merge, not the state
  // left by an earlier row (a deletion of an absent value changes nothing and
  // leaves the recording to the next row).
  //  - A key line "[hive\key]" when hive or key differ from the last key line.
  //  - An existing value: "\"name\"=" and its data part.
  //  - An absent value: "\"name\"=-", except for a deletion, which changes
  //    nothing.
  //  - A value that cannot be read, or cannot be expressed, gets no line: a
  //    failure text goes to error_text instead. A value that cannot be read
  //    but that the row found missing when it was loaded gets "=-".
  void Record(Registry& registry, const UndoRow& row, std::u16string& error_text);

  const std::u16string& text() const { return text_; }

 private:
  void AppendKeyLine(const UndoRow& row);

  std::u16string text_;
  std::u16string last_hive_;
  std::u16string last_key_;
  bool has_key_line_ = false;
  std::set<RegistryValueId> recorded_;
};

}  // namespace hivemend
