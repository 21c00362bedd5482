// The message box's dialog: construction (texts, measuring, layout), the
// in-memory template, the modal loop, the dialog procedure and its painting.
#include "msgbox/AppDialogTemplate_win.h"

#include <shellapi.h>

#include <algorithm>
#include <cstring>
#include <cwchar>

#include "msgbox/SavedAnswer.h"
#include "platform/Clipboard_win.h"
#include "platform/DialogDpi_win.h"
#include "platform/File.h"
#include "platform/Process.h"
#include "platform/Registry.h"
#include "platform/Shell.h"
#include "platform/UniqueHandle_win.h"
#include "platform/WinString.h"

namespace hivemend {

namespace {

constexpr UINT_PTR kCountdownTimer = 1;
constexpr UINT_PTR kDisabledTimer = 2;
constexpr int kFirstButtonId = 1;
constexpr int kLastButtonId = 26;
constexpr std::size_t kTextChars = 65535;
constexpr std::size_t kLoadedTextChars = 65534;
// Messages show '&' as it is; the control's style is otherwise the plain static's.
constexpr DWORD kNoPrefix = SS_NOPREFIX;

// A wide text, or a string-table id (a non-zero value below 65536), as text.
std::u16string TextOrString(HMODULE module, const wchar_t* text, std::size_t max_chars) {
  if (text == nullptr) return {};
  if (IS_INTRESOURCE(text)) {
    std::u16string buffer(max_chars + 1, u'\0');
    const int length = LoadStringW(module, static_cast<UINT>(reinterpret_cast<ULONG_PTR>(text)),
                                   reinterpret_cast<wchar_t*>(buffer.data()), static_cast<int>(max_chars + 1));
    buffer.resize(length > 0 ? static_cast<std::size_t>(length) : 0);
    return buffer;
  }
  const std::u16string_view view(reinterpret_cast<const char16_t*>(text));
  return std::u16string(view.substr(0, max_chars));
}

std::u16string LoadText(HMODULE module, std::uint32_t id, std::size_t max_chars) {
  if (id == 0 || id > 0xFFFF) return {};
  return TextOrString(module, MAKEINTRESOURCEW(id), max_chars);
}

bool IsButtonClass(HWND window) {
  wchar_t name[16] = {};
  GetClassNameW(window, name, 16);
  return lstrcmpiW(name, L"Button") == 0;
}

std::u16string WindowText(HWND window, int max_chars) {
  std::u16string buffer(static_cast<std::size_t>(max_chars) + 1, u'\0');
  const int length = GetWindowTextW(window, reinterpret_cast<wchar_t*>(buffer.data()), max_chars + 1);
  buffer.resize(length > 0 ? static_cast<std::size_t>(length) : 0);
  return buffer;
}

// The box's icon at the icon size of a DPI: the record's own (by id, else by
// name) from the icon module, else the style's system icon; none for neither.
ScopedIcon LoadBoxIcon(UINT style, std::uint32_t icon_id, const std::u16string& icon_name, HMODULE icon_module,
                       UINT dpi) {
  if (icon_id != 0) return LoadIconForDpi(icon_module, MAKEINTRESOURCEW(icon_id & 0xFFFF), dpi);
  if (!icon_name.empty()) return LoadIconForDpi(icon_module, AsWide(icon_name), dpi);
  const wchar_t* system_icon = nullptr;
  switch (style & AMB_ICON_MASK) {
    case 0: return {};
    case AMB_ICONHAND: system_icon = IDI_HAND; break;
    case AMB_ICONQUESTION: system_icon = IDI_QUESTION; break;
    case AMB_ICONASTERISK: system_icon = IDI_ASTERISK; break;
    default: system_icon = IDI_EXCLAMATION; break;
  }
  return LoadIconForDpi(nullptr, system_icon, dpi);
}

// Where the box opens: at the record's point, else on its owner's monitor,
// else on the one with the cursor.
HMONITOR BoxMonitor(HWND owner, int x, int y) {
  if (x != 0 || y != 0) return MonitorFromPoint({x, y}, MONITOR_DEFAULTTONEAREST);
  if (owner) return MonitorFromWindow(owner, MONITOR_DEFAULTTONEAREST);
  POINT cursor{};
  GetCursorPos(&cursor);
  return MonitorFromPoint(cursor, MONITOR_DEFAULTTONEAREST);
}

// Builds the clipboard text of the box (Ctrl+C) and puts it on the clipboard.
// Handles only Ctrl+C; every other key goes on to the dialog manager.
// The message is the one given, without the line breaks the layout put into
// long words.
bool CopyBoxText(HWND dialog, const MSG& message, std::u16string_view message_text) {
  if (message.wParam != 0x43 || GetAsyncKeyState(VK_CONTROL) >= 0) return false;
  static constexpr std::u16string_view kLine = u"---------------------------\r\n";
  std::u16string text(kLine);
  text += WindowText(dialog, 999) + u"\r\n";
  text += kLine;
  text += std::u16string(message_text.substr(0, 3999)) + u"\r\n";
  text += kLine;
  for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    if (!IsButtonClass(child)) continue;
    std::u16string caption = WindowText(child, 198);
    std::erase(caption, u'&');
    text += caption + u"   ";
  }
  text += u"\r\n";
  text += kLine;

