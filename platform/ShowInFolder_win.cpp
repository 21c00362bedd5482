#include <windows.h>
#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>

#include "platform/ShowInFolder.h"
#include "platform/WinString.h"

namespace hivemend {

// The shell's own call selects the file in a browser window that already shows
// the folder, or opens one. It needs COM on the calling thread; where it fails
// (a shell without it), the file browser is started with its /select switch.
bool ShowInFolder(const std::u16string& path, void* owner) {
  const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
  bool shown = false;
  if (PIDLIST_ABSOLUTE item = ILCreateFromPathW(AsWide(path))) {
    shown = SUCCEEDED(SHOpenFolderAndSelectItems(item, 0, nullptr, 0));
    ILFree(item);
  }
  if (SUCCEEDED(com)) CoUninitialize();
  if (shown) return true;
  const std::u16string arguments = u"/select,\"" + path + u"\"";
  // Success is a value above 32.
  return reinterpret_cast<INT_PTR>(ShellExecuteW(static_cast<HWND>(owner), nullptr, L"explorer.exe",
                                                 AsWide(arguments), nullptr, SW_SHOWNORMAL)) > 32;
}

}  // namespace hivemend
