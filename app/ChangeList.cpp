#include "app/ChangeList_win.h"

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
  // The rows a menu or the details view is about stay marked while those
  // have the focus.
  SetWindowLongPtrW(list_, GWL_STYLE, GetWindowLongPtrW(list_, GWL_STYLE) | LVS_SHOWSELALWAYS);
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

size_t ChangeList::AddRow(ChangeEntry&& entry) {
  if (sort_.ArrowColumn() >= 0) {
    sort_.RowsAdded();
    ShowSortArrow(-1, false);
  }
  const RowFilter& filter = filters_.applied();
  const bool hidden = !filter.empty() && !filter.Matches(entry);
  return store_.Insert(std::move(entry), hidden);
}

void ChangeList::FilterApplied(const FilterPass& pass, std::uint64_t selection_seen) {
  shown_count_ = store_.shown_size();
  last_shown_ = GetTickCount64();
  selection_runs_.clear();
  SendMessageW(list_, LVM_SETITEMCOUNT, shown_count_, LVSICF_NOSCROLL);
  if (selection_seen != selection_changes_) {
    ShowSelection();  // the user changed the selection while the pass ran
    const int focused = static_cast<int>(SendMessageW(list_, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_FOCUSED));
    if (focused >= 0) SendMessageW(list_, LVM_ENSUREVISIBLE, focused, FALSE);
  } else if (any_selection_) {
    // What the pass noted: the lines selected before and now, never a look
    // at every line (telling every line costs time in the number of lines
    // under Wine).
    const FilterPass::Selection& noted = pass.selection();
    for (const auto& [first, last] : noted.old_runs) selection_runs_.push_back({first, last, false});
    for (const auto& [first, last] : noted.runs) selection_runs_.push_back({first, last, true});
    next_selection_run_ = 0;
    next_selected_line_ = selection_runs_.empty() ? 0 : selection_runs_[0].first;
    selection_runs_seen_ = selection_changes_;
    selection_runs_version_ = store_.version();
    showing_selection_ = true;
    LVITEMW item{};
    item.stateMask = LVIS_FOCUSED;
    if (noted.old_focus && !noted.focus)
      SendMessageW(list_, LVM_SETITEMSTATE, *noted.old_focus, reinterpret_cast<LPARAM>(&item));
    if (noted.focus) {
      item.state = LVIS_FOCUSED;
      SendMessageW(list_, LVM_SETITEMSTATE, *noted.focus, reinterpret_cast<LPARAM>(&item));
      SendMessageW(list_, LVM_SETSELECTIONMARK, 0, static_cast<LPARAM>(*noted.focus));
      SendMessageW(list_, LVM_ENSUREVISIBLE, *noted.focus, FALSE);
    }
    showing_selection_ = false;
    any_selection_ = noted.any;
    hidden_selection_ = noted.hidden;
    ShowSelectionSlice(std::chrono::milliseconds(kSelectionSliceMs));
  }
  InvalidateRect(list_, nullptr, FALSE);
}

bool ChangeList::ShowSelectionSlice(std::chrono::steady_clock::duration budget) {
  if (selection_runs_.empty()) return true;
  if (store_.version() != selection_runs_version_) {
    // Rows came or went: the lines noted are no longer theirs.
    ShowSelection();
    return true;
  }
  if (selection_runs_seen_ != selection_changes_) {
    // The user chose rows before the rest of the selection showed: the rows
    // not shown selected yet are not selected; the lines selected before go
    // all the same.
    selection_runs_seen_ = selection_changes_;
    std::vector<LineRun> rest;
    for (size_t r = next_selection_run_; r < selection_runs_.size(); ++r) {
      LineRun run = selection_runs_[r];
      if (r == next_selection_run_) run.first = next_selected_line_;
      if (!run.select) {
        rest.push_back(run);
        continue;
      }
      for (size_t line = run.first; line <= run.last && line < store_.shown_size(); ++line)
        store_.at(store_.ShownRow(line)).selected = false;
    }
    selection_runs_ = std::move(rest);
    next_selection_run_ = 0;
    next_selected_line_ = selection_runs_.empty() ? 0 : selection_runs_[0].first;
  }
  const auto end = std::chrono::steady_clock::now() + budget;
  showing_selection_ = true;
  LVITEMW item{};
  item.stateMask = LVIS_SELECTED;
  size_t n = 0;
  while (next_selection_run_ < selection_runs_.size()) {
    const LineRun& run = selection_runs_[next_selection_run_];
    item.state = run.select ? LVIS_SELECTED : 0;
    if (next_selected_line_ < shown_count_)
      SendMessageW(list_, LVM_SETITEMSTATE, next_selected_line_, reinterpret_cast<LPARAM>(&item));
    if (next_selected_line_++ == run.last && ++next_selection_run_ < selection_runs_.size())
      next_selected_line_ = selection_runs_[next_selection_run_].first;
    if (++n % 64 == 0 && std::chrono::steady_clock::now() >= end) break;
  }
  showing_selection_ = false;
  if (next_selection_run_ < selection_runs_.size()) return false;
  selection_runs_.clear();
  return true;
}