  CopyTextToClipboard(dialog, text);
  return true;
}

}  // namespace

CAppDialogItem::CAppDialogItem(const LayoutItem& item)
    : style(item.style),
      x(item.units.x),
      y(item.units.y),
      cx(item.units.cx),
      cy(item.units.cy),
      id(static_cast<WORD>(item.id)),
      class_atom(item.class_atom),
      text(item.text) {}

CAppDialogItem::~CAppDialogItem() = default;

CAppDialogTemplate::CAppDialogTemplate(HWND owner, const wchar_t* text, const wchar_t* caption, UINT style,
                                       const MessageBoxParams& record)
    : company_name_(FieldText(record.company_name)),
      module_name_(record.module_name ? std::u16string(record.module_name) : std::u16string()),
      checksum_(record.checksum),
      report_callback_(record.report_callback),
      report_data_(record.report_data),
      help_context_(record.help_context),
      countdown_seconds_(record.countdown_seconds),
      disabled_seconds_(record.disabled_seconds),
      x_(record.x),
      y_(record.y),
      style_(style),
      owner_(owner),
      text_color_(record.text_color),
      background_color_(record.background_color) {
  const HMODULE own_module = GetModuleHandleW(nullptr);
  string_module_ = record.string_module ? static_cast<HMODULE>(record.string_module) : own_module;
  icon_module_ = record.icon_module ? static_cast<HMODULE>(record.icon_module) : own_module;
  const bool modern = (record.options & AMB_OPT_MODERN) != 0;

  // Colours and the band's brush.
  if (modern && background_color_ == CLR_INVALID) background_color_ = GetSysColor(COLOR_WINDOW);
  if (background_color_ != CLR_INVALID) background_brush_ = CreateSolidBrush(background_color_);

  // Texts and captions.
  message_ = TextOrString(string_module_, text, IS_INTRESOURCE(text) ? kLoadedTextChars : kTextChars);
  caption_ = TextOrString(string_module_, caption, IS_INTRESOURCE(caption) ? kLoadedTextChars : kTextChars);
  const StringLoader load = [this](std::uint32_t id, std::size_t max_chars) {
    return LoadText(string_module_, id, max_chars);
  };
  LayoutInput input;
  input.style = style;
  input.options = record.options;
  input.countdown_seconds = countdown_seconds_;
  input.custom_buttons = ResolveCustomButtons(record, load);
  captions_ = ResolveCaptions(style, record, load);
  input.captions = captions_;
  input.message = message_;
  input.has_report = report_callback_ != nullptr;
  input.has_background_brush = background_brush_ != nullptr;

  // Everything for the DPI of the monitor the box opens on.
  const HMONITOR monitor = BoxMonitor(owner_, x_, y_);
  dpi_ = DpiOfMonitor(monitor);
  icon_id_ = record.icon_id;
  icon_name_ = FieldText(record.icon_name);
  TakeIconForDpi();
  input.has_icon = static_cast<bool>(icon_);

  // Measuring with the message font.
  NONCLIENTMETRICSW metrics{};
  if (NonClientMetricsForDpi(dpi_, &metrics)) font_.reset(CreateFontIndirectW(&metrics.lfMessageFont));
  const HDC dc = CreateDCW(L"DISPLAY", nullptr, nullptr, nullptr);
  const HGDIOBJ old_font = SelectObject(dc, font_ ? font_.get() : GetStockObject(DEFAULT_GUI_FONT));

  LayoutMetrics m;
  m.dpi = static_cast<int>(dpi_);
  const SIZE base_units = DialogBaseUnitsForDpi(dpi_);
  m.base_x = base_units.cx;
  m.base_y = base_units.cy;
  m.screen_width = GetSystemMetrics(SM_CXSCREEN);
  MONITORINFO info{};
  info.cbSize = sizeof info;
  if (GetMonitorInfoW(monitor, &info)) {
    m.work_area_width = info.rcWork.right - info.rcWork.left;
    m.work_area_height = info.rcWork.bottom - info.rcWork.top;
  }
  m.frame_height = WindowSizeForClient({0, 0}, WS_POPUP | WS_CAPTION | WS_SYSMENU, WS_EX_DLGMODALFRAME, dpi_).cy;
  m.scroll_bar_width = SystemMetricForDpi(SM_CXVSCROLL, dpi_);
  m.icon_width = icon_width_;
  m.icon_height = icon_height_;
  m.caption_extent = [dc](std::u16string_view caption) {
    SIZE size{};
    GetTextExtentPoint32W(dc, reinterpret_cast<const wchar_t*>(caption.data()), static_cast<int>(caption.size()),
                          &size);
    return static_cast<int>(size.cx);
  };
  m.text_extent = [dc](std::u16string_view message, int limit) {
    RECT rect{0, 0, limit, limit};
    DrawTextW(dc, reinterpret_cast<const wchar_t*>(message.data()), static_cast<int>(message.size()), &rect,
              DT_CALCRECT | DT_WORDBREAK | DT_EXPANDTABS | DT_NOPREFIX);
    return PixelSize{rect.right - rect.left, rect.bottom - rect.top};
  };
  SIZE my{};
  GetTextExtentPoint32W(dc, L"My", 2, &my);
  m.line_height = my.cy;

  layout_ = LayOutMessageBox(input, m);
  band_bottom_ = layout_.message_rect.bottom;
  for (LayoutItem& item : layout_.items) {
    if (item.id == kMessageId && item.kind == ItemKind::Static) item.style |= kNoPrefix;
    items_.push_back(std::make_unique<CAppDialogItem>(item));
  }

  SelectObject(dc, old_font);
  DeleteDC(dc);
}

