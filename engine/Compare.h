// Comparing one parsed value with the live registry, and the texts its row
// shows. Reads the registry only.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

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
//
// Every registry call costs a round trip under some systems, so a key that
// holds fewer values than the rows expected for it is read whole when it is
// opened (its counts, then each of its values) and its values are answered
// from that copy: a value the key does not hold costs nothing to look up.
class OpenKeyCache {
 public:
  // Keys are opened with access; where that is refused, for reading only.
  explicit OpenKeyCache(Registry* registry, std::uint32_t access = kKeyRead) : registry_(registry), access_(access) {
    if (registry != nullptr) key_ = RegKey(*registry);
  }
  // How many rows the next key that Find opens is expected to be asked for
  // (at least). 0 or 1: its values are always asked for one by one.
  void ExpectRows(size_t rows) { expected_rows_ = rows; }
  // The key opened for reading, or null when there is no registry or the key
  // cannot be opened.
  const RegKey* Find(RegRoot root, std::u16string_view path);
  // A value of the key that the last Find returned, as Registry::QueryValue
  // reports it (name as the registry knows it).
  long Query(std::u16string_view name, std::uint32_t* type, std::uint8_t* data, std::uint32_t* size);
  // Closes the key.
  void Clear();
  // Why the last Find found nothing (kRegFileNotFound: the key does not exist).
  long status() const { return status_; }
  Registry* registry() const { return registry_; }

 private:
  Registry* registry_;
  std::uint32_t access_;
  RegKey key_;
  bool known_ = false;
  long status_ = kRegOk;
  RegRoot root_{};
  std::u16string path_;
  std::optional<RegRoot> absent_root_;  // with absent_path_: a key that does not exist
  std::u16string absent_path_;

  // The open key's values when it was read whole: the first kept_count_.
  struct KeptValue {
    std::u16string folded_name;
    std::uint32_t type;
    std::vector<std::uint8_t> bytes;
  };
  void ReadWhole();
  size_t expected_rows_ = 0;
  bool whole_ = false;
  std::vector<KeptValue> values_;
  size_t kept_count_ = 0;
  std::u16string folded_;  // scratch
};

// Decides the status of one value against the registry the cache reads (none:
// everything is absent) and counts it.
CompareResult CompareWithRegistry(OpenKeyCache& keys, const ParsedValue& value, CompareCounts& counts);

// The row of a compared value, under its key line.
ChangeEntry MakeChangeEntry(KeyRef key, const ParsedValue& value,
                            const CompareResult& result);

}  // namespace hivemend
