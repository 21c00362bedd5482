#include "app/AboutDialog.h"

#include "engine/ChangeEntry.h"
#include "platform/Version.h"
#include "platform/Text.h"
#include "platform/WinString.h"
#include "resources/resource.h"

namespace hivemend {
namespace {

INT_PTR CALLBACK AboutDialogProc(HWND dialog, UINT message, WPARAM wparam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG: {
      // The template's text is only a placeholder; the version is the program's.
      std::u16string text = FormatMessageText(u"%s %s", {kProductName, kProgramVersion});
      if (kIsTestBuild) text += u" (test build)";
      SetDlgItemTextW(dialog, IDC_ABOUT_TEXT, AsWide(text));
      return TRUE;
    }
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
  return DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_ABOUT), owner, AboutDialogProc, 0);
}

}  // namespace hivemend
