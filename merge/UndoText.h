// The undo text of one merge: .REG text that, merged with this program, takes
// the merge back: every value the merge changes gets its state from before
// the merge, every key the merge creates is deleted, and every key the merge
// deletes comes back with its whole subtree.
//
// The merge (Merge.h) records into it before it writes anything; the console
// front end's --state-out uses its data forms.
#pragma once

#include <cstdint>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "engine/ChangeEntry.h"
#include "platform/Registry.h"
#include "platform/RegistryTree.h"

namespace hivemend {

inline constexpr std::u16string_view kUndoHeader = u"Windows Registry Editor Version 5.00\r\n\r\n";

// Failure texts that the undo step appends to the merge's error text.
inline constexpr std::u16string_view kUndoReadFailedFormat =
    u"ERROR - Could not read from key %s\\%s value %s for purpose of creating UNDO REG File\r\n";
inline constexpr std::u16string_view kUndoTypeNotWritableFormat =
    u"ERROR - Could not record the previous state of key %s\\%s value %s in the UNDO REG File: "
    u"its type %s cannot be written there\r\n";
inline constexpr std::u16string_view kUndoNameNotWritableFormat =
    u"ERROR - Could not record the previous state of key %s\\%s value %s in the UNDO REG File: "
    u"its name cannot be written there\r\n";
inline constexpr std::u16string_view kUndoKeyNotWritableFormat =
    u"ERROR - Could not record key %s\\%s in the UNDO REG File: its name cannot be written there\r\n";

// How a value's data is written after "=" on a value line.
enum class DataPartResult {
  Ok,
  UnsupportedType,  // a type the text cannot carry (every registry type can be written today)
};

// The data part that gives back exactly the type and bytes: "\"text\""
// (REG_SZ of even size ending in its only NUL, without line breaks, with \ and
// " escaped), "dword:1f" (REG_DWORD of 4 bytes), "hex:" (REG_BINARY),
// "hex(0):" (REG_NONE, as the registry editor writes it),
// "hex(2):", "hex(7):", "hex(b):" and "hex(N):" for every other type and for
// strings and dwords that the plain forms cannot carry; the bytes follow in
// lower-case hex without leading zeros, separated by commas, all on one line
// (a list of one byte below 0x10 is written with two digits, as the reader
// needs).
DataPartResult FormatDataPart(std::uint32_t type, const std::uint8_t* data, size_t size, std::u16string& out);

// Writes \ as \\ and " as \" (the escapes that reading decodes).
std::u16string EscapeRegText(std::u16string_view text);
// A value name as a value line starts: "@" for the default value, else the
// name in quotes with its escapes. False when the reader cannot give the name
// back (a line break, or the name "@" itself, which it reads as the default).
bool AppendValueName(std::u16string_view registry_name, std::u16string& out);
// "REG_NONE (0)", "REG_LINK (6)", ... or the number alone.
std::u16string RegistryTypeText(std::uint32_t type);
// The value name as the error log shows it: "<default@>" for "@".
std::u16string_view ErrorLogValueName(std::u16string_view value_name);

// Folds a name as the registry compares names: A to Z and the common
// alphabets (Latin-1, Latin Extended-A, Greek, Cyrillic) without regard to case.
std::u16string FoldRegistryName(std::u16string_view name);

// A value's type and bytes.
struct ValueState {
  std::uint32_t type = 0;
  std::vector<std::uint8_t> bytes;
};

class UndoText {
 public:
  UndoText() : text_(kUndoHeader) {}

  // Comment lines after the header: which files were merged, when, how many
  // rows, and how to take the merge back (UndoComments). Called once, before
  // anything else is recorded.
  void AddComments(const std::vector<std::u16string>& merged_files, std::u16string_view when, std::uint64_t rows);

  // A value's state before the merge, under "[hive\key]": its value line, or
  // "=-" when it did not exist (state empty). value_name is as the row holds
  // it ("@" for the default value, escapes kept). A state that cannot be
  // written gets a failure text in error_text instead.
  void AddValue(std::u16string_view hive, std::u16string_view key, std::u16string_view value_name,
                const std::optional<ValueState>& state, std::u16string& error_text);
  // The same for a value that existed, from its type and data where they lie.
  void AddValue(std::u16string_view hive, std::u16string_view key, std::u16string_view value_name,
                std::uint32_t type, std::span<const std::uint8_t> bytes, std::u16string& error_text);
  // "[-hive\key]": a key that did not exist before the merge.
  void AddKeyDeletion(std::u16string_view hive, std::u16string_view key);
  // A key that existed before the merge, which the merge deletes: "[-hive\key]"
  // and then every key of the subtree (empty ones too) with its values, so
  // that merging recreates it. keys as ReadTree gives them, the first being
  // the key itself.
  void AddSubtree(std::u16string_view hive, std::u16string_view key, const std::vector<RegTreeKey>& keys,
                  std::u16string& error_text);

  const std::u16string& text() const { return text_; }

 private:
  void AppendKeyLine(std::u16string_view hive, std::u16string_view key);
  // The value line, with the data when type is given, "-" when not.
  void AddValueLine(std::u16string_view hive, std::u16string_view key, std::u16string_view value_name,
                    const std::uint32_t* type, std::span<const std::uint8_t> bytes, std::u16string& error_text);

  std::u16string text_;
  std::u16string last_hive_;
  std::u16string last_key_;
  bool has_key_line_ = false;
  std::u16string line_;  // the value line being made, kept for its room
};

}  // namespace hivemend
