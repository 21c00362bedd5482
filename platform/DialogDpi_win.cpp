#include "platform/DialogDpi_win.h"

#include <vector>

namespace hivemend {
namespace {

// A function of a system DLL that older systems lack: nullptr there.
template <typename Function>
Function SystemFunction(const wchar_t* dll, const char* name) {
  HMODULE module = GetModuleHandleW(dll);
  if (!module) module = LoadLibraryExW(dll, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  return module ? reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name))) : nullptr;
}

int Scale(int value, UINT to, UINT from) { return MulDiv(value, static_cast<int>(to), static_cast<int>(from)); }

void ScaleFontHeight(LOGFONTW& font, UINT to, UINT from) { font.lfHeight = Scale(font.lfHeight, to, from); }

// NONCLIENTMETRICSW without iPaddedBorderWidth: accepted by every Windows version.
constexpr UINT kNonClientMetricsSize = 500;

}  // namespace

UINT SystemDpi() {
  using GetDpiForSystemFn = UINT(WINAPI*)();
  static const auto get_dpi_for_system = SystemFunction<GetDpiForSystemFn>(L"user32.dll", "GetDpiForSystem");
  if (get_dpi_for_system) {
    if (const UINT dpi = get_dpi_for_system()) return dpi;
  }
  const HDC dc = GetDC(nullptr);
  const int dpi = dc ? GetDeviceCaps(dc, LOGPIXELSY) : 96;
  if (dc) ReleaseDC(nullptr, dc);
  return dpi > 0 ? static_cast<UINT>(dpi) : 96;
}

UINT DpiOfWindow(HWND window) {
  using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
  static const auto get_dpi_for_window = SystemFunction<GetDpiForWindowFn>(L"user32.dll", "GetDpiForWindow");
  if (get_dpi_for_window && window) {
    if (const UINT dpi = get_dpi_for_window(window)) return dpi;
  }
  return SystemDpi();
}

UINT DpiOfMonitor(HMONITOR monitor) {
  // GetDpiForMonitor with MDT_EFFECTIVE_DPI (0), Windows 8.1 and later.
  using GetDpiForMonitorFn = HRESULT(WINAPI*)(HMONITOR, int, UINT*, UINT*);
  static const auto get_dpi_for_monitor = SystemFunction<GetDpiForMonitorFn>(L"shcore.dll", "GetDpiForMonitor");
  UINT x = 0, y = 0;
  if (get_dpi_for_monitor && monitor && SUCCEEDED(get_dpi_for_monitor(monitor, 0, &x, &y)) && y != 0) return y;
  return SystemDpi();
}

int SystemMetricForDpi(int index, UINT dpi) {
  using GetSystemMetricsForDpiFn = int(WINAPI*)(int, UINT);
  static const auto for_dpi = SystemFunction<GetSystemMetricsForDpiFn>(L"user32.dll", "GetSystemMetricsForDpi");
  if (for_dpi) return for_dpi(index, dpi);
  return Scale(GetSystemMetrics(index), dpi, SystemDpi());
}

bool NonClientMetricsForDpi(UINT dpi, NONCLIENTMETRICSW* metrics) {
  using SystemParametersInfoForDpiFn = BOOL(WINAPI*)(UINT, UINT, void*, UINT, UINT);
  static const auto for_dpi =
      SystemFunction<SystemParametersInfoForDpiFn>(L"user32.dll", "SystemParametersInfoForDpi");
  NONCLIENTMETRICSW got{};
  got.cbSize = kNonClientMetricsSize;
  if (for_dpi && for_dpi(SPI_GETNONCLIENTMETRICS, kNonClientMetricsSize, &got, 0, dpi)) {
    *metrics = got;
    return true;
  }
  if (!SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, kNonClientMetricsSize, &got, 0)) return false;
  // The system DPI's figures: the fonts scaled, which is what the box uses.
  const UINT system = SystemDpi();
  for (LOGFONTW* font : {&got.lfCaptionFont, &got.lfSmCaptionFont, &got.lfMenuFont, &got.lfStatusFont,
                         &got.lfMessageFont})
    ScaleFontHeight(*font, dpi, system);
  *metrics = got;
  return true;
}

SIZE DialogBaseUnitsForDpi(UINT dpi) {
  // Measured rather than taken from GetDialogBaseUnits, whose height Wine
  // gives too large above 96 DPI (62 for a 32-pixel font at 192).
  const LONG units = GetDialogBaseUnits();
  SIZE base{LOWORD(units), HIWORD(units)};
  if (const HDC dc = GetDC(nullptr)) {
    const HGDIOBJ old = SelectObject(dc, GetStockObject(SYSTEM_FONT));
    TEXTMETRICW metrics{};
    SIZE letters{};
    if (GetTextMetricsW(dc, &metrics) &&
        GetTextExtentPoint32W(dc, L"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz", 52, &letters)) {
      base = {(letters.cx / 26 + 1) / 2, metrics.tmHeight};
    }
    SelectObject(dc, old);
    ReleaseDC(nullptr, dc);
  }
  const UINT system = SystemDpi();
  return {Scale(base.cx, dpi, system), Scale(base.cy, dpi, system)};
}

