// Names for the files a merge leaves in the history folder.
#pragma once

#include <string>
#include <string_view>

namespace hivemend {

// A full path in folder for a new file: prefix, a hexadecimal number that the
// system picks and extension, such as "hivemend_undo_1a2b.reg". No file of
// that name exists when it returns. Empty when no name can be had (for
// example when the folder does not exist or cannot be written).
std::u16string NewHistoryFileName(const std::u16string& folder, std::u16string_view prefix,
                                  std::u16string_view extension);

// The system halves (HistoryFile_win.cpp with GetTempFileNameW, and a native
// counterpart that behaves the same).
namespace history_file {
// Creates a new empty file in folder named from the first three characters of
// prefix, a hexadecimal number and ".tmp" (any letter case); returns its full
// path, or empty on failure.
std::u16string CreatePlaceholder(const std::u16string& folder, std::u16string_view prefix);
bool Exists(const std::u16string& path);
void Delete(const std::u16string& path);
}  // namespace history_file

}  // namespace hivemend
