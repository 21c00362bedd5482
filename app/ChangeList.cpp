#include "app/ChangeList.h"

#include <windowsx.h>

#include <algorithm>

#include "platform/Text.h"
#include "platform/WinString.h"

namespace hivemend {
namespace {

constexpr int kColumnWidths[kColumnCount] = {135, 70, 260, 140, 100, 205, 205};
// The longest texts that the short columns hold: such a column is made wide
// enough for its text in the window's font.
constexpr const wchar_t* kLongestTexts[kColumnCount] = {L"HKEY_CURRENT_CONFIG", L"CHANGED TYPE", nullptr, nullptr,
                                                        L"REG_EXPAND_SZ", nullptr, nullptr};
constexpr UINT_PTR kSubclassId = 1;
// Check box state images: 1 unchecked, 2 checked.
constexpr UINT StateImage(bool checked) { return INDEXTOSTATEIMAGEMASK(checked ? 2 : 1); }

}  // namespace

void ChangeList::Attach(HWND list) {
  list_ = list;
  for (int c = 0; c < kColumnCount; ++c) {
    std::u16string header(kColumnHeaders[c]);
    LVCOLUMNW column{};
    column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
    column.fmt = LVCFMT_LEFT;
    column.cx = kColumnWidths[c];
    if (kLongestTexts[c]) {
      // Room for the cell's margins and, in the first column, the check box.
      const int margins = c == 0 ? 12 + GetSystemMetrics(SM_CXSMICON) + 4 : 12;
      const int text = static_cast<int>(SendMessageW(list_, LVM_GETSTRINGWIDTHW, 0,
                                                     reinterpret_cast<LPARAM>(kLongestTexts[c])));
      column.cx = std::max(column.cx, text + margins);
    }
    column.pszText = const_cast<wchar_t*>(AsWide(header));
    column.iSubItem = c;
    SendMessageW(list_, LVM_INSERTCOLUMNW, c, reinterpret_cast<LPARAM>(&column));
  }
  SendMessageW(list_, LVM_SETEXTENDEDLISTVIEWSTYLE, 0,
               LVS_EX_CHECKBOXES | LVS_EX_HEADERDRAGDROP | LVS_EX_FULLROWSELECT | LVS_EX_ONECLICKACTIVATE |
                   LVS_EX_INFOTIP | LVS_EX_LABELTIP | LVS_EX_DOUBLEBUFFER);
  // The check boxes live in the store: the list asks for them like for texts.
  SendMessageW(list_, LVM_SETCALLBACKMASK, LVIS_STATEIMAGEMASK, 0);
  SetWindowSubclass(list_, SubclassProc, kSubclassId, reinterpret_cast<DWORD_PTR>(this));
}

void ChangeList::AddRow(ChangeEntry&& entry) { store_.Insert(std::move(entry)); }

// Telling the list view its row count is costly (tens of milliseconds under
// Wine, whatever the batch), so a load's rows are shown a few times a second
// and whenever a load ends.
void ChangeList::ShowNewRows(bool now) {
  if (store_.size() == shown_count_) return;
  const ULONGLONG tick = GetTickCount64();
  if (!now && tick - last_shown_ < kShowIntervalMs) return;
  last_shown_ = tick;
  shown_count_ = store_.size();
  SendMessageW(list_, LVM_SETITEMCOUNT, shown_count_, LVSICF_NOINVALIDATEALL | LVSICF_NOSCROLL);
  // Rows arrive between the rows already shown: the whole list moves.
  InvalidateRect(list_, nullptr, FALSE);
}

void ChangeList::RefreshCount() {
  shown_count_ = store_.size();
  last_shown_ = GetTickCount64();
  SendMessageW(list_, LVM_SETITEMCOUNT, shown_count_, LVSICF_NOSCROLL);
  InvalidateRect(list_, nullptr, FALSE);
}

void ChangeList::Clear() {
  store_.Clear();  // each row's data block goes with it
  shown_count_ = 0;
  SendMessageW(list_, LVM_SETITEMCOUNT, 0, 0);
  InvalidateRect(list_, nullptr, TRUE);
}

void ChangeList::SortByColumn(int column) {
  if (column < 0 || column >= kColumnCount) return;
  const bool ascending = sort_flags_.Flip(column);
  SortRows(store_, column, ascending);
  // The selection marks positions, not rows: after a sort it would mark others.
  LVITEMW none{};
  none.stateMask = LVIS_SELECTED;
  SendMessageW(list_, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&none));
  InvalidateRect(list_, nullptr, FALSE);
}

void ChangeList::ApplyRule(CheckRule rule) {
  ApplyCheckRule(store_, rule);
  InvalidateRect(list_, nullptr, FALSE);
}

bool ChangeList::OnNotify(const NMHDR& header, LRESULT* result) {
  if (header.hwndFrom != list_) return false;
  switch (header.code) {
    case LVN_GETDISPINFOW:
      GetDisplayInfo(reinterpret_cast<NMLVDISPINFOW*>(const_cast<NMHDR*>(&header))->item);
      *result = 0;
      return true;
    case LVN_COLUMNCLICK:
      SortByColumn(reinterpret_cast<const NMLISTVIEW&>(header).iSubItem);
      *result = 0;
      return true;
    case LVN_ODFINDITEMW:
      *result = FindByPrefix(reinterpret_cast<const NMLVFINDITEMW&>(header));
      return true;
    default:
      return false;
  }
}

