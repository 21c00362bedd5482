// The per-user folder that receives undo files and error logs: "Hivemend" in
// the user's roaming application-data folder (on other systems, in
// $XDG_DATA_HOME or ~/.local/share).
#pragma once

#include <string>

namespace hivemend {

// The folder's path, created (with its parent) when missing. Empty when the
// application-data folder cannot be found. Creation failures are not reported:
// the path is returned all the same.
std::u16string HistoryFolder();

}  // namespace hivemend
