// Text onto the clipboard, for the window and the message box. User-interface
// thread.
#pragma once

#include <windows.h>

#include <string>

namespace hivemend {

// Puts text on the clipboard as CF_UNICODETEXT, owned by owner. False when
// the clipboard cannot be opened or the memory cannot be had.
bool CopyTextToClipboard(HWND owner, const std::u16string& text);

}  // namespace hivemend
