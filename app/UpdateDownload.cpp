#include "app/UpdateDownload_win.h"

#include <commctrl.h>

#include <algorithm>
#include <exception>
#include <system_error>
#include <utility>

#include "app/PostToWindow_win.h"
#include "platform/Event_win.h"
#include "platform/Text.h"
#include "platform/WinString.h"

namespace hivemend {
namespace {

constexpr wchar_t kClassName[] = L"HivemendUpdateProgress";
// The worker's wake-up: the numbers themselves are read from the object.
constexpr UINT kProgressMessage = WM_APP + 1;
constexpr int kBarRange = 1000;

bool RegisterProgressClass(WNDPROC procedure) {
  WNDCLASSEXW window_class{};
  window_class.cbSize = sizeof(window_class);
  window_class.lpfnWndProc = procedure;
  window_class.hInstance = GetModuleHandleW(nullptr);
  window_class.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  window_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  window_class.lpszClassName = kClassName;
  return RegisterClassExW(&window_class) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

HFONT MessageFont() {
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof(metrics);
  if (!SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0)) return nullptr;
  return CreateFontIndirectW(&metrics.lfMessageFont);
}

}  // namespace

std::u16string DownloadProgressText(std::uint64_t received, std::uint64_t total) {
  // The whole file is there: the signature and the installer's version are
  // checked next, which can take a while when revocation is asked online.
  if (total != 0 && received >= total) return u"Checking the installer's signature and version...";
  if (total == 0) return FormatMessageText(u"Downloading the update: %s bytes received", {Decimal(received)});
  return FormatMessageText(u"Downloading the update: %s of %s bytes received", {Decimal(received), Decimal(total)});
}

std::unique_ptr<UpdateDownload> UpdateDownload::Start(HWND owner, UINT done_message, InstallFunction install) {
  if (!RegisterProgressClass(WindowProc)) return nullptr;
  std::unique_ptr<UpdateDownload> download(new UpdateDownload);
  download->stop_ = NewEvent(EventReset::Manual);
  if (!download->stop_) return nullptr;

  const DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU;
  RECT frame{0, 0, 380, 118};
  AdjustWindowRectEx(&frame, style, FALSE, WS_EX_DLGMODALFRAME);
  const int width = frame.right - frame.left;
  const int height = frame.bottom - frame.top;
  RECT owner_rect{};
  GetWindowRect(owner, &owner_rect);
  const int x = (owner_rect.left + owner_rect.right - width) / 2;
  const int y = (owner_rect.top + owner_rect.bottom - height) / 2;
  const HINSTANCE instance = GetModuleHandleW(nullptr);
  download->window_ = CreateWindowExW(WS_EX_DLGMODALFRAME, kClassName, L"Hivemend Update", style, x, y, width,
                                      height, owner, nullptr, instance, download.get());
  if (!download->window_) return nullptr;
  const HWND window = download->window_;
  download->progress_wake_ = std::make_unique<WindowWakeUp>(window, kProgressMessage);
  download->font_ = MessageFont();
  download->text_ = CreateWindowExW(0, L"STATIC", AsWide(DownloadProgressText(0, 0)), WS_CHILD | WS_VISIBLE, 12, 12,
                                    356, 20, window, nullptr, instance, nullptr);
  download->bar_ = CreateWindowExW(0, PROGRESS_CLASSW, nullptr, WS_CHILD | WS_VISIBLE | PBS_SMOOTH, 12, 40, 356, 18,
                                   window, nullptr, instance, nullptr);
  download->cancel_ = CreateWindowExW(0, L"BUTTON", L"Cancel", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON,
                                      288, 74, 80, 26, window, reinterpret_cast<HMENU>(IDCANCEL), instance, nullptr);
  for (const HWND control : {download->text_, download->cancel_}) {
    if (download->font_) SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(download->font_), FALSE);
  }
  SendMessageW(download->bar_, PBM_SETRANGE32, 0, kBarRange);
  ShowWindow(window, SW_SHOW);

  UpdateDownload* self = download.get();
  try {
    download->worker_ = std::jthread([self, owner, done_message, install = std::move(install)] {
      InstallResult result(InstallOutcome::CannotWrite);
      try {
        result = install(self->stop_.get(),
                          [self](std::uint64_t received, std::uint64_t total) { self->Report(received, total); });
      } catch (const std::exception&) {
        // Only running out of memory gets here: the download has failed.
      }
      PostPayload(owner, done_message, UpdateDownloadDone{std::move(result)});
    });
  } catch (const std::system_error&) {
    return nullptr;
  }
  return download;
}

UpdateDownload::~UpdateDownload() {
  Stop();
  if (worker_.joinable()) worker_.join();
  if (window_ && IsWindow(window_)) DestroyWindow(window_);
  if (font_) DeleteObject(font_);
}

void UpdateDownload::Stop() {
  if (stop_) SetEventOn(stop_.get());
}

// On the worker: keeps the numbers and wakes the window once, however many
// pieces arrive before it looks.
void UpdateDownload::Report(std::uint64_t received, std::uint64_t total) {
  received_ = received;
  total_ = total;
  if (progress_wake_) progress_wake_->Wake();
}

void UpdateDownload::OnProgressPosted() {
  if (progress_wake_) progress_wake_->Taken();
  if (cancelling_) return;
  const std::uint64_t received = received_;
  const std::uint64_t total = total_;
  SetWindowTextW(text_, AsWide(DownloadProgressText(received, total)));
  const int position = total == 0 ? 0 : static_cast<int>(std::min<std::uint64_t>(received, total) * kBarRange / total);
  SendMessageW(bar_, PBM_SETPOS, position, 0);
}

LRESULT CALLBACK UpdateDownload::WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lparam);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* self = reinterpret_cast<UpdateDownload*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (self == nullptr) return DefWindowProcW(window, message, wparam, lparam);
  switch (message) {
    case kProgressMessage:
      self->OnProgressPosted();
      return 0;
    case WM_COMMAND:
      if (LOWORD(wparam) != IDCANCEL) break;
      [[fallthrough]];
    case WM_CLOSE:
      // The window stays until the worker has ended and the main window
      // destroys it.
      self->Stop();
      self->cancelling_ = true;
      EnableWindow(self->cancel_, FALSE);
      SetWindowTextW(self->text_, L"Cancelling the update...");
      return 0;
    case WM_DESTROY:
      SetWindowLongPtrW(window, GWLP_USERDATA, 0);
      return 0;
    default:
      break;
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

}  // namespace hivemend