std::optional<int> ChangeList::LineOf(size_t row) const {
  if (row >= store_.size()) return std::nullopt;
  const std::optional<size_t> line = store_.ShownIndexOf(row);
  if (!line || *line >= shown_count_) return std::nullopt;
  return static_cast<int>(*line);
}

bool ChangeList::SelectNextShown(bool forward) {
  const size_t lines = std::min(shown_count_, store_.shown_size());
  if (lines == 0) return false;
  // The current row is the focused one when it is selected (the list view
  // knows its line), else the first selected row (a look at the rows).
  const int focused = static_cast<int>(SendMessageW(list_, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_FOCUSED));
  const size_t selected = static_cast<size_t>(SendMessageW(list_, LVM_GETSELECTEDCOUNT, 0, 0));
  std::optional<int> current;
  if (focused >= 0 && static_cast<size_t>(focused) < lines &&
      (SendMessageW(list_, LVM_GETITEMSTATE, focused, LVIS_SELECTED) & LVIS_SELECTED)) {
    current = focused;
  } else if (selected > 0) {
    const std::optional<size_t> row = CurrentRow();
    current = row ? LineOf(*row) : std::nullopt;
  }
  size_t line = forward ? 0 : lines - 1;
  if (current) line = (static_cast<size_t>(*current) + (forward ? 1 : lines - 1)) % lines;
  LVITEMW none{};
  none.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
  // The one selected line, or every line, and the rows the filter hides
  // (which costs time in the number of lines under Wine).
  if (selected == 1 && current == focused && !hidden_selection_)
    SendMessageW(list_, LVM_SETITEMSTATE, focused, reinterpret_cast<LPARAM>(&none));
  else if (selected > 0)
    SendMessageW(list_, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&none));
  LVITEMW item{};
  item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
  item.state = LVIS_SELECTED | LVIS_FOCUSED;
  SendMessageW(list_, LVM_SETITEMSTATE, line, reinterpret_cast<LPARAM>(&item));
  SendMessageW(list_, LVM_SETSELECTIONMARK, 0, static_cast<LPARAM>(line));
  SendMessageW(list_, LVM_ENSUREVISIBLE, line, FALSE);
  return true;
}

// Telling the list view its row count is costly (tens of milliseconds under
// Wine, whatever the batch), so a load's rows are shown a few times a second
// and whenever a load ends.
void ChangeList::ShowNewRows(bool now) {
  if (store_.shown_size() == shown_count_) return;
  const ULONGLONG tick = GetTickCount64();
  if (!now && tick - last_shown_ < kShowIntervalMs) return;
  last_shown_ = tick;
  shown_count_ = store_.shown_size();
  SendMessageW(list_, LVM_SETITEMCOUNT, shown_count_, LVSICF_NOINVALIDATEALL | LVSICF_NOSCROLL);
  // Rows arrive between the rows already shown: the whole list moves, and the
  // selection with its rows.
  ShowSelection();
  InvalidateRect(list_, nullptr, FALSE);
}

void ChangeList::RefreshCount() {
  filters_.applied().ForgetKeys();  // keys may have gone with their rows
  shown_count_ = store_.shown_size();
  last_shown_ = GetTickCount64();
  SendMessageW(list_, LVM_SETITEMCOUNT, shown_count_, LVSICF_NOSCROLL);
  ShowSelection();
  InvalidateRect(list_, nullptr, FALSE);
}

