// Comparing one parsed value with the live registry, and the texts its row
// shows. Reads the registry only.
#pragma once

#include <cstdint>
#include <string>

#include "engine/ChangeEntry.h"
#include "engine/RegParser.h"
#include "platform/Registry.h"

namespace hivemend {

struct CompareCounts {
  std::uint32_t matched = 0;       // "SAME"
  std::uint32_t differ = 0;        // "CHANGED", "CHANGED TYPE"
  std::uint32_t do_not_exist = 0;  // "MISSING"

  // Counts a status by its first character.
  void Count(std::u16string_view status);
  // "%u matched, %u differ, %u do not exist"
  std::u16string Text() const;
};

struct CompareResult {
  std::u16string_view status;  // one of the five status texts
  std::u16string live_data;    // the live string or "0x%x" dword, or empty
  std::u16string file_text;    // a string line's text with its escapes decoded
};

// Keeps the key of the last value compared open, so that the values of one key
// open it once (or fail to open it once). Keys are told apart by the text of
// their path exactly as the file writes it.
class OpenKeyCache {
 public:
  explicit OpenKeyCache(Registry* registry) : registry_(registry) {
    if (registry != nullptr) key_ = RegKey(*registry);
  }
  // The key opened for reading, or null when there is no registry or the key
  // cannot be opened.
  const RegKey* Find(RegRoot root, std::u16string_view path);
  // Closes the key.
  void Clear();

 private:
  Registry* registry_;
  RegKey key_;
  bool known_ = false;
  RegRoot root_{};
  std::u16string path_;
};

// Decides the status of one value against the registry (which may be null: no
// registry, everything is absent) and counts it.
CompareResult CompareWithRegistry(Registry* registry, const ParsedValue& value, CompareCounts& counts);
CompareResult CompareWithRegistry(OpenKeyCache& keys, const ParsedValue& value, CompareCounts& counts);

// The seven row texts and the data block of a compared value. Moves the
// value's bytes into the entry.
ChangeEntry MakeChangeEntry(ParsedValue& value, CompareResult&& result);

}  // namespace hivemend
