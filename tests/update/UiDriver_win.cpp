// Drives another program's windows from outside, as a user would, for the
// end-to-end tests (run under Wine in the same prefix as the program):
//
//   ui_driver wait-window <caption> <timeout ms>
//       exits 0 once a visible top-level window with that caption exists
//   ui_driver answer <caption> <button id> <tick 0|1> <timeout ms>
//       waits for a visible dialog with that caption, prints its texts, ticks
//       its check box if asked, and clicks the button with the mouse
//   ui_driver wait-gone <caption> <timeout ms>
//       exits 0 once no visible window with that caption is left
//   ui_driver click <caption> <control id> <timeout ms>
//       waits for a visible window with that caption (spaces at its end aside)
//       and an enabled control
//       with that id in it, and clicks it (BM_CLICK)
//   ui_driver wait-enabled <caption> <control id> <timeout ms>
//       the same without the click
//   ui_driver shell-command <extension> [verb]
//       prints the command the shell runs for the verb (the default verb when
//       none is given) on files with that extension; exits 1 when there is none
#include <windows.h>
#include <shlwapi.h>

#include <cstdio>
#include <cwchar>
#include <string>

#include "msgbox/MessageBoxParams.h"

namespace {


HWND FindVisible(const wchar_t* class_name, const wchar_t* caption) {
  HWND found = nullptr;
  for (HWND w = FindWindowExW(nullptr, nullptr, class_name, caption); w;
       w = FindWindowExW(nullptr, w, class_name, caption)) {
    if (IsWindowVisible(w)) found = w;
  }
  return found;
}

HWND WaitFor(const wchar_t* class_name, const wchar_t* caption, DWORD timeout_ms) {
  const ULONGLONG end = GetTickCount64() + timeout_ms;
  for (;;) {
    if (HWND w = FindVisible(class_name, caption)) return w;
    if (GetTickCount64() > end) return nullptr;
    Sleep(100);
  }
}

// A left click in the middle of a control, through the input queue.
void Click(HWND control) {
  RECT r;
  GetWindowRect(control, &r);
  SetCursorPos((r.left + r.right) / 2, (r.top + r.bottom) / 2);
  INPUT inputs[2] = {};
  inputs[0].type = inputs[1].type = INPUT_MOUSE;
  inputs[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
  inputs[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
  SendInput(2, inputs, sizeof(INPUT));
  Sleep(300);
}

void PrintTexts(HWND box) {
  for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    wchar_t text[2048] = {};
    GetWindowTextW(child, text, 2048);
    std::string utf8(WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8.data(), static_cast<int>(utf8.size()), nullptr, nullptr);
    std::printf("text %d: %s\n", GetDlgCtrlID(child), utf8.c_str());
  }
  std::fflush(stdout);
}

int Answer(const wchar_t* caption, int button, bool tick, DWORD timeout_ms) {
  HWND box = WaitFor(L"#32770", caption, timeout_ms);
  if (box == nullptr) {
    std::printf("no box\n");
    return 1;
  }
  Sleep(300);  // let it finish showing
  PrintTexts(box);
  SetForegroundWindow(box);
  if (tick) {
    HWND check = GetDlgItem(box, hivemend::AMB_ID_CHECKBOX);
    if (check == nullptr) return 2;
    Click(check);
    if (SendMessageW(check, BM_GETCHECK, 0, 0) != BST_CHECKED) {
      std::printf("check box not ticked\n");
      return 3;
    }
  }
  HWND target = GetDlgItem(box, button);
  if (target == nullptr) return 4;
  Click(target);
  for (int i = 0; i < 50 && IsWindow(box) && IsWindowVisible(box); ++i) Sleep(100);
  if (IsWindow(box) && IsWindowVisible(box)) {
    std::printf("box still open after the click\n");
    return 5;
  }
  return 0;
}

// A visible top-level window whose caption is the given one, but for spaces
// at its end (wizards add one to the caption on each page after the first).
HWND FindVisibleTrimmed(const wchar_t* caption) {
  struct Search {
    std::wstring caption;
    HWND found = nullptr;
  } search{caption};
  EnumWindows(
      [](HWND w, LPARAM param) -> BOOL {
        auto* search = reinterpret_cast<Search*>(param);
        wchar_t text[512] = {};
        GetWindowTextW(w, text, 512);
        std::wstring title(text);
        while (!title.empty() && title.back() == L' ') title.pop_back();
        if (IsWindowVisible(w) && title == search->caption) search->found = w;
        return search->found == nullptr;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

int ClickControl(const wchar_t* caption, int id, DWORD timeout_ms, bool click) {
  const ULONGLONG end = GetTickCount64() + timeout_ms;
  for (;;) {
    if (HWND w = FindVisibleTrimmed(caption)) {
      HWND control = GetDlgItem(w, id);
      if (control != nullptr && IsWindowVisible(control) && IsWindowEnabled(control)) {
        // Posted: a wizard page may run its own message loop until it is left.
        if (click) PostMessageW(control, BM_CLICK, 0, 0);
        return 0;
      }
    }
    if (GetTickCount64() > end) return 1;
    Sleep(100);
  }
}

int PrintShellCommand(const wchar_t* extension, const wchar_t* verb) {
  wchar_t command[4096] = {};
  DWORD size = 4096;
  if (FAILED(AssocQueryStringW(ASSOCF_NONE, ASSOCSTR_COMMAND, extension, verb, command, &size))) return 1;
  std::string utf8(WideCharToMultiByte(CP_UTF8, 0, command, -1, nullptr, 0, nullptr, nullptr), '\0');
  WideCharToMultiByte(CP_UTF8, 0, command, -1, utf8.data(), static_cast<int>(utf8.size()), nullptr, nullptr);
  std::printf("%s\n", utf8.c_str());
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc >= 4 && std::wcscmp(argv[1], L"wait-window") == 0) {
    return WaitFor(nullptr, argv[2], std::wcstoul(argv[3], nullptr, 10)) ? 0 : 1;
  }
  if (argc >= 4 && std::wcscmp(argv[1], L"wait-gone") == 0) {
    const ULONGLONG end = GetTickCount64() + std::wcstoul(argv[3], nullptr, 10);
    while (FindVisible(nullptr, argv[2])) {
      if (GetTickCount64() > end) return 1;
      Sleep(100);
    }
    return 0;
  }
  if (argc >= 6 && std::wcscmp(argv[1], L"answer") == 0) {
    return Answer(argv[2], static_cast<int>(std::wcstol(argv[3], nullptr, 10)), argv[4][0] == L'1',
                  std::wcstoul(argv[5], nullptr, 10));
  }
  if (argc >= 5 && (std::wcscmp(argv[1], L"click") == 0 || std::wcscmp(argv[1], L"wait-enabled") == 0)) {
    return ClickControl(argv[2], static_cast<int>(std::wcstol(argv[3], nullptr, 10)), std::wcstoul(argv[4], nullptr, 10),
                        std::wcscmp(argv[1], L"click") == 0);
  }
  if (argc >= 3 && std::wcscmp(argv[1], L"shell-command") == 0) {
    return PrintShellCommand(argv[2], argc >= 4 ? argv[3] : nullptr);
  }
  std::fprintf(stderr, "usage: see the top of UiDriver_win.cpp\n");
  return 64;
}