CAppDialogTemplate::~CAppDialogTemplate() {
  if (background_brush_) DeleteObject(background_brush_);
}

void CAppDialogTemplate::TakeIconForDpi() {
  icon_ = LoadBoxIcon(style_, icon_id_, icon_name_, icon_module_, dpi_);
  icon_width_ = SystemMetricForDpi(SM_CXICON, dpi_);
  icon_height_ = SystemMetricForDpi(SM_CYICON, dpi_);
}

int CAppDialogTemplate::RunModal() {
  // The template: the header of the layout, then the items as this box keeps them.
  BoxLayout header = layout_;
  header.items.clear();
  for (const auto& item : items_) {
    LayoutItem written;
    written.style = item->style;
    written.units = {item->x, item->y, item->cx, item->cy};
    written.id = item->id;
    written.class_atom = static_cast<std::uint16_t>(item->class_atom);
    written.text = item->text;
    header.items.push_back(std::move(written));
  }
  const std::vector<std::uint8_t> bytes = DialogTemplateBytes(header, caption_);
  ScopedHGlobal memory(GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, bytes.size()));
  if (!memory) return IDCANCEL;
  void* locked = GlobalLock(memory.get());
  if (!locked) return IDCANCEL;
  std::memcpy(locked, bytes.data(), bytes.size());

  const HWND dialog = CreateDialogIndirectParamW(GetModuleHandleW(nullptr),
                                                 static_cast<LPCDLGTEMPLATEW>(locked), owner_, DialogProc,
                                                 reinterpret_cast<LPARAM>(this));
  if (!dialog) {
    GlobalUnlock(memory.get());
    return result_;
  }
  if (owner_) EnableWindow(owner_, FALSE);

  MSG message;
  // A box destroyed from outside (its owner went) ends the loop too, with the
  // result still -1, instead of waiting for ever.
  while (!ended_ && IsWindow(dialog)) {
    if (!PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      // A message sent from another thread is handled inside PeekMessage and
      // may have ended the box: look again before waiting, and wake for sent
      // messages as well as posted ones.
      if (ended_ || !IsWindow(dialog)) break;
      MsgWaitForMultipleObjectsEx(0, nullptr, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
      continue;
    }
    if (message.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(message.wParam));
      break;
    }
    if (message.message == WM_KEYDOWN && (CopyBoxText(dialog, message, message_) || ScrollKey(dialog, message)))
      continue;
    if (!IsDialogMessageW(dialog, &message)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
  }

  // The owner first, so that activation returns to it.
  if (owner_ && IsWindow(owner_)) EnableWindow(owner_, TRUE);
  if (IsWindow(dialog)) DestroyWindow(dialog);
  GlobalUnlock(memory.get());
  return result_;
}

