// Showing a file to the user where it lies: a file-browser window on its
// folder, with the file selected.
#pragma once

#include <string>

namespace hivemend {

// Opens the folder that holds path in the file browser and selects the file
// there; owner (a native window, may be null) owns what the shell shows. True
// when the shell accepted it. Elsewhere: false.
bool ShowInFolder(const std::u16string& path, void* owner = nullptr);

}  // namespace hivemend