void ChangeList::GetDisplayInfo(LVITEMW& item) const {
  if (item.iItem < 0 || static_cast<size_t>(item.iItem) >= store_.size()) {
    if ((item.mask & LVIF_TEXT) && item.pszText && item.cchTextMax > 0) item.pszText[0] = L'\0';
    return;
  }
  const EntryStore::Row& row = store_.at(static_cast<size_t>(item.iItem));
  if ((item.mask & LVIF_TEXT) && item.pszText && item.cchTextMax > 0) {
    // One buffer for every cell the list asks for: no allocation per cell.
    thread_local std::u16string text;
    text.clear();
    row.entry.AppendColumnText(std::clamp(item.iSubItem, 0, kColumnCount - 1), text);
    const size_t n = std::min(text.size(), static_cast<size_t>(item.cchTextMax) - 1);
    std::copy_n(text.data(), n, reinterpret_cast<char16_t*>(item.pszText));
    item.pszText[n] = L'\0';
  }
  if ((item.mask & LVIF_STATE) && item.iSubItem == 0) {
    item.state = (item.state & ~LVIS_STATEIMAGEMASK) | StateImage(row.checked);
    item.stateMask |= LVIS_STATEIMAGEMASK;
  }
}

// Type-ahead in the list: the next row (from the start row, wrapping) whose
// first column begins with the typed text.
int ChangeList::FindByPrefix(const NMLVFINDITEMW& find) const {
  if (!(find.lvfi.flags & (LVFI_STRING | LVFI_PARTIAL)) || !find.lvfi.psz || store_.empty()) return -1;
  const std::u16string prefix = AsU16(find.lvfi.psz);
  const size_t count = store_.size();
  const size_t start = find.iStart >= 0 ? static_cast<size_t>(find.iStart) % count : 0;
  for (size_t n = 0; n < count; ++n) {
    const size_t i = (start + n) % count;
    const std::u16string_view hive = store_.at(i).entry.key().root_name;
    if (hive.size() >= prefix.size() && EqualsNoCase(std::u16string_view(hive).substr(0, prefix.size()), prefix))
      return static_cast<int>(i);
  }
  return -1;
}

// A click on a row's check box toggles it, as the list view's own check boxes
// do; the click does not change the selection.
bool ChangeList::OnMouseDown(LPARAM lparam) {
  LVHITTESTINFO hit{};
  hit.pt = {GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam)};
  const int index = static_cast<int>(SendMessageW(list_, LVM_HITTEST, 0, reinterpret_cast<LPARAM>(&hit)));
  if (index < 0 || static_cast<size_t>(index) >= store_.size() || !(hit.flags & LVHT_ONITEMSTATEICON))
    return false;
  SetFocus(list_);
  EntryStore::Row& row = store_.at(static_cast<size_t>(index));
  row.checked = !row.checked;
  SendMessageW(list_, LVM_REDRAWITEMS, index, index);
  return true;
}

// The space bar gives every selected row the opposite of the focused row's
// state (of the first selected row when the focused one is not selected).
void ChangeList::ToggleSelected() {
  int first = static_cast<int>(SendMessageW(list_, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
  if (first < 0) return;
  const int focused = static_cast<int>(SendMessageW(list_, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_FOCUSED));
  if (focused >= 0 && (SendMessageW(list_, LVM_GETITEMSTATE, focused, LVIS_SELECTED) & LVIS_SELECTED))
    first = focused;
  if (static_cast<size_t>(first) >= store_.size()) return;
  const bool checked = !store_.at(static_cast<size_t>(first)).checked;
  for (int i = static_cast<int>(SendMessageW(list_, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
       i >= 0 && static_cast<size_t>(i) < store_.size();
       i = static_cast<int>(SendMessageW(list_, LVM_GETNEXTITEM, i, LVNI_SELECTED)))
    store_.at(static_cast<size_t>(i)).checked = checked;
  InvalidateRect(list_, nullptr, FALSE);
}

LRESULT CALLBACK ChangeList::SubclassProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam, UINT_PTR,
                                          DWORD_PTR self_pointer) {
  ChangeList& self = *reinterpret_cast<ChangeList*>(self_pointer);
  switch (message) {
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
      if (self.OnMouseDown(lparam)) return 0;
      break;
    case WM_KEYDOWN:
      if (wparam == VK_SPACE) {
        self.ToggleSelected();
        return 0;
      }
      break;
    case WM_CHAR:
      if (wparam == L' ') return 0;  // not part of a type-ahead search
      break;
    case WM_DROPFILES:
      // The list accepts dropped files for the window.
      return SendMessageW(GetParent(window), message, wparam, lparam);
    case WM_NCDESTROY:
      RemoveWindowSubclass(window, SubclassProc, kSubclassId);
      break;
  }
  return DefSubclassProc(window, message, wparam, lparam);
}

}  // namespace hivemend
