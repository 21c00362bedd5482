#include "app/WindowFrame_win.h"

#include <commctrl.h>

#include <algorithm>
#include <cstdlib>

namespace hivemend {
namespace {

// Functions of Windows 10 and later, looked up so that older systems still
// start the program.
template <typename Function>
Function User32Function(const char* name) {
  return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), name)));
}

// At 96 DPI, in pixels: the least room the list keeps, and the margin between
// controls.
constexpr int kMinListWidth = 240;
constexpr int kMinListHeight = 90;
constexpr int kMargin = 8;

}  // namespace

UINT WindowDpi(HWND window) {
  using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
  static const auto get_dpi_for_window = User32Function<GetDpiForWindowFn>("GetDpiForWindow");
  if (get_dpi_for_window) {
    if (const UINT dpi = get_dpi_for_window(window)) return dpi;
  }
  const HDC dc = GetDC(window);
  const int dpi = dc ? GetDeviceCaps(dc, LOGPIXELSY) : 96;
  if (dc) ReleaseDC(window, dc);
  return dpi > 0 ? static_cast<UINT>(dpi) : 96;
}

Rect ToRect(const RECT& r) { return {r.left, r.top, r.right, r.bottom}; }
RECT ToRECT(const Rect& r) { return {r.left, r.top, r.right, r.bottom}; }

Rect WorkAreaNear(const Rect& rect) {
  const RECT r = ToRECT(rect);
  MONITORINFO info{};
  info.cbSize = sizeof info;
  if (!GetMonitorInfoW(MonitorFromRect(&r, MONITOR_DEFAULTTONEAREST), &info)) {
    RECT work{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    return ToRect(work);
  }
  return ToRect(info.rcWork);
}

void WindowFrame::Attach(HWND window, Size template_units, const std::vector<std::pair<int, std::uint8_t>>& anchors,
                         HWND status_bar, HWND list) {
  window_ = window;
  status_bar_ = status_bar;
  list_ = list;
  dpi_ = WindowDpi(window);
  // This frame lays the dialog out for a new DPI itself.
  using SetBehaviorFn = BOOL(WINAPI*)(HWND, int, int);
  if (const auto set_behavior = User32Function<SetBehaviorFn>("SetDialogDpiChangeBehavior"))
    set_behavior(window, 3 /* DDC_DISABLE_ALL */, 3);
  RECT client{0, 0, template_units.cx, template_units.cy};
  MapDialogRect(window, &client);
  layout_.base = {client.right, client.bottom};
  layout_.controls.clear();
  for (const auto& [id, anchor] : anchors) {
    const HWND control = GetDlgItem(window, id);
    if (!control) continue;
    RECT r{};
    GetWindowRect(control, &r);
    MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&r), 2);
    layout_.controls.push_back({id, anchor, ToRect(r)});
  }
}

Size WindowFrame::MinimumClient() const {
  const auto scale = [&](int v) { return ScaleRounded(v, static_cast<int>(dpi_), 96); };
  Size least = layout_.Minimum({scale(kMinListWidth), scale(kMinListHeight)}, scale(kMargin));
  return least;
}

void WindowFrame::FitToWorkArea() {
  RECT r{};
  GetWindowRect(window_, &r);
  const Rect place = CentreInWorkArea({r.right - r.left, r.bottom - r.top}, WorkAreaNear(ToRect(r)));
  SetWindowPos(window_, nullptr, place.left, place.top, place.width(), place.height(),
               SWP_NOZORDER | SWP_NOACTIVATE);
}

void WindowFrame::OnSize(int cx, int cy) {
  if (!window_ || layout_.controls.empty()) return;
  const std::vector<Rect> places = layout_.Place({cx, cy});
  HDWP defer = BeginDeferWindowPos(static_cast<int>(places.size()));
  for (size_t i = 0; i < places.size(); ++i) {
    const HWND control = GetDlgItem(window_, layout_.controls[i].id);
    const Rect& p = places[i];
    if (defer)
      defer = DeferWindowPos(defer, control, nullptr, p.left, p.top, p.width(), p.height(),
                             SWP_NOZORDER | SWP_NOACTIVATE);
  }
  if (defer) EndDeferWindowPos(defer);
  if (status_bar_) SendMessageW(status_bar_, WM_SIZE, 0, 0);
  InvalidateRect(window_, nullptr, TRUE);
}

