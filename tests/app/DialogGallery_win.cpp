// Shows one of the program's dialogs by name, for screenshots
// (tools/msgbox-screenshots.sh), with the protocol of msgbox_gallery: prints
// the dialog's window rectangle as "left top right bottom" once it is up and
// closes it after the given milliseconds. Aware of each monitor's DPI, as the
// program is.
//
//   app_dialog_gallery.exe [about [MILLISECONDS]]
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "app/AboutDialog_win.h"

int wmain(int argc, wchar_t** argv) {
  using SetContextFn = BOOL(WINAPI*)(HANDLE);
  const auto set_context = reinterpret_cast<SetContextFn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "SetProcessDpiAwarenessContext")));
  if (set_context && !set_context(reinterpret_cast<HANDLE>(-4))) set_context(reinterpret_cast<HANDLE>(-3));

  if (argc < 2) {
    std::printf("about\n");
    return 0;
  }
  if (std::wstring(argv[1]) != L"about") {
    std::fprintf(stderr, "no dialog named %ls\n", argv[1]);
    return 1;
  }
  const int delay = argc > 2 ? _wtoi(argv[2]) : 3000;
  std::thread closer([delay] {
    HWND box = nullptr;
    for (int i = 0; i < 500 && !box; ++i) {
      Sleep(10);
      box = FindWindowW(L"#32770", L"About Hivemend");
      if (box && !IsWindowVisible(box)) box = nullptr;
    }
    if (!box) return;
    // Owned by no window it opens at the screen's corner: moved in, as the program's owner would place it.
    SetWindowPos(box, nullptr, 40, 40, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    Sleep(300);
    RECT rect{};
    GetWindowRect(box, &rect);
    std::printf("%ld %ld %ld %ld\n", rect.left, rect.top, rect.right, rect.bottom);
    std::fflush(stdout);
    Sleep(delay);
    PostMessageW(box, WM_COMMAND, IDOK, 0);
  });
  hivemend::ShowAboutDialog(nullptr);
  closer.join();
  return 0;
}
