// Rows made directly, for tests of what consumes them (the store, the list's
// rules, the merge).
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "engine/ChangeEntry.h"

namespace hivemend::test {

struct EntryFields {
  std::u16string root_name = u"HKEY_CURRENT_USER";
  std::u16string path = u"K";
  std::u16string name = u"v";  // as written; "@" for the default value
  std::uint32_t type = kRegSz;
  EntryStatus status = EntryStatus::Missing;
  std::vector<std::uint8_t> file;  // the data of record (a string's units with their NUL)
  LiveState live = LiveState::None;
  std::uint32_t live_type = 0;
  std::vector<std::uint8_t> live_bytes;
  std::uint32_t line = 0;
  std::shared_ptr<const LoadSource> source;  // the file's load; none by default
};

inline ChangeEntry MakeEntry(const EntryFields& s) {
  KeyRef key = KeyRef::Make(s.root_name, s.path, s.source);
  const bool block = s.type != kRegSz && s.type != DELETE_VALUE_TYPE && !s.file.empty();
  return ChangeEntry(std::move(key), s.name, s.type, s.line, s.status, s.file, block, s.live, s.live_type,
                     s.live_bytes);
}

// A string's data of record: its units and a NUL, little-endian.
inline std::vector<std::uint8_t> TextBytes(std::u16string_view text) {
  std::vector<std::uint8_t> bytes;
  for (char16_t c : text) {
    bytes.push_back(static_cast<std::uint8_t>(c & 0xFF));
    bytes.push_back(static_cast<std::uint8_t>(c >> 8));
  }
  bytes.insert(bytes.end(), {0, 0});
  return bytes;
}

}  // namespace hivemend::test
