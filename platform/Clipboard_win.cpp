#include "platform/Clipboard_win.h"

#include <cstring>

#include "platform/UniqueHandle_win.h"

namespace hivemend {

bool CopyTextToClipboard(HWND owner, const std::u16string& text) {
  const size_t bytes = (text.size() + 1) * sizeof(char16_t);
  ScopedHGlobal memory(GlobalAlloc(GMEM_MOVEABLE, bytes));
  if (!memory) return false;
  void* at = GlobalLock(memory.get());
  if (at == nullptr) return false;
  std::memcpy(at, text.c_str(), bytes);
  GlobalUnlock(memory.get());
  // Another program may hold the clipboard for a moment.
  bool opened = false;
  for (int attempt = 0; attempt < 10 && !(opened = OpenClipboard(owner) != FALSE); ++attempt) Sleep(20);
  if (!opened) return false;
  EmptyClipboard();
  const bool placed = SetClipboardData(CF_UNICODETEXT, memory.get()) != nullptr;
  if (placed) (void)memory.release();  // the clipboard owns it now
  CloseClipboard();
  return placed;
}

}  // namespace hivemend