SIZE WindowSizeForClient(SIZE client, DWORD style, DWORD ex_style, UINT dpi) {
  using AdjustForDpiFn = BOOL(WINAPI*)(RECT*, DWORD, BOOL, DWORD, UINT);
  static const auto for_dpi = SystemFunction<AdjustForDpiFn>(L"user32.dll", "AdjustWindowRectExForDpi");
  RECT rect{0, 0, client.cx, client.cy};
  if (!(for_dpi && for_dpi(&rect, style, FALSE, ex_style, dpi))) AdjustWindowRectEx(&rect, style, FALSE, ex_style);
  return {rect.right - rect.left, rect.bottom - rect.top};
}

ScopedIcon LoadIconForDpi(HMODULE module, const wchar_t* name, UINT dpi) {
  const int cx = SystemMetricForDpi(SM_CXICON, dpi), cy = SystemMetricForDpi(SM_CYICON, dpi);
  // LoadIconWithScaleDown (version 6 common controls; with the program's
  // manifest the name loads that version) picks the best image and gives a
  // copy of the caller's own, also of a system icon.
  using LoadScaledFn = HRESULT(WINAPI*)(HINSTANCE, const wchar_t*, int, int, HICON*);
  static const auto load_scaled = [] {
    HMODULE comctl = GetModuleHandleW(L"comctl32.dll");
    if (!comctl) comctl = LoadLibraryW(L"comctl32.dll");
    return comctl ? reinterpret_cast<LoadScaledFn>(reinterpret_cast<void*>(GetProcAddress(comctl, "LoadIconWithScaleDown")))
                  : nullptr;
  }();
  HICON icon = nullptr;
  if (load_scaled && SUCCEEDED(load_scaled(module, name, cx, cy, &icon)) && icon) return ScopedIcon(icon);
  if (module) return ScopedIcon(static_cast<HICON>(LoadImageW(module, name, IMAGE_ICON, cx, cy, LR_DEFAULTCOLOR)));
  // A system icon loads only shared, at the system's size: a private copy.
  const HICON shared = LoadIconW(nullptr, name);
  return ScopedIcon(shared ? CopyIcon(shared) : nullptr);
}

void TakeOverDialogDpiScaling(HWND dialog) {
  // SetDialogDpiChangeBehavior(dialog, DDC_DISABLE_ALL, DDC_DISABLE_ALL): Windows 10 1703 and later.
  constexpr int kDisableAll = 1;
  using SetBehaviorFn = BOOL(WINAPI*)(HWND, int, int);
  static const auto set_behavior = SystemFunction<SetBehaviorFn>(L"user32.dll", "SetDialogDpiChangeBehavior");
  if (set_behavior) set_behavior(dialog, kDisableAll, kDisableAll);
}

ScopedGdiObject ScaledFont(HFONT font, UINT from_dpi, UINT to_dpi) {
  LOGFONTW logfont{};
  if (!font || from_dpi == 0 || GetObjectW(font, sizeof logfont, &logfont) != sizeof logfont) return {};
  ScaleFontHeight(logfont, to_dpi, from_dpi);
  return ScopedGdiObject(CreateFontIndirectW(&logfont));
}

void RescaleDialog(HWND dialog, UINT from_dpi, UINT to_dpi, HFONT font, const RECT& suggested) {
  if (from_dpi == 0 || to_dpi == 0) return;
  std::vector<HWND> children;
  for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
    children.push_back(child);
  if (font) SendMessageW(dialog, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  for (HWND child : children) {
    // The font first: a control that sizes itself to its font (an icon, a
    // combo box) is then put on its scaled place.
    if (font) SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    RECT r{};
    GetWindowRect(child, &r);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&r), 2);
    // Edges, not sizes, are scaled: neighbours that touched still touch.
    const int left = Scale(r.left, to_dpi, from_dpi), top = Scale(r.top, to_dpi, from_dpi);
    const int right = Scale(r.right, to_dpi, from_dpi), bottom = Scale(r.bottom, to_dpi, from_dpi);
    SetWindowPos(child, nullptr, left, top, right - left, bottom - top, SWP_NOZORDER | SWP_NOACTIVATE);
  }
  SetWindowPos(dialog, nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
               suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
  InvalidateRect(dialog, nullptr, TRUE);
}

}  // namespace hivemend