INT_PTR CALLBACK CAppDialogTemplate::DialogProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_INITDIALOG) {
    SetWindowLongPtrW(dialog, GWLP_USERDATA, lparam);
    return reinterpret_cast<CAppDialogTemplate*>(lparam)->OnInitDialog(dialog);
  }
  auto* self = reinterpret_cast<CAppDialogTemplate*>(GetWindowLongPtrW(dialog, GWLP_USERDATA));
  if (!self) return FALSE;
  switch (message) {
    case WM_COMMAND:
      // A scrolling message's notifications (EN_VSCROLL, ...) answer nothing.
      if (LOWORD(wparam) == kMessageId && lparam != 0) return TRUE;
      self->StopCountdown(dialog);
      self->OnCommand(dialog, wparam);
      return TRUE;
    case WM_LBUTTONDOWN:
    case WM_NCLBUTTONDOWN:
      self->StopCountdown(dialog);
      return FALSE;
    case WM_TIMER:
      if (wparam == kCountdownTimer) self->OnCountdownTick(dialog);
      if (wparam == kDisabledTimer) self->OnDisabledTick(dialog);
      return TRUE;
    case WM_ERASEBKGND:
      if (!self->background_brush_) return FALSE;
      SetWindowLongPtrW(dialog, DWLP_MSGRESULT, self->OnEraseBackground(dialog, reinterpret_cast<HDC>(wparam)));
      return TRUE;
    case WM_CTLCOLORSTATIC:
      if (!self->background_brush_) return FALSE;
      return self->OnControlColorStatic(reinterpret_cast<HDC>(wparam), reinterpret_cast<HWND>(lparam));
    case WM_DPICHANGED:
      self->OnDpiChanged(dialog, HIWORD(wparam), *reinterpret_cast<const RECT*>(lparam));
      return TRUE;
    case WM_MOUSEWHEEL:
      // The wheel turns the message, wherever the focus is.
      if (!self->layout_.message_scrolls) return FALSE;
      self->OnMouseWheel(dialog, GET_WHEEL_DELTA_WPARAM(wparam));
      return TRUE;
  }
  return FALSE;
}

