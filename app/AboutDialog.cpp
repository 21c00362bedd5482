#include "app/AboutDialog_win.h"

#include "engine/ChangeEntry.h"
#include "platform/DialogDpi_win.h"
#include "platform/Text.h"
#include "platform/Version.h"
#include "platform/WinString.h"
#include "resources/resource.h"

namespace hivemend {
namespace {

// What the box owns while it is up: its DPI, and the font and icon made for
// it (the template's own serve until the first DPI change).
struct AboutState {
  UINT dpi = 96;
  ScopedGdiObject font;
  ScopedIcon icon;
};

// The template's icon control (it has no id of its own).
HWND IconControl(HWND dialog) {
  for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
    if ((GetWindowLongPtrW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) return child;
  return nullptr;
}

// The program's icon at the icon size of the box's DPI; the control takes its size.
void ShowIcon(HWND dialog, AboutState& state) {
  const HWND control = IconControl(dialog);
  if (!control) return;
  ScopedIcon icon = LoadIconForDpi(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_HIVEMEND), state.dpi);
  if (!icon) return;
  SendMessageW(control, STM_SETICON, reinterpret_cast<WPARAM>(icon.get()), 0);
  state.icon = std::move(icon);  // after the control let the old one go
}

void OnDpiChanged(HWND dialog, AboutState& state, UINT dpi, const RECT& suggested) {
  if (dpi == 0) return;
  const auto current = reinterpret_cast<HFONT>(SendMessageW(dialog, WM_GETFONT, 0, 0));
  ScopedGdiObject font = ScaledFont(current, state.dpi, dpi);
  RescaleDialog(dialog, state.dpi, dpi, static_cast<HFONT>(font.get()), suggested);
  if (font) state.font = std::move(font);
  state.dpi = dpi;
  ShowIcon(dialog, state);
}

INT_PTR CALLBACK AboutDialogProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_INITDIALOG: {
      auto* state = reinterpret_cast<AboutState*>(lparam);
      SetWindowLongPtrW(dialog, DWLP_USER, lparam);
      // The dialog manager made the box for the monitor's DPI; later changes
      // are this procedure's.
      TakeOverDialogDpiScaling(dialog);
      state->dpi = DpiOfWindow(dialog);
      ShowIcon(dialog, *state);
      // The template's text is only a placeholder; the version is the program's.
      std::u16string text = FormatMessageText(u"%s %s", {kProductName, kProgramVersion});
      if (kIsTestBuild) text += u" (test build)";
      SetDlgItemTextW(dialog, IDC_ABOUT_TEXT, AsWide(text));
      return TRUE;
    }
    case WM_DPICHANGED:
      if (auto* state = reinterpret_cast<AboutState*>(GetWindowLongPtrW(dialog, DWLP_USER))) {
        OnDpiChanged(dialog, *state, HIWORD(wparam), *reinterpret_cast<const RECT*>(lparam));
        return TRUE;
      }
      return FALSE;
    case WM_COMMAND:
      if (LOWORD(wparam) == IDOK || LOWORD(wparam) == IDCANCEL) {
        EndDialog(dialog, LOWORD(wparam));
        return TRUE;
      }
      return FALSE;
    default:
      return FALSE;
  }
}

}  // namespace

INT_PTR ShowAboutDialog(HWND owner) {
  // Outlives the dialog: the font and icon it holds are the controls' until then.
  AboutState state;
  return DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_ABOUT), owner, AboutDialogProc,
                         reinterpret_cast<LPARAM>(&state));
}

}  // namespace hivemend
