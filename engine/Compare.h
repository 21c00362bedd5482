// Comparing one parsed value with the live registry, and the texts its row
// shows. Reads the registry only.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "engine/ChangeEntry.h"
#include "engine/RegParser.h"
#include "platform/Registry.h"

namespace hivemend {

struct CompareCounts {
  std::uint32_t matched = 0;       // Same
  std::uint32_t differ = 0;        // Changed, ChangedType
  std::uint32_t do_not_exist = 0;  // Missing

  void Count(EntryStatus status);
  // "%u matched, %u differ, %u do not exist"
  std::u16string Text() const;
};

struct CompareResult {
  EntryStatus status = EntryStatus::Missing;
  LiveState live = LiveState::None;    // None, Absent, or what was read (SameBytes or OwnBytes)
  std::uint32_t live_type = 0;
  std::span<const std::uint8_t> live_bytes;  // valid until the next comparison on this thread
  std::u16string file_text;            // a string line's text with its escapes decoded
};

// Keeps the key of the last value compared open, so that the values of one key
// open it once (or fail to open it once). Keys are told apart by the text of
// their path exactly as the file writes it. Remembers the last key found not
// to exist: the keys below it do not exist either and are not asked for.
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
  // Why the last Find found nothing (kRegFileNotFound: the key does not exist).
  long status() const { return status_; }
  Registry* registry() const { return registry_; }

 private:
  Registry* registry_;
  RegKey key_;
  bool known_ = false;
  long status_ = kRegOk;
  RegRoot root_{};
  std::u16string path_;
  std::optional<RegRoot> absent_root_;  // with absent_path_: a key that does not exist
  std::u16string absent_path_;
};

// Decides the status of one value against the registry the cache reads (none:
// everything is absent) and counts it.
CompareResult CompareWithRegistry(OpenKeyCache& keys, const ParsedValue& value, CompareCounts& counts);

// The row of a compared value, under its key line.
ChangeEntry MakeChangeEntry(KeyRef key, const ParsedValue& value,
                            const CompareResult& result);

}  // namespace hivemend
