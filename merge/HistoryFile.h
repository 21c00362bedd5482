// The history folder's files: the names of the files a merge leaves there,
// and the list of past merges read back from their undo files.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/SystemText.h"

namespace hivemend {

// Undo files are named hivemend_undo_YYYYMMDD-HHMMSS.reg (with "-2", "-3", ...
// before the extension when the name is taken, with no small limit); the error
// log of the same merge hivemend_error_log_ with the same time and suffix, and
// ".log" (with another counter in the rare case that this name is taken).
inline constexpr std::u16string_view kUndoFilePrefix = u"hivemend_undo_";
inline constexpr std::u16string_view kUndoFileExtension = u".reg";
inline constexpr std::u16string_view kErrorLogPrefix = u"hivemend_error_log_";
inline constexpr std::u16string_view kErrorLogExtension = u".log";

// The folder a command keeps its history in: the chosen one (made when make
// is set and it is missing), or the user's history folder when none is chosen.
std::u16string HistoryFolderFor(const std::u16string& chosen, bool make);

// When a merge happened, as its files tell it: "2026-12-08 23:15:00" in their
// text, "20261208-231500" (the stem) in their names.
struct MergeTime {
  std::u16string shown;
  std::u16string stem;
};
MergeTime MergeTimeOf(const LocalTime& time);

// The names a merge's undo file and error log try, attempt 1, 2, ...
std::u16string UndoFileName(std::u16string_view stem, int attempt);
std::u16string ErrorLogName(std::u16string_view stem, int attempt);

// Whether a file name (without folder) is an undo file's, in any letter case.
bool IsUndoFileName(std::u16string_view name);
// The stem of an undo file's name or path ("20261208-231500-2"); empty for a
// name that is not an undo file's.
std::u16string UndoFileStem(std::u16string_view undo_path);
// The name of the error log that belongs to an undo file's name or path
// (same folder); empty for a name that is not an undo file's.
std::u16string ErrorLogPathFor(std::u16string_view undo_path);

// The lines an error log starts with: when the merge happened, what it merged.
std::u16string ErrorLogHeader(const std::vector<std::u16string>& merged_files, std::u16string_view when);

// The comment lines that a merge writes at the start of its undo file, after
// the header line: what it merged, when and how many rows.
std::u16string UndoComments(const std::vector<std::u16string>& merged_files, std::u16string_view when,
                            std::uint64_t rows);

// One past merge, as the start of its undo file tells it.
struct MergeRecord {
  std::u16string undo_path;
  std::u16string time;                      // "2026-12-08 23:15:00"; empty when the file does not say
  std::vector<std::u16string> merged_files;
  std::optional<std::uint64_t> rows;        // none when the file does not say
  std::u16string error_log_path;            // empty: no errors were logged
  bool readable = true;                     // false: not an undo file of this program, or unreadable
};

// What the comment lines at the start of an undo file's bytes (FF FE and
// UTF-16 text) say; readable false for bytes that do not start like one.
// Only the start is read: bytes may be a file's first kept few kilobytes.
MergeRecord ReadUndoComments(std::string_view bytes);

// The merges of the folder, newest first (by the undo files' times of last
// change; of equal times, the greater name first). Reads only the start of
// each undo file.
std::vector<MergeRecord> ReadHistory(const std::u16string& folder);
// The undo files of the folder in ReadHistory's order, none of them read: for
// a list that reads each file's start when it shows it (ReadMergeRecord).
std::vector<std::u16string> UndoFilesNewestFirst(const std::u16string& folder);
// One undo file's merge, as ReadHistory lists it.
MergeRecord ReadMergeRecord(const std::u16string& undo_path);
// The newest undo file of the folder, or empty.
std::u16string NewestUndoFile(const std::u16string& folder);
// Makes a new undo file the newest of its folder also when another one was
// written within the same tick of the file system's clock (merges and undos in
// quick succession), so that NewestUndoFile finds it.
void KeepNewest(const std::u16string& undo_path);

}  // namespace hivemend
