// Files dropped on a window from the shell.
#pragma once

#include <windows.h>
#include <shellapi.h>

#include <string>

namespace hivemend {

// The first file of a drop (empty when there is none); the drop's data is
// released.
std::u16string TakeFirstDroppedFile(HDROP drop);

}  // namespace hivemend