void ChangeList::Clear() {
  store_.Clear();  // each row's data block goes with it
  filters_.applied().ForgetKeys();
  shown_count_ = 0;
  any_selection_ = hidden_selection_ = false;
  selection_runs_.clear();
  ++selection_changes_;
  sort_.Cleared();
  ShowSortArrow(sort_.ArrowColumn(), sort_.ascending());
  SendMessageW(list_, LVM_SETITEMCOUNT, 0, 0);
  InvalidateRect(list_, nullptr, TRUE);
}

void ChangeList::SortByColumn(int column) {
  if (column < 0 || column >= kColumnCount || locked_) return;
  sort_.Sorted(column, sort_flags_.Flip(column));
  Resort();
}

void ChangeList::SetSort(int column, bool ascending) {
  if (column < 0 || column >= kColumnCount) return;
  sort_flags_.Set(column, ascending);
  sort_.Remember(column, ascending);
}

void ChangeList::ApplyRememberedSort() {
  if (sort_.ResortDue()) Resort();
}

void ChangeList::Resort() {
  const int column = sort_.column();
  if (column < 0) return;
  const bool ascending = sort_.ascending();
  SortRows(store_, column, ascending);
  sort_.Sorted(column, ascending);
  ShowSelection();
  ShowSortArrow(column, ascending);
  InvalidateRect(list_, nullptr, FALSE);
}

void ChangeList::ShowSortArrow(int column, bool ascending) {
  const HWND header = reinterpret_cast<HWND>(SendMessageW(list_, LVM_GETHEADER, 0, 0));
  const int count = static_cast<int>(SendMessageW(header, HDM_GETITEMCOUNT, 0, 0));
  for (int i = 0; i < count; ++i) {
    HDITEMW item{};
    item.mask = HDI_FORMAT;
    SendMessageW(header, HDM_GETITEMW, i, reinterpret_cast<LPARAM>(&item));
    item.fmt &= ~(HDF_SORTUP | HDF_SORTDOWN);
    if (i == column) item.fmt |= ascending ? HDF_SORTUP : HDF_SORTDOWN;
    SendMessageW(header, HDM_SETITEMW, i, reinterpret_cast<LPARAM>(&item));
  }
}

void ChangeList::ApplyRule(CheckRule rule) {
  if (locked_) return;
  ApplyCheckRule(store_, rule);
  InvalidateRect(list_, nullptr, FALSE);
  ChecksChanged();
}

void ChangeList::ChecksChanged() {
  if (on_checks_changed_) on_checks_changed_();
}

// ---- Selection and focus, kept with the rows ----------------------------------

void ChangeList::OnItemChanged(const NMLISTVIEW& change) {
  if (showing_selection_ || !(change.uChanged & LVIF_STATE)) return;
  const UINT changed = (change.uNewState ^ change.uOldState) & (LVIS_SELECTED | LVIS_FOCUSED);
  if (changed == 0) return;
  const bool selected = (change.uNewState & LVIS_SELECTED) != 0;
  const bool focused = (change.uNewState & LVIS_FOCUSED) != 0;
  if (change.iItem < 0) {  // every line
    if (changed & LVIS_SELECTED) hidden_selection_ = false;
    store_.ForEach([&](EntryStore::Row& row) {
      if (changed & LVIS_SELECTED) row.selected = selected && !store_.IsHidden(row);
      if ((changed & LVIS_FOCUSED) && !focused) row.focused = false;  // the focus goes; no row takes all
    });
  } else if (static_cast<size_t>(change.iItem) < store_.shown_size()) {
    if ((changed & LVIS_FOCUSED) && focused) store_.ForEach([](EntryStore::Row& row) { row.focused = false; });
    EntryStore::Row& row = store_.at(store_.ShownRow(static_cast<size_t>(change.iItem)));
    if (changed & LVIS_SELECTED) row.selected = selected;
    if (changed & LVIS_FOCUSED) row.focused = focused;
  }
  any_selection_ = any_selection_ || selected || focused;
  ++selection_changes_;
}

