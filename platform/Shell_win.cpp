#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>

#include "platform/Shell.h"
#include "platform/WinString.h"

namespace hivemend {

bool OpenWithShell(const std::u16string& target, void* owner) {
  // Success is a value above 32.
  return reinterpret_cast<INT_PTR>(ShellExecuteW(static_cast<HWND>(owner), nullptr, AsWide(target), nullptr, nullptr,
                                                 SW_SHOWNORMAL)) > 32;
}

void NotifyAssociationsChanged() { SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_IDLIST, nullptr, nullptr); }

}  // namespace hivemend
