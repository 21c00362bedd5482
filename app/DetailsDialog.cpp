#include "app/DetailsDialog_win.h"

#include <commctrl.h>

#include <algorithm>
#include <memory>

#include "engine/ValueDetails.h"
#include "platform/Clipboard_win.h"
#include "platform/Environment.h"
#include "platform/Text.h"
#include "platform/UniqueHandle_win.h"
#include "platform/WinString.h"
#include "resources/resource.h"

namespace hivemend {
namespace {

constexpr int kDumpColumns = 5;
constexpr const wchar_t* kDumpHeaders[kDumpColumns] = {L"Offset", L"REG file data", L"", L"Current HIVE data", L""};
// Widths in characters of the fixed font.
constexpr int kDumpWidths[kDumpColumns] = {12, 50, 18, 50, 18};

std::u16string TimeNow() {
  SYSTEMTIME now{};
  GetLocalTime(&now);
  auto two = [](unsigned n) { return (n < 10 ? u"0" : u"") + Decimal(n); };
  return two(now.wHour) + u":" + two(now.wMinute) + u":" + two(now.wSecond);
}

class DetailsWindow {
 public:
  DetailsWindow(const ChangeEntry& entry, Registry* registry) : entry_(entry), registry_(registry) {}
  DetailsWindow(const DetailsWindow&) = delete;
  DetailsWindow& operator=(const DetailsWindow&) = delete;

  void Attach(HWND window);
  INT_PTR Handle(UINT message, WPARAM wparam, LPARAM lparam);

 private:
  HWND Item(int id) const { return GetDlgItem(window_, id); }
  void SetText(int id, const std::u16string& text) { SetWindowTextW(Item(id), AsWide(text)); }
  void SetUpDump();
  void Layout();
  INT_PTR OnNotify(const NMHDR& header);