void ChangeList::OnRangeChanged(const NMLVODSTATECHANGE& change) {
  if (showing_selection_ || !((change.uNewState ^ change.uOldState) & LVIS_SELECTED)) return;
  const bool selected = (change.uNewState & LVIS_SELECTED) != 0;
  const size_t from = static_cast<size_t>(std::max(0, change.iFrom));
  if (change.iTo < 0 || from >= store_.shown_size()) return;
  // Lines from..iTo: the rows shown from the first line's row on.
  size_t line = from;
  for (size_t i = store_.ShownRow(from); i < store_.size() && line <= static_cast<size_t>(change.iTo); ++i) {
    EntryStore::Row& row = store_.at(i);
    if (store_.IsHidden(row)) continue;
    row.selected = selected;
    ++line;
  }
  any_selection_ = any_selection_ || selected;
  ++selection_changes_;
}

void ChangeList::ShowSelection() {
  selection_runs_.clear();  // every selected row is shown now
  if (!any_selection_) return;
  showing_selection_ = true;
  LVITEMW none{};
  none.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
  SendMessageW(list_, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&none));
  size_t i = 0;  // the line of the row
  int focus = -1;
  bool any = false;
  bool hidden = false;
  store_.ForEach([&](EntryStore::Row& row) {
    any = any || row.selected || row.focused;
    hidden = hidden || (row.selected && store_.IsHidden(row));
    if (store_.IsHidden(row)) return;
    if (i < shown_count_) {
      if (row.selected) {
        LVITEMW item{};
        item.stateMask = LVIS_SELECTED;
        item.state = LVIS_SELECTED;
        SendMessageW(list_, LVM_SETITEMSTATE, i, reinterpret_cast<LPARAM>(&item));
      }
      if (row.focused) focus = static_cast<int>(i);
    }
    ++i;
  });
  if (focus >= 0) {
    LVITEMW item{};
    item.stateMask = LVIS_FOCUSED;
    item.state = LVIS_FOCUSED;
    SendMessageW(list_, LVM_SETITEMSTATE, focus, reinterpret_cast<LPARAM>(&item));
    SendMessageW(list_, LVM_SETSELECTIONMARK, 0, focus);
  }
  any_selection_ = any;
  hidden_selection_ = hidden;
  showing_selection_ = false;
}

void ChangeList::SelectAll() {
  if (store_.shown_size() == 0) return;
  store_.ForEach([this](EntryStore::Row& row) { row.selected = !store_.IsHidden(row); });
  any_selection_ = true;
  hidden_selection_ = false;
  ++selection_changes_;
  showing_selection_ = true;
  LVITEMW all{};
  all.stateMask = LVIS_SELECTED;
  all.state = LVIS_SELECTED;
  SendMessageW(list_, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&all));
  showing_selection_ = false;
}

void ChangeList::CheckSelected(bool checked) {
  if (locked_) return;
  store_.ForEach([&](EntryStore::Row& row) {
    if (row.selected && !store_.IsHidden(row)) row.checked = checked;
  });
  InvalidateRect(list_, nullptr, FALSE);
  ChecksChanged();
}

std::optional<size_t> ChangeList::CurrentRow() const {
  std::optional<size_t> first, focused;
  size_t line = 0;
  for (size_t i = 0; i < store_.size() && line < shown_count_; ++i) {
    const EntryStore::Row& row = store_.at(i);
    if (store_.IsHidden(row)) continue;
    ++line;
    if (!row.selected) continue;
    if (!first) first = i;
    if (row.focused) focused = i;
  }
  return focused ? focused : first;
}

size_t ChangeList::SelectedCount() const {
  size_t n = 0;
  for (size_t i = 0; i < store_.size(); ++i) n += store_.at(i).selected && !store_.IsHidden(store_.at(i));
  return n;
}

std::u16string ChangeList::SelectedRowsText() {
  std::u16string text = TabSeparatedHeader();
  store_.ForEach([&](EntryStore::Row& row) {
    if (row.selected && !store_.IsHidden(row)) AppendTabSeparatedRow(row.entry, text, DataTextStyle::OneLine);
  });
  return text;
}

CompareCounts ChangeList::Counts() {
  CompareCounts counts;
  store_.ForEach([&](EntryStore::Row& row) {
    if (!row.entry.refused()) counts.Count(row.entry.status());
  });
  return counts;
}

size_t ChangeList::CheckedCount() {
  size_t n = 0;
  store_.ForEach([&](EntryStore::Row& row) { n += row.checked; });
  return n;
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
    case LVN_ITEMCHANGED:
      OnItemChanged(reinterpret_cast<const NMLISTVIEW&>(header));
      *result = 0;
      return true;
    case LVN_ODSTATECHANGED:
      OnRangeChanged(reinterpret_cast<const NMLVODSTATECHANGE&>(header));
      *result = 0;
      return true;
    default:
      return false;
  }
}