void WindowFrame::OnGetMinMaxInfo(MINMAXINFO& info) const {
  if (!window_) return;
  RECT window{}, client{};
  GetWindowRect(window_, &window);
  GetClientRect(window_, &client);
  const Size least = MinimumClient();
  // Never more than the work area: a window that must fit there can.
  const Rect work = WorkAreaNear(ToRect(window));
  info.ptMinTrackSize.x = std::min<LONG>(least.cx + (window.right - window.left) - client.right, work.width());
  info.ptMinTrackSize.y = std::min<LONG>(least.cy + (window.bottom - window.top) - client.bottom, work.height());
}

void WindowFrame::OnDpiChanged(UINT dpi, const RECT& suggested) {
  if (dpi == 0 || !window_) return;
  const int from = static_cast<int>(dpi_), to = static_cast<int>(dpi);
  dpi_ = dpi;
  layout_ = layout_.Scaled(from, to);

  // The dialog's font, scaled.
  LOGFONTW font{};
  if (const auto current = reinterpret_cast<HFONT>(SendMessageW(window_, WM_GETFONT, 0, 0));
      current && GetObjectW(current, sizeof font, &font) == sizeof font) {
    font.lfHeight = ScaleRounded(font.lfHeight, to, from);
    ScopedGdiObject scaled(CreateFontIndirectW(&font));
    if (scaled) {
      SendMessageW(window_, WM_SETFONT, reinterpret_cast<WPARAM>(scaled.get()), FALSE);
      for (HWND child = GetWindow(window_, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(scaled.get()), TRUE);
      font_ = std::move(scaled);  // after the controls took the new one
    }
  }
  if (list_) {
    const HWND header = reinterpret_cast<HWND>(SendMessageW(list_, LVM_GETHEADER, 0, 0));
    const int columns = header ? static_cast<int>(SendMessageW(header, HDM_GETITEMCOUNT, 0, 0)) : 0;
    for (int c = 0; c < columns; ++c) {
      const int width = static_cast<int>(SendMessageW(list_, LVM_GETCOLUMNWIDTH, c, 0));
      SendMessageW(list_, LVM_SETCOLUMNWIDTH, c, ScaleRounded(width, to, from));
    }
  }
  if (status_bar_) {
    int parts[8] = {};
    const int count = static_cast<int>(SendMessageW(status_bar_, SB_GETPARTS, 8, reinterpret_cast<LPARAM>(parts)));
    for (int i = 0; i < count && i < 8; ++i)
      if (parts[i] >= 0) parts[i] = ScaleRounded(parts[i], to, from);
    if (count > 0) SendMessageW(status_bar_, SB_SETPARTS, count, reinterpret_cast<LPARAM>(parts));
  }
  SetWindowPos(window_, nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
               suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
  RECT client{};
  GetClientRect(window_, &client);
  OnSize(client.right, client.bottom);
}

void WindowFrame::Restore(const SavedLayout& saved) {
  const int to = static_cast<int>(dpi_);
  if (saved.place) {
    const Rect& p = *saved.place;
    // Scaled about its top-left corner; the monitor found from the corner.
    Rect place{p.left, p.top, p.left + ScaleRounded(p.width(), to, saved.dpi),
               p.top + ScaleRounded(p.height(), to, saved.dpi)};
    place = BringIntoWorkArea(place, WorkAreaNear(place));
    SetWindowPos(window_, nullptr, place.left, place.top, place.width(), place.height(),
                 SWP_NOZORDER | SWP_NOACTIVATE);
    if (saved.maximized) ShowWindow(window_, SW_MAXIMIZE);
  }
  if (list_) {
    const HWND header = reinterpret_cast<HWND>(SendMessageW(list_, LVM_GETHEADER, 0, 0));
    const int columns = header ? static_cast<int>(SendMessageW(header, HDM_GETITEMCOUNT, 0, 0)) : 0;
    if (static_cast<int>(saved.column_widths.size()) == columns)
      for (int c = 0; c < columns; ++c)
        SendMessageW(list_, LVM_SETCOLUMNWIDTH, c, ScaleRounded(saved.column_widths[c], to, saved.dpi));
    if (static_cast<int>(saved.column_order.size()) == columns)
      SendMessageW(list_, LVM_SETCOLUMNORDERARRAY, columns, reinterpret_cast<LPARAM>(saved.column_order.data()));
  }
}

SavedLayout WindowFrame::Capture() const {
  SavedLayout layout;
  layout.dpi = static_cast<int>(dpi_);
  WINDOWPLACEMENT placement{};
  placement.length = sizeof placement;
  if (GetWindowPlacement(window_, &placement)) {
    // rcNormalPosition is in work-area coordinates for a window without
    // WS_EX_TOOLWINDOW: move it to screen coordinates.
    Rect normal = ToRect(placement.rcNormalPosition);
    MONITORINFO info{};
    info.cbSize = sizeof info;
    if (GetMonitorInfoW(MonitorFromWindow(window_, MONITOR_DEFAULTTONEAREST), &info)) {
      const int dx = info.rcWork.left - info.rcMonitor.left, dy = info.rcWork.top - info.rcMonitor.top;
      normal = {normal.left + dx, normal.top + dy, normal.right + dx, normal.bottom + dy};
    }
    if (normal.width() > 0 && normal.height() > 0) layout.place = normal;
    layout.maximized = placement.showCmd == SW_SHOWMAXIMIZED || IsZoomed(window_);
  }
  if (list_) {
    const HWND header = reinterpret_cast<HWND>(SendMessageW(list_, LVM_GETHEADER, 0, 0));
    const int columns = header ? static_cast<int>(SendMessageW(header, HDM_GETITEMCOUNT, 0, 0)) : 0;
    for (int c = 0; c < columns; ++c)
      layout.column_widths.push_back(static_cast<int>(SendMessageW(list_, LVM_GETCOLUMNWIDTH, c, 0)));
    layout.column_order.assign(columns, 0);
    if (columns == 0 ||
        !SendMessageW(list_, LVM_GETCOLUMNORDERARRAY, columns, reinterpret_cast<LPARAM>(layout.column_order.data())))
      layout.column_order.clear();
  }
  return layout;
}

void WindowFrame::MoveOffOthers(const wchar_t* property) {
  if (!window_ || IsZoomed(window_)) return;
  RECT r{};
  GetWindowRect(window_, &r);
  Rect place = ToRect(r);
  const int step = ScaleRounded(32, static_cast<int>(dpi_), 96);
  RECT client{};
  GetClientRect(window_, &client);
  const Size frame{(r.right - r.left) - client.right, (r.bottom - r.top) - client.bottom};
  const Size least_client = MinimumClient();
  const Size least{least_client.cx + frame.cx, least_client.cy + frame.cy};
  struct Search {
    HWND self;
    const wchar_t* property;
    Rect place;
    int tolerance;
    bool taken;
  };
  for (int moves = 0; moves < 16; ++moves) {
    Search search{window_, property, place, step / 2, false};
    EnumWindows(
        [](HWND other, LPARAM data) -> BOOL {
          auto& s = *reinterpret_cast<Search*>(data);
          if (other == s.self || !GetPropW(other, s.property)) return TRUE;  // visible or about to be
          RECT o{};
          GetWindowRect(other, &o);
          s.taken = std::abs(o.left - s.place.left) < s.tolerance && std::abs(o.top - s.place.top) < s.tolerance;
          return !s.taken;
        },
        reinterpret_cast<LPARAM>(&search));
    if (!search.taken) break;
    place = OffsetFromOther(place, step, WorkAreaNear(place), least);
  }
  if (place != ToRect(r))
    SetWindowPos(window_, nullptr, place.left, place.top, place.width(), place.height(), SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace hivemend
