#include "app/HistoryDialog_win.h"

#include <commctrl.h>

#include <optional>
#include <vector>

#include "app/HistoryRows.h"
#include "merge/HistoryFile.h"
#include "platform/ShowInFolder.h"
#include "platform/WinString.h"
#include "resources/resource.h"

namespace hivemend {
namespace {

// Column widths in dialog units, so that they scale with the dialog's font.
constexpr int kColumnWidths[kHistoryColumns.size()] = {78, 150, 32, 56, 170};

class HistoryWindow {
 public:
  explicit HistoryWindow(const HistoryDialogOptions& options) : options_(options) {}
  HistoryWindow(const HistoryWindow&) = delete;
  HistoryWindow& operator=(const HistoryWindow&) = delete;

  void Attach(HWND window);
  INT_PTR Handle(UINT message, WPARAM wparam, LPARAM lparam);
  const std::optional<std::u16string>& preview() const { return preview_; }

 private:
  HWND Item(int id) const { return GetDlgItem(window_, id); }
  // The merge of a line, its undo file's start read when first asked.
  const MergeRecord& Record(size_t line);
  // The selected merge, or none.
  const MergeRecord* Selected();
  void UpdateButtons();
  void Preview();
  INT_PTR OnNotify(const NMHDR& header);

  const HistoryDialogOptions& options_;
  HWND window_ = nullptr;
  HWND list_ = nullptr;
  std::vector<std::u16string> files_;               // newest first
  std::vector<std::optional<MergeRecord>> records_;  // read as the list shows them
  std::wstring cell_;  // the text a display request was last given
  std::optional<std::u16string> preview_;
};

void HistoryWindow::Attach(HWND window) {
  window_ = window;
  list_ = Item(IDC_HISTORY_LIST);
  // Only the folder is read now: a file's start is read when its line shows,
  // so that a folder of thousands of merges opens at once.
  files_ = UndoFilesNewestFirst(options_.folder);
  records_.resize(files_.size());
  SendMessageW(list_, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER | LVS_EX_LABELTIP);
  for (size_t c = 0; c < kHistoryColumns.size(); ++c) {
    RECT width{0, 0, kColumnWidths[c], 0};
    MapDialogRect(window_, &width);
    const std::u16string header(kHistoryColumns[c]);
    LVCOLUMNW column{};
    column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
    column.fmt = c == 2 ? LVCFMT_RIGHT : LVCFMT_LEFT;
    column.cx = width.right;
    column.pszText = const_cast<wchar_t*>(AsWide(header));
    column.iSubItem = static_cast<int>(c);
    SendMessageW(list_, LVM_INSERTCOLUMNW, c, reinterpret_cast<LPARAM>(&column));
  }
  SendMessageW(list_, LVM_SETITEMCOUNT, records_.size(), 0);
  SetDlgItemTextW(window_, IDC_HISTORY_COUNT,
                  AsWide(HistoryCountText(records_.size()) + u" in " + options_.folder));
  if (!records_.empty()) {
    LVITEMW item{};
    item.stateMask = item.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(list_, LVM_SETITEMSTATE, 0, reinterpret_cast<LPARAM>(&item));
  }
  UpdateButtons();
  SetFocus(records_.empty() ? Item(IDCANCEL) : list_);
}

const MergeRecord& HistoryWindow::Record(size_t line) {
  if (!records_[line]) records_[line] = ReadMergeRecord(files_[line]);
  return *records_[line];
}

const MergeRecord* HistoryWindow::Selected() {
  const LRESULT index = SendMessageW(list_, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED);
  return index >= 0 && static_cast<size_t>(index) < records_.size() ? &Record(static_cast<size_t>(index)) : nullptr;
}

// A damaged file is listed and shown in its folder, but not loaded.
void HistoryWindow::UpdateButtons() {
  const MergeRecord* record = Selected();
  EnableWindow(Item(IDC_HISTORY_PREVIEW), record && record->readable);
  EnableWindow(Item(IDC_HISTORY_SHOW), record != nullptr);
}

void HistoryWindow::Preview() {
  const MergeRecord* record = Selected();
  if (!record || !record->readable) return;
  preview_ = record->undo_path;
  EndDialog(window_, IDOK);
}

INT_PTR HistoryWindow::OnNotify(const NMHDR& header) {
  if (header.hwndFrom != list_) return FALSE;
  switch (header.code) {
    case LVN_GETDISPINFOW: {
      auto& info = const_cast<NMLVDISPINFOW&>(reinterpret_cast<const NMLVDISPINFOW&>(header));
      const auto row = static_cast<size_t>(info.item.iItem);
      const auto column = static_cast<size_t>(info.item.iSubItem);
      if (!(info.item.mask & LVIF_TEXT) || row >= records_.size() || column >= kHistoryColumns.size()) break;
      const std::u16string text = HistoryRowTexts(Record(row))[column];
      cell_.assign(text.begin(), text.end());
      info.item.pszText = cell_.data();
      break;
    }
    case LVN_ITEMCHANGED: UpdateButtons(); break;
    case NM_DBLCLK:
      if (reinterpret_cast<const NMITEMACTIVATE&>(header).iItem >= 0) Preview();
      break;
    default: break;
  }
  return FALSE;
}

INT_PTR HistoryWindow::Handle(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_NOTIFY: return OnNotify(*reinterpret_cast<const NMHDR*>(lparam));
    case WM_COMMAND:
      switch (LOWORD(wparam)) {
        case IDOK:  // Enter: the default answer of a list is to open its line
        case IDC_HISTORY_PREVIEW: Preview(); return TRUE;
        case IDC_HISTORY_SHOW:
          if (const MergeRecord* record = Selected()) {
            if (options_.show_in_folder) options_.show_in_folder(window_, record->undo_path);
            else (void)ShowInFolder(record->undo_path, window_);
          }
          return TRUE;
        case IDCANCEL: EndDialog(window_, IDCANCEL); return TRUE;
        default: return FALSE;
      }
    default: return FALSE;
  }
}

INT_PTR CALLBACK HistoryDialogProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_INITDIALOG) {
    SetWindowLongPtrW(dialog, DWLP_USER, lparam);
    reinterpret_cast<HistoryWindow*>(lparam)->Attach(dialog);
    return FALSE;  // the focus is set
  }
  auto* window = reinterpret_cast<HistoryWindow*>(GetWindowLongPtrW(dialog, DWLP_USER));
  return window ? window->Handle(message, wparam, lparam) : FALSE;
}

}  // namespace

std::optional<std::u16string> ShowHistoryDialog(HWND owner, const HistoryDialogOptions& options) {
  HistoryWindow window(options);
  DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_HISTORY), owner, HistoryDialogProc,
                  reinterpret_cast<LPARAM>(&window));
  return window.preview();
}

}  // namespace hivemend