void ChangeList::GetDisplayInfo(LVITEMW& item) const {
  if (item.iItem < 0 || static_cast<size_t>(item.iItem) >= store_.shown_size()) {
    if ((item.mask & LVIF_TEXT) && item.pszText && item.cchTextMax > 0) item.pszText[0] = L'\0';
    return;
  }
  const EntryStore::Row& row = store_.at(store_.ShownRow(static_cast<size_t>(item.iItem)));
  if ((item.mask & LVIF_TEXT) && item.pszText && item.cchTextMax > 0) {
    // One buffer for every cell the list asks for: no allocation per cell.
    thread_local std::u16string text;
    text.clear();
    row.entry.AppendColumnText(std::clamp(item.iSubItem, 0, kColumnCount - 1), text, DataTextStyle::OneLine);
    const size_t n = std::min(text.size(), static_cast<size_t>(item.cchTextMax) - 1);
    std::copy_n(text.data(), n, reinterpret_cast<char16_t*>(item.pszText));
    item.pszText[n] = L'\0';
  }
  if ((item.mask & LVIF_STATE) && item.iSubItem == 0) {
    item.state = (item.state & ~LVIS_STATEIMAGEMASK) | StateImage(row.checked);
    item.stateMask |= LVIS_STATEIMAGEMASK;
  }
}

// Type-ahead in the list: the next line (from the start line, wrapping) whose
// first column begins with the typed text.
int ChangeList::FindByPrefix(const NMLVFINDITEMW& find) const {
  if (!(find.lvfi.flags & (LVFI_STRING | LVFI_PARTIAL)) || !find.lvfi.psz || store_.shown_size() == 0) return -1;
  const std::u16string prefix = AsU16(find.lvfi.psz);
  const size_t count = store_.size();
  const size_t start = store_.ShownRow(find.iStart >= 0 ? static_cast<size_t>(find.iStart) % store_.shown_size() : 0);
  for (size_t n = 0; n < count; ++n) {
    const size_t i = (start + n) % count;
    const EntryStore::Row& row = store_.at(i);
    if (store_.IsHidden(row)) continue;
    const std::u16string_view hive = row.entry.key().root_name;
    if (hive.size() >= prefix.size() && EqualsNoCase(std::u16string_view(hive).substr(0, prefix.size()), prefix)) {
      const std::optional<int> line = LineOf(i);
      return line ? *line : -1;
    }
  }
  return -1;
}

// A click on a row's check box toggles it, as the list view's own check boxes
// do, and does not change the selection; a click anywhere else on the row
// selects it (ClickTogglesCheck).
bool ChangeList::OnMouseDown(LPARAM lparam) {
  LVHITTESTINFO hit{};
  hit.pt = {GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam)};
  const int index = static_cast<int>(SendMessageW(list_, LVM_HITTEST, 0, reinterpret_cast<LPARAM>(&hit)));
  if (index < 0 || static_cast<size_t>(index) >= store_.shown_size()) return false;
  // The check box lies just left of the item's icon box.
  RECT icon{};
  icon.left = LVIR_ICON;
  int box_width = 0, box_height = 0;
  SendMessageW(list_, LVM_GETITEMRECT, index, reinterpret_cast<LPARAM>(&icon));
  ImageList_GetIconSize(reinterpret_cast<HIMAGELIST>(SendMessageW(list_, LVM_GETIMAGELIST, LVSIL_STATE, 0)),
                        &box_width, &box_height);
  if (!ClickTogglesCheck(hit.flags, hit.pt.x, icon.left - box_width, icon.left)) return false;
  if (locked_) return true;
  SetFocus(list_);
  EntryStore::Row& row = store_.at(store_.ShownRow(static_cast<size_t>(index)));
  row.checked = !row.checked;
  SendMessageW(list_, LVM_REDRAWITEMS, index, index);
  ChecksChanged();
  return true;
}

// The space bar gives every selected row the opposite of the focused row's
// state (of the first selected row when the focused one is not selected).
void ChangeList::ToggleSelected() {
  const std::optional<size_t> current = CurrentRow();
  if (!current) return;
  CheckSelected(!store_.at(*current).checked);
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
