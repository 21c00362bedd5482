// Shows one sample message box by name, for screenshots
// (tools/msgbox-screenshots.sh). Prints the box's window rectangle as
// "left top right bottom" once it is up, and presses the default button after
// the given milliseconds (again and again while its buttons are disabled).
// Aware of each monitor's DPI, as the program is.
//
//   msgbox_gallery.exe NAME [MILLISECONDS]
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "msgbox/AppDialogTemplate_win.h"
#include "msgbox/AppMessageBox_win.h"

using namespace hivemend;

namespace {

void Copy(char16_t* field, std::size_t capacity, const wchar_t* text) {
  std::size_t i = 0;
  for (; text[i] && i + 1 < capacity; ++i) field[i] = static_cast<char16_t>(text[i]);
  field[i] = 0;
}

struct Sample {
  const wchar_t* name;
  const wchar_t* text;
  const wchar_t* caption;
  UINT style;
  bool classic;  // the look of systems before version 6
  void (*setup)(MessageBoxParams&);
};

const wchar_t kUpdate[] =
    L"There is an update for Hivemend available. Version 0.0.3.1. Would you like to auto-install it now?";
const wchar_t kErrors[] =
    L"The following errors were recorded to the error log file C:\\Users\\tester\\AppData\\Roaming\\Hivemend\\"
    L"hivemend_error_log_3.log:\r\n\r\nHKEY_LOCAL_MACHINE\\SOFTWARE\\Policies\\Example: Access is denied.\r\n"
    L"HKEY_CURRENT_USER\\Software\\Example\\Values: The system cannot find the file specified.";

// A key path of 300 characters, one unbroken word, in the error log message.
const std::wstring kLongPath =
    L"The following errors were recorded to the error log file C:\\Users\\tester\\AppData\\Roaming\\Hivemend\\"
    L"hivemend_error_log_4.log:\r\n\r\nHKEY_CURRENT_USER\\Software\\" + std::wstring(273, L'k') +
    L": Access is denied.";

// More lines than any screen holds: the message scrolls.
std::wstring LongText() {
  std::wstring text = L"The following errors were recorded to the error log file:\r\n\r\n";
  for (int i = 1; i <= 120; ++i)
    text += L"HKEY_CURRENT_USER\\Software\\Example\\Key" + std::to_wstring(i) +
            L": The system cannot find the file specified.\n";
  return text;
}
const std::wstring kLongText = LongText();

const Sample kSamples[] = {
    {L"update-modern", kUpdate, L"Hivemend Update Available", MB_YESNO | MB_ICONQUESTION | AMB_CHECK_ASK, false,
     nullptr},
    {L"update-classic", kUpdate, L"Hivemend Update Available", MB_YESNO | MB_ICONQUESTION | AMB_CHECK_ASK, true,
     nullptr},
    {L"success", L"Changes successfully applied!", L"Hivemend", MB_OK | MB_ICONINFORMATION, false,
     [](MessageBoxParams& p) { p.options = AMB_OPT_NARROW; }},
    {L"errors-narrow", kErrors, L"Hivemend", MB_OK | MB_ICONEXCLAMATION, false,
     [](MessageBoxParams& p) { p.options = AMB_OPT_NARROW; }},
    {L"errors-classic", kErrors, L"Hivemend", MB_OK | MB_ICONEXCLAMATION, true, nullptr},
    {L"custom-buttons", L"The file has changed on disk since it was loaded.\n\nWhat would you like to do?",
     L"Hivemend", MB_ICONQUESTION | MB_HELP | AMB_CHECK_TELL, false,
     [](MessageBoxParams& p) {
       Copy(p.custom_buttons, 260, L"&Reload\nKeep &mine\nCompare...");
       p.report_callback = [](const char16_t*, std::uint32_t) {};
     }},
    {L"countdown", L"Hivemend will close in a few seconds.", L"Hivemend",
     MB_OKCANCEL | MB_ICONASTERISK | AMB_CHECK_SHOW, false,
     [](MessageBoxParams& p) { p.countdown_seconds = 9; }},
    {L"all-buttons", L"Replace the existing value?", L"Hivemend",
     MB_YESNOCANCEL | AMB_YES_TO_ALL | AMB_NO_TO_ALL | MB_ICONHAND, true, nullptr},
    {L"system-modal-error", L"The registry could not be opened.", L"Hivemend",
     MB_OK | MB_ICONHAND | MB_SYSTEMMODAL, false, nullptr},  // the platform's own box answers
    {L"long-path", kLongPath.c_str(), L"Hivemend", MB_OK | MB_ICONEXCLAMATION, false, nullptr},
    {L"long-text", kLongText.c_str(), L"Hivemend", MB_OK | MB_ICONEXCLAMATION, false,
     [](MessageBoxParams& p) { p.x = p.y = 0; }},  // placed by the box: on the work area
    {L"colours", L"A box with its own colours and no icon.", L"Hivemend", MB_RETRYCANCEL, false,
     [](MessageBoxParams& p) {
       p.background_color = RGB(255, 248, 220);
       p.text_color = RGB(128, 0, 0);
       p.disabled_seconds = 5;
     }},
};

}  // namespace

// As the program's manifest asks: per-monitor DPI awareness, version 2 where
// the system has it.
void BecomeDpiAware() {
  using SetContextFn = BOOL(WINAPI*)(HANDLE);
  const auto set_context = reinterpret_cast<SetContextFn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "SetProcessDpiAwarenessContext")));
  if (set_context && !set_context(reinterpret_cast<HANDLE>(-4))) set_context(reinterpret_cast<HANDLE>(-3));
}

int wmain(int argc, wchar_t** argv) {
  BecomeDpiAware();
  if (argc < 2) {
    for (const Sample& s : kSamples) std::printf("%ls\n", s.name);
    return 0;
  }
  const int delay = argc > 2 ? _wtoi(argv[2]) : 3000;
  for (const Sample& s : kSamples) {
    if (std::wstring(argv[1]) != s.name) continue;
    MessageBoxParams params;
    params.x = 40;
    params.y = 40;
    if (s.setup) s.setup(params);
    const std::wstring caption = s.caption;
    std::thread presser([&] {
      HWND box = nullptr;
      for (int i = 0; i < 500 && !box; ++i) {
        Sleep(10);
        box = FindWindowW(L"#32770", nullptr);
        if (box && !IsWindowVisible(box)) box = nullptr;
      }
      if (!box) return;
      Sleep(300);
      RECT rect{};
      GetWindowRect(box, &rect);
      std::printf("%ld %ld %ld %ld\n", rect.left, rect.top, rect.right, rect.bottom);
      std::fflush(stdout);
      Sleep(delay);
      // Pressed again until it takes: a disabled period ignores the first presses.
      for (int i = 0; i < 100 && IsWindow(box); ++i) {
        const LRESULT def = SendMessageW(box, DM_GETDEFID, 0, 0);
        PostMessageW(box, WM_COMMAND, HIWORD(def) == DC_HASDEFID ? LOWORD(def) : IDOK, 0);
        Sleep(200);
      }
    });
    if (s.classic) {
      // The look of systems before version 6, made directly from the template.
      CAppDialogTemplate box(nullptr, s.text, s.caption, s.style | AMB_NO_SOUND, params);
      box.RunModal();
    } else {
      AppMessageBox(nullptr, s.text, s.caption, s.style | AMB_NO_SOUND, &params);
    }
    presser.join();
    return 0;
  }
  std::fprintf(stderr, "no sample named %ls\n", argv[1]);
  return 1;
}