void CAppDialogTemplate::OnMouseWheel(HWND dialog, int delta) const {
  // Scrolled here rather than passed on: a control that cannot use the wheel
  // hands it to its parent, which is this dialog.
  UINT lines_a_notch = 3;
  SystemParametersInfoW(SPI_GETWHEELSCROLLLINES, 0, &lines_a_notch, 0);
  if (lines_a_notch == WHEEL_PAGESCROLL) {
    SendDlgItemMessageW(dialog, kMessageId, WM_VSCROLL, delta > 0 ? SB_PAGEUP : SB_PAGEDOWN, 0);
    return;
  }
  const int lines = -delta * static_cast<int>(lines_a_notch) / WHEEL_DELTA;
  if (lines != 0) SendDlgItemMessageW(dialog, kMessageId, EM_LINESCROLL, 0, lines);
}

bool CAppDialogTemplate::ScrollKey(HWND dialog, const MSG& message) const {
  // Page Up and Page Down turn a scrolling message's pages while a button has the focus.
  if (!layout_.message_scrolls || (message.wParam != VK_PRIOR && message.wParam != VK_NEXT)) return false;
  const HWND text = GetDlgItem(dialog, kMessageId);
  if (!text || message.hwnd == text) return false;
  SendMessageW(text, WM_VSCROLL, message.wParam == VK_PRIOR ? SB_PAGEUP : SB_PAGEDOWN, 0);
  return true;
}

