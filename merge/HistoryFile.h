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

}  // namespace hivemend
