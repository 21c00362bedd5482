// One compared value: a row of the list of changes, and the names and texts
// that every part of the program shares about it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Registry.h"

namespace hivemend {

// Not a registry type: marks a value whose merge deletes it ("=-").
inline constexpr std::uint32_t DELETE_VALUE_TYPE = 1010103;
// A value line whose data form the program does not know.
inline constexpr std::uint32_t UNKNOWN_VALUE_TYPE = 0xFFFFFFFFu;

inline constexpr std::u16string_view kStatusMissing = u"MISSING";
inline constexpr std::u16string_view kStatusDelete = u"DELETE";
inline constexpr std::u16string_view kStatusSame = u"SAME";
inline constexpr std::u16string_view kStatusChanged = u"CHANGED";
inline constexpr std::u16string_view kStatusChangedType = u"CHANGED TYPE";

inline constexpr std::u16string_view kNotPresentable = u"[not presentable value]";
inline constexpr std::u16string_view kProductName = u"Hivemend";

// Column headers, in column order.
inline constexpr std::u16string_view kColumnHeaders[7] = {
    u"HIVE", u"Compare", u"Key", u"Value Name", u"Type", u"REG file data", u"Current HIVE data"};

// "REG_SZ", ..., "DELETE", or "UNKNOWN - ERROR" for any other code.
std::u16string_view TypeName(std::uint32_t type_code);
// The code of a type name, compared without regard to case; UNKNOWN_VALUE_TYPE
// for any other text.
std::uint32_t TypeCodeFromName(std::u16string_view type_name);

// The root selected by one of the ten spellings (HKEY_CLASSES_ROOT/HKCR, ...),
// compared without regard to case; none for anything else.
std::optional<RegRoot> RootFromName(std::u16string_view root_name);
std::u16string_view RootLongName(RegRoot root);

// Decodes the escapes of a quoted REG text: every "\\" becomes "\", then every
// "\"" becomes '"'. Used for string data and for value names.
std::u16string DecodeRegEscapes(std::u16string_view text);
// The registry name of a value as a row or the file names it: "@" is the
// default value (the empty name); other names are decoded.
std::u16string RegistryValueName(std::u16string_view name_as_written);

struct ChangeEntry {
  std::u16string hive;        // root name as written in the file
  std::u16string status;      // one of the five status texts
  std::u16string key;         // key path below the root, as written
  std::u16string value_name;  // as written; "@" for the default value
  std::u16string type_name;   // TypeName() of the file's type
  std::u16string file_data;   // the file's data as text; for REG_SZ the data of record
  std::u16string live_data;   // the registry's current data as text, or empty
  // The value's data block (dword and hex forms), or none.
  std::optional<std::vector<std::uint8_t>> data;

  const std::u16string& Column(int column) const;
};

}  // namespace hivemend
