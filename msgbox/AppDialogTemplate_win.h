// The dialog behind AppMessageBox: the controls in dialog units, the texts,
// the GDI objects it paints with, and its modal run. Windows only.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "msgbox/MessageBoxLayout.h"
#include "msgbox/MessageBoxParams.h"
#include "platform/UniqueHandle_win.h"

namespace hivemend {

// One control of the in-memory dialog template.
class CAppDialogItem {
 public:
  explicit CAppDialogItem(const LayoutItem& item);
  virtual ~CAppDialogItem();
  CAppDialogItem(const CAppDialogItem&) = delete;
  CAppDialogItem& operator=(const CAppDialogItem&) = delete;

  DWORD style;
  DWORD extended_style = 0;
  short x, y, cx, cy;  // dialog units of the system font
  WORD id;
  DWORD class_atom;    // 0x0080 button, 0x0082 static
  std::u16string text;
};

// One box: built from the call's arguments (texts loaded, captions resolved,
// measured and laid out for the DPI of the monitor it opens on), shown by
// RunModal, destroyed when the call returns. Its controls sit on the layout's
// pixels; on WM_DPICHANGED it scales them and takes fonts and an icon for
// the new DPI.
class CAppDialogTemplate {
 public:
  // record: the box's own copy, already limited (seconds) and with the look decided.
  CAppDialogTemplate(HWND owner, const wchar_t* text, const wchar_t* caption, UINT style,
                     const MessageBoxParams& record);
  virtual ~CAppDialogTemplate();
  CAppDialogTemplate(const CAppDialogTemplate&) = delete;
  CAppDialogTemplate& operator=(const CAppDialogTemplate&) = delete;

  // Shows the box modally and returns the result word: 2 when the template
  // memory cannot be had, -1 when the dialog cannot be created.
  int RunModal();

  // The layout the controls were made from (pixels and dialog units).
  const BoxLayout& Layout() const { return layout_; }
  // The DPI the box was laid out for.
  UINT Dpi() const { return dpi_; }

 private:
  static INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);
  static LRESULT CALLBACK IconProc(HWND control, UINT message, WPARAM wparam, LPARAM lparam);
  static LRESULT CALLBACK ScrollingTextProc(HWND control, UINT message, WPARAM wparam, LPARAM lparam);

  INT_PTR OnInitDialog(HWND dialog);
  void PlaceControls(HWND dialog);
  void OnDpiChanged(HWND dialog, UINT dpi, const RECT& suggested);
  bool ScrollKey(HWND dialog, const MSG& message) const;
  void OnMouseWheel(HWND dialog, int delta) const;
  void TakeIconForDpi();  // the box's icon for dpi_
  void OnCommand(HWND dialog, WPARAM command);
  void OnCountdownTick(HWND dialog);
  void OnDisabledTick(HWND dialog);
  BOOL OnEraseBackground(HWND dialog, HDC dc);
  INT_PTR OnControlColorStatic(HDC dc, HWND control);
  void StopCountdown(HWND dialog);
  void EnableButtons(HWND dialog, bool enable);
  void SetCloseItem(HWND dialog, bool enable);
  void OpenHelp(HWND dialog) const;
  void StoreAnswer(int result) const;

  std::vector<std::unique_ptr<CAppDialogItem>> items_;
  std::u16string message_;
  std::u16string caption_;
  Captions captions_;
  std::u16string saved_default_caption_;
  std::u16string company_name_;
  std::u16string module_name_;
  std::int32_t checksum_ = 0;
  ReportCallback report_callback_ = nullptr;
  std::uint32_t report_data_ = 0;
  std::uint32_t help_context_ = 0;
  std::int32_t countdown_seconds_ = 0;
  std::int32_t disabled_seconds_ = 0;
  int x_ = 0, y_ = 0;
  UINT style_ = 0;
  HWND owner_ = nullptr;
  HMODULE string_module_ = nullptr;
  HMODULE icon_module_ = nullptr;
  std::uint32_t icon_id_ = 0;
  std::u16string icon_name_;
  ScopedIcon icon_;
  ScopedGdiObject font_;
  UINT dpi_ = 96;
  int icon_width_ = 32, icon_height_ = 32;
  int band_bottom_ = 0;  // the band's bottom edge in the client area
  WNDPROC scrolling_text_proc_ = nullptr;
  HBRUSH background_brush_ = nullptr;
  COLORREF text_color_ = CLR_INVALID;
  COLORREF background_color_ = CLR_INVALID;
  BoxLayout layout_;
  int result_ = -1;
  bool ended_ = false;
};

}  // namespace hivemend
