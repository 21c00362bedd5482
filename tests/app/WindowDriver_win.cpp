// Drives a running main window from another process, for the screenshots
// (tools/screenshot-main.sh):
//
//   window_driver details <row>   selects row <row> (from 1, in list order) and opens its details
//   window_driver menu <row>      selects row <row> and opens the row menu on it
//   window_driver filter <text> <choice>  types <text> into the filter box and picks
//                                 status choice <choice> (0: all rows, 1: rows that would change, ...)
//   window_driver merge 0         checks every row and merges them: the outcome stays open
//   window_driver history 0       merges every row, takes the merge back with Undo last merge,
//                                 and opens File > History...
//
// Exits 0 when the command was sent, 1 when there is no such window or row.
#include <windows.h>

#include <commctrl.h>

#include <cstdio>
#include <cwchar>
#include <string>

#include "resources/resource.h"

namespace {

HWND FindMainWindow() {
  HWND found = nullptr;
  EnumWindows(
      [](HWND window, LPARAM result) -> BOOL {
        wchar_t title[256] = L"";
        GetWindowTextW(window, title, 256);
        if (!IsWindowVisible(window) || std::wcsncmp(title, L"Hivemend", 8) != 0 ||
            GetDlgItem(window, IDC_CHANGE_LIST) == nullptr)
          return TRUE;
        *reinterpret_cast<HWND*>(result) = window;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&found));
  return found;
}

// LVM_SETITEMSTATE into the other process: the item lives in its memory.
bool SetState(HWND list, HANDLE process, int row, UINT state) {
  void* remote = VirtualAllocEx(process, nullptr, sizeof(LVITEMW), MEM_COMMIT, PAGE_READWRITE);
  if (!remote) return false;
  LVITEMW item{};
  item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
  item.state = state;
  const bool ok = WriteProcessMemory(process, remote, &item, sizeof item, nullptr) &&
                  SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(remote));
  VirtualFreeEx(process, remote, 0, MEM_RELEASE);
  return ok;
}

// A box of the program titled "Hivemend" (the main window's title names its
// file); with a button id, only a box that has that button.
HWND FindBox(DWORD process, int button) {
  struct Search {
    DWORD process;
    int button;
    HWND found;
  } search{process, button, nullptr};
  for (int i = 0; i < 200 && !search.found; ++i) {
    EnumWindows(
        [](HWND window, LPARAM param) -> BOOL {
          auto& s = *reinterpret_cast<Search*>(param);
          wchar_t title[64] = L"";
          DWORD pid = 0;
          GetWindowThreadProcessId(window, &pid);
          GetWindowTextW(window, title, 64);
          if (pid != s.process || !IsWindowVisible(window) || std::wcscmp(title, L"Hivemend") != 0 ||
              (s.button != 0 && GetDlgItem(window, s.button) == nullptr))
            return TRUE;
          s.found = window;
          return FALSE;
        },
        reinterpret_cast<LPARAM>(&search));
    if (!search.found) Sleep(50);
  }
  return search.found;
}

// Answers the box that comes next, one that has the control has, with button;
// false when none came.
bool Answer(DWORD process, int button, int has) {
  const HWND box = FindBox(process, has);
  if (!box) return false;
  PostMessageW(box, WM_COMMAND, button, 0);
  for (int i = 0; i < 100 && IsWindow(box); ++i) Sleep(50);
  return true;
}

// Every row checked, merged: returns once the outcome is shown.
bool MergeAll(HWND window, DWORD process) {
  const HWND combo = GetDlgItem(window, IDC_CHECK_RULE);
  const LRESULT all = SendMessageW(combo, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(L"All"));
  SendMessageW(combo, CB_SETCURSEL, all, 0);
  SendMessageW(window, WM_COMMAND, IDC_APPLY, 0);
  PostMessageW(window, WM_COMMAND, IDC_MERGE, 0);
  return Answer(process, IDYES, IDYES) && FindBox(process, 1001 /* the program's own box */) != nullptr;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 3 && argc != 4) {
    std::fprintf(stderr, "usage: window_driver details|menu|merge|history <row> | filter <text> <choice>\n");
    return 2;
  }
  const std::wstring command = argv[1];
  HWND window = nullptr;
  for (int i = 0; i < 100 && !(window = FindMainWindow()); ++i) Sleep(100);
  if (!window) return 1;
  if (command == L"filter" && argc == 4) {
    const HWND choice = GetDlgItem(window, IDC_FILTER_STATUS);
    SendMessageW(choice, CB_SETCURSEL, _wtoi(argv[3]), 0);
    SendMessageW(window, WM_COMMAND, MAKEWPARAM(IDC_FILTER_STATUS, CBN_SELCHANGE), reinterpret_cast<LPARAM>(choice));
    SendMessageW(GetDlgItem(window, IDC_FILTER_TEXT), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(argv[2]));
    return 0;
  }
  const int row = _wtoi(argv[2]) - 1;
  const HWND list = GetDlgItem(window, IDC_CHANGE_LIST);
  DWORD pid = 0;
  GetWindowThreadProcessId(list, &pid);
  if (command == L"merge") return MergeAll(window, pid) ? 0 : 1;
  if (command == L"history") {
    // The outcome's OK, then the undo: its question, its outcome.
    constexpr int kProgramBox = 1001;
    if (!MergeAll(window, pid) || !Answer(pid, IDOK, kProgramBox)) return 1;
    PostMessageW(window, WM_COMMAND, IDM_UNDO_LAST, 0);
    if (!Answer(pid, IDYES, IDYES) || !Answer(pid, IDOK, kProgramBox)) return 1;
    return PostMessageW(window, WM_COMMAND, IDM_HISTORY, 0) ? 0 : 1;
  }
  if (row < 0 || row >= SendMessageW(list, LVM_GETITEMCOUNT, 0, 0)) return 1;
  const HANDLE process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
  if (!process) return 1;
  const bool selected = SetState(list, process, -1, 0) && SetState(list, process, row, LVIS_SELECTED | LVIS_FOCUSED);
  CloseHandle(process);
  if (!selected) return 1;
  SendMessageW(list, LVM_ENSUREVISIBLE, row, FALSE);
  if (command == L"details") return PostMessageW(window, WM_COMMAND, IDM_ROW_DETAILS, 0) ? 0 : 1;
  if (command == L"menu")
    return PostMessageW(window, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(list), -1) ? 0 : 1;
  return 2;
}
