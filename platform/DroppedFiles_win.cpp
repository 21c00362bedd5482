#include "platform/DroppedFiles_win.h"

#include "platform/WinString.h"

namespace hivemend {

std::u16string TakeFirstDroppedFile(HDROP drop) {
  const UINT length = DragQueryFileW(drop, 0, nullptr, 0);
  std::wstring name(length + 1, L'\0');
  if (length > 0) DragQueryFileW(drop, 0, name.data(), length + 1);
  name.resize(length);
  DragFinish(drop);
  return AsU16(name.c_str(), name.size());
}

}  // namespace hivemend
