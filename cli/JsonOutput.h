// The console front end's JSON document, written as it goes: the rows one at a
// time, so that a million rows never sit in memory as one document. The README
// describes the fields.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "engine/ChangeEntry.h"
#include "engine/Compare.h"

namespace hivemend {

// How a load ended, as the document's closing fields tell it.
struct JsonLoadEnd {
  bool normal = true;
  std::u16string_view error;                  // why the load ended early (normal: empty)
  std::vector<std::u16string_view> status;    // the status bar's final texts
  CompareCounts counts;
  std::uint64_t would_change = 0;             // rows whose merge would change the registry
};

// How a merge ended.
struct JsonMergeEnd {
  bool merged = false;           // the merge ran (false: the load failed, or there were no rows)
  std::uint64_t rows_merged = 0;
  std::u16string_view undo_file;  // empty: none saved
  std::u16string_view error_log;  // empty: none saved
  std::u16string_view errors;     // the failure texts, as in the error log
  std::vector<std::u16string_view> messages;  // what the window would have shown
  bool succeeded = false;         // the command's exit code is 0
};

class JsonOutput {
 public:
  // Starts the document: the command and the file as named.
  JsonOutput(std::FILE* out, std::string_view command, std::u16string_view file);
  ~JsonOutput();
  JsonOutput(const JsonOutput&) = delete;
  JsonOutput& operator=(const JsonOutput&) = delete;

  // One row; checked only for the rows of a merge.
  void Row(const ChangeEntry& entry, bool would_change, std::optional<bool> checked = std::nullopt);
  void LoadEnd(const JsonLoadEnd& end);
  // Only for merge and undo, after LoadEnd.
  void MergeEnd(const JsonMergeEnd& end);
  // Closes the document and writes out what is left. Called by the destructor
  // when not called before.
  void Finish();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// A value's data as the document shows it, by type: "text" for well-formed
// REG_SZ and REG_EXPAND_SZ data (one NUL at the end, none before it), "strings"
// for well-formed REG_MULTI_SZ data, "number" for a 4-byte REG_DWORD and an
// 8-byte REG_QWORD, and "hex" (lower case, no separators) for anything else,
// so that every byte can be had back. For tests.
std::string JsonDataText(std::uint32_t type, std::span<const std::uint8_t> bytes);

}  // namespace hivemend