  const ChangeEntry& entry_;  // only until Attach returns
  Registry* registry_;
  HWND window_ = nullptr;
  std::unique_ptr<ValueDetails> details_;
  ScopedGdiObject fixed_font_;
  int char_width_ = 8;
  POINT min_size_{};
};

void DetailsWindow::Attach(HWND window) {
  window_ = window;
  details_ = std::make_unique<ValueDetails>(entry_, ReadLiveValue(registry_, entry_), TimeNow(), ExpandEnvironmentText);
  const std::u16string name = entry_.registry_name();
  const bool key_row = entry_.form() == EntryForm::DeleteKey || entry_.form() == EntryForm::CreateKey;
  const std::u16string caption =
      u"Details - " + (key_row ? u"[" + std::u16string(entry_.form() == EntryForm::DeleteKey ? u"-" : u"") +
                                     std::u16string(entry_.key().root_name) + u"\\" + entry_.key().path + u"]"
                     : name.empty() ? std::u16string(u"(Default)")
                                    : name);
  SetWindowTextW(window_, AsWide(caption));

  // Data in a fixed font, so that dumps and columns line up.
  const HFONT dialog_font = reinterpret_cast<HFONT>(SendMessageW(window_, WM_GETFONT, 0, 0));
  LOGFONTW font{};
  GetObjectW(dialog_font, sizeof font, &font);
  LOGFONTW fixed{};
  fixed.lfHeight = font.lfHeight;
  fixed.lfCharSet = DEFAULT_CHARSET;
  fixed.lfPitchAndFamily = FIXED_PITCH | FF_MODERN;
  lstrcpynW(fixed.lfFaceName, L"Courier New", LF_FACESIZE);
  fixed_font_.reset(CreateFontIndirectW(&fixed));
  if (fixed_font_) {
    const HDC dc = GetDC(window_);
    const HGDIOBJ old = SelectObject(dc, fixed_font_.get());
    SIZE size{};
    if (GetTextExtentPoint32W(dc, L"0000000000", 10, &size)) char_width_ = std::max(1, static_cast<int>(size.cx / 10));
    SelectObject(dc, old);
    ReleaseDC(window_, dc);
    for (int id : {IDC_DETAILS_SUMMARY, IDC_DETAILS_FILE, IDC_DETAILS_LIVE, IDC_DETAILS_DUMP})
      SendMessageW(Item(id), WM_SETFONT, reinterpret_cast<WPARAM>(fixed_font_.get()), FALSE);
  }

  SetText(IDC_DETAILS_SUMMARY, details_->summary());
  const bool dump = details_->is_dump();
  for (int id : {IDC_DETAILS_FILE_LABEL, IDC_DETAILS_FILE, IDC_DETAILS_LIVE_LABEL, IDC_DETAILS_LIVE})
    ShowWindow(Item(id), dump ? SW_HIDE : SW_SHOW);
  ShowWindow(Item(IDC_DETAILS_DUMP), dump ? SW_SHOW : SW_HIDE);
  if (dump) {
    SetUpDump();
  } else {
    for (int id : {IDC_DETAILS_FILE, IDC_DETAILS_LIVE}) SendMessageW(Item(id), EM_SETLIMITTEXT, 0, 0);
    SetText(IDC_DETAILS_FILE, details_->file_text());
    SetText(IDC_DETAILS_LIVE, details_->live_text());
  }

  RECT frame{};
  GetWindowRect(window_, &frame);
  min_size_ = {(frame.right - frame.left) * 2 / 3, (frame.bottom - frame.top) * 2 / 3};
  // Room for a whole dump line.
  if (dump) {
    int wanted = GetSystemMetrics(SM_CXVSCROLL) + 40;
    for (int w : kDumpWidths) wanted += w * char_width_;
    RECT client{};
    GetClientRect(window_, &client);
    const int grow = wanted - (client.right - client.left);
    const int screen = GetSystemMetrics(SM_CXSCREEN);
    if (grow > 0) {
      const int width = std::min(screen, static_cast<int>(frame.right - frame.left) + grow);
      SetWindowPos(window_, nullptr, std::max(0, static_cast<int>(frame.left - (width - (frame.right - frame.left)) / 2)),
                   frame.top, width, frame.bottom - frame.top, SWP_NOZORDER | SWP_NOACTIVATE);
    }
  }
  Layout();
  SetFocus(Item(dump ? IDC_DETAILS_DUMP : IDC_DETAILS_FILE));
}

void DetailsWindow::SetUpDump() {
  const HWND list = Item(IDC_DETAILS_DUMP);
  SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER);
  const bool two = details_->dump().two_sides();
  for (int c = 0; c < kDumpColumns; ++c) {
    LVCOLUMNW column{};
    column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
    column.fmt = LVCFMT_LEFT;
    column.cx = (c >= 3 && !two) ? 0 : kDumpWidths[c] * char_width_ + 8;
    column.pszText = const_cast<wchar_t*>(kDumpHeaders[c]);
    column.iSubItem = c;
    SendMessageW(list, LVM_INSERTCOLUMNW, c, reinterpret_cast<LPARAM>(&column));
  }
  SendMessageW(list, LVM_SETITEMCOUNT, details_->dump().line_count(), 0);
}

// Summary on top, the data below it, the buttons at the bottom right.
void DetailsWindow::Layout() {
  RECT client{};
  GetClientRect(window_, &client);
  RECT units{7, 70, 9, 14};  // margin, summary height, label height, button height
  MapDialogRect(window_, &units);
  const int margin = units.left, summary = units.top, label = units.right, button_height = units.bottom;
  RECT button{};
  GetWindowRect(Item(IDCANCEL), &button);
  const int button_width = button.right - button.left;
  const int width = client.right - 2 * margin;
  const int bottom = client.bottom - margin - button_height;
  MoveWindow(Item(IDC_DETAILS_SUMMARY), margin, margin, width, summary, TRUE);
  const int top = margin + summary + margin / 2;
  const int data_height = std::max(10, bottom - margin / 2 - top - label);
  const int half = (width - margin) / 2;
  MoveWindow(Item(IDC_DETAILS_FILE_LABEL), margin, top, half, label, TRUE);
  MoveWindow(Item(IDC_DETAILS_FILE), margin, top + label, half, data_height, TRUE);
  MoveWindow(Item(IDC_DETAILS_LIVE_LABEL), margin + half + margin, top, width - half - margin, label, TRUE);
  MoveWindow(Item(IDC_DETAILS_LIVE), margin + half + margin, top + label, width - half - margin, data_height, TRUE);
  MoveWindow(Item(IDC_DETAILS_DUMP), margin, top, width, std::max(10, bottom - margin / 2 - top), TRUE);
  MoveWindow(Item(IDCANCEL), client.right - margin - button_width, bottom, button_width, button_height, TRUE);
  MoveWindow(Item(IDC_DETAILS_COPY), client.right - 2 * margin - 2 * button_width, bottom, button_width,
             button_height, TRUE);
}

INT_PTR DetailsWindow::OnNotify(const NMHDR& header) {
  if (header.idFrom != IDC_DETAILS_DUMP || !details_ || !details_->is_dump()) return FALSE;
  const HexDump& dump = details_->dump();
  if (header.code == LVN_GETDISPINFOW) {
    LVITEMW& item = reinterpret_cast<NMLVDISPINFOW*>(const_cast<NMHDR*>(&header))->item;
    if ((item.mask & LVIF_TEXT) && item.pszText && item.cchTextMax > 0) {
      item.pszText[0] = L'\0';
      if (item.iItem >= 0 && static_cast<size_t>(item.iItem) < dump.line_count() && item.iSubItem >= 0 &&
          item.iSubItem < kDumpColumns) {
        const std::u16string text = dump.LineParts(static_cast<size_t>(item.iItem))[item.iSubItem];
        const size_t n = std::min(text.size(), static_cast<size_t>(item.cchTextMax) - 1);
        std::copy_n(text.data(), n, reinterpret_cast<char16_t*>(item.pszText));
        item.pszText[n] = L'\0';
      }
    }
    return TRUE;
  }
  if (header.code == NM_CUSTOMDRAW) {
    // Lines with bytes that differ in red.
    auto& draw = *reinterpret_cast<NMLVCUSTOMDRAW*>(const_cast<NMHDR*>(&header));
    LRESULT result = CDRF_DODEFAULT;
    if (draw.nmcd.dwDrawStage == CDDS_PREPAINT) {
      result = CDRF_NOTIFYITEMDRAW;
    } else if (draw.nmcd.dwDrawStage == CDDS_ITEMPREPAINT) {
      if (dump.LineDiffers(draw.nmcd.dwItemSpec)) draw.clrText = RGB(192, 0, 0);
      result = CDRF_NEWFONT;
    }
    SetWindowLongPtrW(window_, DWLP_MSGRESULT, result);
    return TRUE;
  }
  return FALSE;
}

INT_PTR DetailsWindow::Handle(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_SIZE: Layout(); return TRUE;
    case WM_GETMINMAXINFO: {
      auto& info = *reinterpret_cast<MINMAXINFO*>(lparam);
      if (min_size_.x > 0) info.ptMinTrackSize = min_size_;
      return TRUE;
    }
    case WM_NOTIFY: return OnNotify(*reinterpret_cast<const NMHDR*>(lparam));
    case WM_COMMAND:
      switch (LOWORD(wparam)) {
        case IDC_DETAILS_COPY:
          if (details_) CopyTextToClipboard(window_, details_->Text());
          return TRUE;
        case IDOK:
        case IDCANCEL: EndDialog(window_, LOWORD(wparam)); return TRUE;
      }
      return FALSE;
    default: return FALSE;
  }
}

INT_PTR CALLBACK DetailsDialogProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_INITDIALOG) {
    auto* window = reinterpret_cast<DetailsWindow*>(lparam);
    SetWindowLongPtrW(dialog, DWLP_USER, lparam);
    window->Attach(dialog);
    return FALSE;  // the focus is set
  }
  auto* window = reinterpret_cast<DetailsWindow*>(GetWindowLongPtrW(dialog, DWLP_USER));
  return window ? window->Handle(message, wparam, lparam) : FALSE;
}

}  // namespace

INT_PTR ShowDetailsDialog(HWND owner, const ChangeEntry& entry, Registry* registry) {
  DetailsWindow window(entry, registry);
  return DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_DETAILS), owner, DetailsDialogProc,
                         reinterpret_cast<LPARAM>(&window));
}

}  // namespace hivemend