void CAppDialogTemplate::PlaceControls(HWND dialog) {
  // The layout's pixels, not the template's dialog units: those are the
  // system font's, which need not be the monitor's DPI.
  for (const LayoutItem& item : layout_.items) {
    if (HWND control = GetDlgItem(dialog, item.id))
      SetWindowPos(control, nullptr, item.rect.left, item.rect.top, item.rect.width(), item.rect.height(),
                   SWP_NOZORDER | SWP_NOACTIVATE);
  }
  RECT window{}, client{};
  GetWindowRect(dialog, &window);
  GetClientRect(dialog, &client);
  const int width = layout_.width + (window.right - window.left) - client.right;
  const int height = layout_.height + (window.bottom - window.top) - client.bottom;
  // About the same centre, where the template put it.
  const int left = (window.left + window.right) / 2 - width / 2;
  const int top = (window.top + window.bottom) / 2 - height / 2;
  SetWindowPos(dialog, nullptr, left, top, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
}

void CAppDialogTemplate::OnDpiChanged(HWND dialog, UINT dpi, const RECT& suggested) {
  if (dpi == 0) return;
  NONCLIENTMETRICSW metrics{};
  ScopedGdiObject font = NonClientMetricsForDpi(dpi, &metrics) ? ScopedGdiObject(CreateFontIndirectW(&metrics.lfMessageFont))
                                                               : ScaledFont(static_cast<HFONT>(font_.get()), dpi_, dpi);
  RescaleDialog(dialog, dpi_, dpi, static_cast<HFONT>(font.get()), suggested);
  if (font) font_ = std::move(font);  // after every control took the new one
  if (layout_.message_scrolls) SendDlgItemMessageW(dialog, kMessageId, EM_SETMARGINS, EC_LEFTMARGIN | EC_RIGHTMARGIN, 0);
  band_bottom_ = MulDiv(band_bottom_, static_cast<int>(dpi), static_cast<int>(dpi_));
  dpi_ = dpi;
  if (icon_) TakeIconForDpi();
  InvalidateRect(dialog, nullptr, TRUE);
}

INT_PTR CAppDialogTemplate::OnInitDialog(HWND dialog) {
  TakeOverDialogDpiScaling(dialog);
  const WPARAM font = reinterpret_cast<WPARAM>(font_.get());
  if (font_) {
    SendDlgItemMessageW(dialog, kMessageId, WM_SETFONT, font, FALSE);
    for (int id = kFirstButtonId; id <= kLastButtonId; ++id)
      if (HWND control = GetDlgItem(dialog, id)) SendMessageW(control, WM_SETFONT, font, FALSE);
    for (int id : {AMB_ID_HELP, AMB_ID_CHECKBOX, AMB_ID_REPORT})
      if (HWND control = GetDlgItem(dialog, id)) SendMessageW(control, WM_SETFONT, font, FALSE);
  }
  CheckDlgButton(dialog, AMB_ID_CHECKBOX, BST_UNCHECKED);
  if (layout_.message_scrolls) {
    if (HWND text = GetDlgItem(dialog, kMessageId)) {
      // The text starts at the control's left edge, as the static text does.
      SendMessageW(text, EM_SETMARGINS, EC_LEFTMARGIN | EC_RIGHTMARGIN, 0);
      scrolling_text_proc_ = reinterpret_cast<WNDPROC>(
          SetWindowLongPtrW(text, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(ScrollingTextProc)));
    }
  }
  PlaceControls(dialog);

  if (disabled_seconds_ > 0) {
    EnableButtons(dialog, false);
    SetCloseItem(dialog, false);
  }
  if (HWND default_button = GetDlgItem(dialog, layout_.default_id)) SetFocus(default_button);
  if (!(layout_.box_kind & (kBoxHasCancel | kBoxIsOk))) SetCloseItem(dialog, false);
  if (icon_) {
    if (HWND control = GetDlgItem(dialog, kIconId))
      SetWindowLongPtrW(control, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(IconProc));
  }
  // A system-modal box is topmost as DS_SYSMODAL makes it on Windows; said
  // explicitly, because not every window system honours the template bit.
  if (style_ & (AMB_TOPMOST | AMB_SYSTEMMODAL))
    SetWindowPos(dialog, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  if (style_ & AMB_SETFOREGROUND) SetForegroundWindow(dialog);

  if (x_ != 0 || y_ != 0) {
    SetWindowPos(dialog, nullptr, x_, y_, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  } else if (owner_) {
    RECT owner_rect{}, box{};
    GetWindowRect(owner_, &owner_rect);
    GetWindowRect(dialog, &box);
    const int left = (owner_rect.left + owner_rect.right) / 2 - (box.right - box.left) / 2;
    const int top = (owner_rect.top + owner_rect.bottom) / 2 - (box.bottom - box.top) / 2;
    SetWindowPos(dialog, nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
  if (x_ == 0 && y_ == 0) {
    // A box placed by the program stays on its monitor's work area.
    RECT box{};
    GetWindowRect(dialog, &box);
    MONITORINFO info{};
    info.cbSize = sizeof info;
    if (GetMonitorInfoW(MonitorFromWindow(dialog, MONITOR_DEFAULTTONEAREST), &info)) {
      const RECT& work = info.rcWork;
      const int left = std::max(std::min(box.left, work.right - (box.right - box.left)), work.left);
      const int top = std::max(std::min(box.top, work.bottom - (box.bottom - box.top)), work.top);
      if (left != box.left || top != box.top)
        SetWindowPos(dialog, nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
  }

  if (countdown_seconds_ > 0) SetTimer(dialog, kCountdownTimer, 1000, nullptr);
  if (disabled_seconds_ > 0) SetTimer(dialog, kDisabledTimer, 1000, nullptr);
  SetForegroundWindow(dialog);
  return FALSE;
}

void CAppDialogTemplate::StopCountdown(HWND dialog) {
  KillTimer(dialog, kCountdownTimer);
  if (!saved_default_caption_.empty())
    SetDlgItemTextW(dialog, layout_.default_id, AsWide(saved_default_caption_));
}

void CAppDialogTemplate::OnCommand(HWND dialog, WPARAM command) {
  const bool timed_out = (command & AMB_TIMED_OUT) != 0 && command <= 0xFFFFFFFFu;
  // While the buttons are disabled the box cannot be answered, not even by
  // Escape or Enter; only the countdown can still press its button.
  if (disabled_seconds_ > 0 && !timed_out && command != static_cast<WPARAM>(AMB_ID_HELP) &&
      command != static_cast<WPARAM>(AMB_ID_REPORT) && command != static_cast<WPARAM>(AMB_ID_CHECKBOX))
    return;
  switch (command) {
    case IDCANCEL:
      if (layout_.box_kind & kBoxHasCancel) {
        result_ = IDCANCEL;
        ended_ = true;
      } else if (layout_.box_kind & kBoxIsOk) {
        result_ = IDOK;
        ended_ = true;
      }
      return;
    case AMB_ID_HELP:
      OpenHelp(dialog);
      return;
    case AMB_ID_REPORT:
      if (report_callback_) report_callback_(message_.c_str(), report_data_);
      return;
    case AMB_ID_CHECKBOX:
      return;
  }
  int result = static_cast<int>(static_cast<DWORD>(command));
  const bool ticked = (layout_.box_kind & kBoxCheckAny) && IsDlgButtonChecked(dialog, AMB_ID_CHECKBOX) == BST_CHECKED;
  if (ticked) {
    result = static_cast<int>(static_cast<DWORD>(result) | CheckResultBit(layout_.box_kind));
    if (!module_name_.empty()) StoreAnswer(result);
  }
  result_ = result;
  ended_ = true;
}

void CAppDialogTemplate::StoreAnswer(int result) const {
  Registry* registry = SystemRegistry();
  if (!registry) return;
  // A failure to store changes nothing for the caller: the answer is still returned.
  const SavedAnswers answers(*registry, company_name_, ProgramPath());
  (void)answers.Write(module_name_, checksum_, static_cast<DWORD>(result));
}

void CAppDialogTemplate::OpenHelp(HWND dialog) const {
  std::u16string path = ProgramPath();
  const auto slash = path.rfind(u'\\');
  const auto dot = path.rfind(u'.');
  // Only a "." in the file name itself starts the extension.
  if (dot == std::u16string::npos || (slash != std::u16string::npos && dot < slash)) return;
  path.replace(dot, std::u16string::npos, u".hlp");
  if (KindOfPath(path) == PathKind::Missing) return;

  using WinHelpFunction = BOOL(WINAPI*)(HWND, LPCWSTR, UINT, ULONG_PTR);
  const HMODULE user32 = GetModuleHandleW(L"user32.dll");
  const auto win_help =
      user32 ? reinterpret_cast<WinHelpFunction>(reinterpret_cast<void*>(GetProcAddress(user32, "WinHelpW"))) : nullptr;
  if (win_help) {
    if (help_context_ != 0)
      win_help(dialog, AsWide(path), HELP_CONTEXT, help_context_);
    else
      win_help(dialog, AsWide(path), HELP_PARTIALKEY, reinterpret_cast<ULONG_PTR>(L""));
    return;
  }
  OpenWithShell(path, dialog);
}

void CAppDialogTemplate::OnCountdownTick(HWND dialog) {
  if (countdown_seconds_ > 0) {
    if (saved_default_caption_.empty()) saved_default_caption_ = WindowText(GetDlgItem(dialog, layout_.default_id), 99);
    wchar_t caption[200];
    std::swprintf(caption, 200, L"%ls = %d", AsWide(saved_default_caption_), countdown_seconds_);
    SetDlgItemTextW(dialog, layout_.default_id, caption);
    --countdown_seconds_;
    return;
  }
  KillTimer(dialog, kCountdownTimer);
  SendMessageW(dialog, WM_COMMAND, static_cast<WPARAM>(static_cast<DWORD>(layout_.default_id) | AMB_TIMED_OUT), 0);
}

void CAppDialogTemplate::OnDisabledTick(HWND dialog) {
  if (disabled_seconds_ > 0) {
    const std::u16string title = caption_ + u" " + std::u16string(AsU16(std::to_wstring(disabled_seconds_).c_str()));
    SetWindowTextW(dialog, AsWide(title));
    --disabled_seconds_;
    return;
  }
  KillTimer(dialog, kDisabledTimer);
  EnableButtons(dialog, true);
  if (layout_.box_kind & (kBoxHasCancel | kBoxIsOk)) SetCloseItem(dialog, true);
  SetWindowTextW(dialog, AsWide(caption_));
  if (HWND default_button = GetDlgItem(dialog, layout_.default_id)) SetFocus(default_button);
  InvalidateRect(dialog, nullptr, TRUE);
  UpdateWindow(dialog);
}

void CAppDialogTemplate::EnableButtons(HWND dialog, bool enable) {
  for (int id = kFirstButtonId; id <= kLastButtonId; ++id) {
    HWND control = GetDlgItem(dialog, id);
    if (control && IsButtonClass(control)) EnableWindow(control, enable);
  }
}

void CAppDialogTemplate::SetCloseItem(HWND dialog, bool enable) {
  EnableMenuItem(GetSystemMenu(dialog, FALSE), SC_CLOSE, MF_BYCOMMAND | (enable ? MF_ENABLED : MF_GRAYED));
}

BOOL CAppDialogTemplate::OnEraseBackground(HWND dialog, HDC dc) {
  RECT client{};
  GetClientRect(dialog, &client);
  ScopedGdiObject face(CreateSolidBrush(GetSysColor(COLOR_BTNFACE)));
  FillRect(dc, &client, static_cast<HBRUSH>(face.get()));
  RECT band = client;
  band.bottom = band_bottom_;
  FillRect(dc, &band, background_brush_);
  return TRUE;
}

INT_PTR CAppDialogTemplate::OnControlColorStatic(HDC dc, HWND control) {
  SetBkColor(dc, background_color_ != CLR_INVALID ? background_color_ : GetSysColor(COLOR_WINDOW));
  SetTextColor(dc, text_color_ != CLR_INVALID ? text_color_ : GetSysColor(COLOR_WINDOWTEXT));
  if (GetDlgCtrlID(control) == kMessageId) return reinterpret_cast<INT_PTR>(background_brush_);
  return FALSE;
}

LRESULT CALLBACK CAppDialogTemplate::IconProc(HWND control, UINT message, WPARAM, LPARAM) {
  if (message == WM_PAINT) {
    PAINTSTRUCT paint;
    if (HDC dc = BeginPaint(control, &paint)) {
      const auto* self = reinterpret_cast<const CAppDialogTemplate*>(GetWindowLongPtrW(GetParent(control), GWLP_USERDATA));
      if (self && self->icon_)
        DrawIconEx(dc, 0, 0, self->icon_.get(), self->icon_width_, self->icon_height_, 0, nullptr, DI_NORMAL);
      EndPaint(control, &paint);
    }
  }
  return 0;
}

LRESULT CALLBACK CAppDialogTemplate::ScrollingTextProc(HWND control, UINT message, WPARAM wparam, LPARAM lparam) {
  const auto* self = reinterpret_cast<const CAppDialogTemplate*>(GetWindowLongPtrW(GetParent(control), GWLP_USERDATA));
  if (!self || !self->scrolling_text_proc_) return DefWindowProcW(control, message, wparam, lparam);
  // Clicked into, the text takes the arrow keys; Enter, Escape and Tab stay
  // the dialog's (the default button, Cancel, the next button).
  if (message == WM_GETDLGCODE) return DLGC_WANTARROWS;
  return CallWindowProcW(self->scrolling_text_proc_, control, message, wparam, lparam);
}

}  // namespace hivemend
