#include "app/ListInput_win.h"

#include <windowsx.h>

#include <optional>

#include "resources/resource.h"

namespace hivemend {

int TrackRowMenu(HWND window, ChangeList& list_view, Registry* registry, LPARAM position) {
  const HWND list = list_view.handle();
  POINT at{GET_X_LPARAM(position), GET_Y_LPARAM(position)};
  if (position == -1) {
    RECT rect{};
    const std::optional<size_t> row = list_view.CurrentRow();
    const std::optional<int> line = row ? list_view.LineOf(*row) : std::nullopt;
    rect.left = LVIR_LABEL;
    if (line && SendMessageW(list, LVM_GETITEMRECT, *line, reinterpret_cast<LPARAM>(&rect))) {
      at = {rect.left + 16, rect.bottom};
    } else {
      GetClientRect(list, &rect);
      at = {rect.left + 16, rect.top + 16};
    }
    ClientToScreen(list, &at);
  } else {
    POINT client = at;
    ScreenToClient(list, &client);
    LVHITTESTINFO hit{};
    hit.pt = client;
    const int index = static_cast<int>(SendMessageW(list, LVM_HITTEST, 0, reinterpret_cast<LPARAM>(&hit)));
    if (index >= 0 && !(SendMessageW(list, LVM_GETITEMSTATE, index, LVIS_SELECTED) & LVIS_SELECTED)) {
      LVITEMW none{};
      none.stateMask = LVIS_SELECTED;
      SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&none));
      LVITEMW item{};
      item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
      item.state = LVIS_SELECTED | LVIS_FOCUSED;
      SendMessageW(list, LVM_SETITEMSTATE, index, reinterpret_cast<LPARAM>(&item));
    }
  }
  const HMENU bar = LoadMenuW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_ROWMENU));
  if (!bar) return 0;
  const HMENU menu = GetSubMenu(bar, 0);
  const std::optional<size_t> row = list_view.CurrentRow();
  const UINT rows = row ? MF_ENABLED : MF_GRAYED;
  const UINT checks = row && !list_view.locked() ? MF_ENABLED : MF_GRAYED;
  for (UINT id : {IDM_ROW_DETAILS, IDM_ROW_COPY}) EnableMenuItem(menu, id, rows);
  for (UINT id : {IDM_ROW_CHECK, IDM_ROW_UNCHECK}) EnableMenuItem(menu, id, checks);
  EnableMenuItem(menu, IDM_SELECT_ALL, list_view.store().empty() ? MF_GRAYED : MF_ENABLED);
  bool key_exists = false;
  if (row && registry) {
    const ChangeEntry& entry = list_view.store().at(*row).entry;
    RegKey key(*registry);
    key_exists = entry.root() && key.Open(*entry.root(), entry.key().path, kKeyRead) == kRegOk;
  }
  EnableMenuItem(menu, IDM_ROW_REGEDIT, key_exists ? MF_ENABLED : MF_GRAYED);
  SetMenuDefaultItem(menu, IDM_ROW_DETAILS, FALSE);
  const UINT command = TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON, at.x, at.y, 0, window, nullptr);
  DestroyMenu(bar);
  return static_cast<int>(command);
}

int CommandForKey(HWND window, ChangeList& list, const MSG& message) {
  if (message.message != WM_KEYDOWN && message.message != WM_SYSKEYDOWN) return 0;
  if (message.hwnd != window && !IsChild(window, message.hwnd)) return 0;
  const bool control = GetKeyState(VK_CONTROL) < 0;
  const bool in_list = message.hwnd == list.handle();
  const bool in_filter = message.hwnd == GetDlgItem(window, IDC_FILTER_TEXT);
  if (in_list && (message.wParam == VK_APPS || (message.wParam == VK_F10 && GetKeyState(VK_SHIFT) < 0))) return -1;
  if (message.message != WM_KEYDOWN) return 0;
  if (control && message.wParam == 'O') return IDM_LOAD;
  if (control && message.wParam == 'F') return IDM_FIND;
  if (!control && message.wParam == VK_F3) return GetKeyState(VK_SHIFT) < 0 ? IDM_FIND_PREVIOUS : IDM_FIND_NEXT;
  if (in_filter && message.wParam == VK_ESCAPE) return IDM_FILTER_ESCAPE;
  if (in_filter && message.wParam == VK_RETURN) return IDM_FILTER_ENTER;
  if (!control && message.wParam == VK_F5) return IDM_RELOAD;
  if (control && in_list && message.wParam == 'C') return IDM_ROW_COPY;
  if (control && in_list && message.wParam == 'A') return IDM_SELECT_ALL;
  if (!control && in_list && message.wParam == VK_RETURN && list.CurrentRow()) return IDM_ROW_DETAILS;
  return 0;
}

}  // namespace hivemend
