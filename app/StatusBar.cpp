#include "app/StatusBar_win.h"

#include <commctrl.h>

#include <algorithm>
#include <vector>

#include "app/WindowLayout.h"
#include "platform/WinString.h"

namespace hivemend {
namespace {

constexpr UINT_PTR kSubclassId = 1;

}  // namespace

void StatusBar::Create(HWND parent) {
  bar_ = CreateWindowExW(0, STATUSCLASSNAMEW, nullptr, WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | SBARS_SIZEGRIP, 0, 0,
                         0, 0, parent, nullptr, GetModuleHandleW(nullptr), nullptr);
  if (bar_) SetWindowSubclass(bar_, SubclassProc, kSubclassId, reinterpret_cast<DWORD_PTR>(this));
}

void StatusBar::Layout(int dpi) {
  if (!bar_) return;
  dpi_ = dpi;
  SendMessageW(bar_, WM_SIZE, 0, 0);
  RECT client{};
  GetClientRect(bar_, &client);
  const std::vector<int> edges = StatusPartEdges(client.right - client.left, dpi, showing_);
  SendMessageW(bar_, SB_SETPARTS, edges.size(), reinterpret_cast<LPARAM>(edges.data()));
}

void StatusBar::SetShowing(const std::u16string& text) {
  if (showing_ != !text.empty()) {
    showing_ = !text.empty();
    Layout(dpi_);
  }
  Set(kShowing, text);
}

void StatusBar::Set(int part, const std::u16string& text) {
  SendMessageW(bar_, SB_SETTEXTW, static_cast<WPARAM>(part), reinterpret_cast<LPARAM>(AsWide(text)));
}

void StatusBar::ClearTexts() {
  Set(kLine, u"");
  Set(kCounts, u"");
  Set(kRefusedLines, u"");
}

// The status bar paints itself at once for every text it is given, which took
// 20 to 70 ms a time under Wine while a large load kept the machine busy.
void StatusBar::SetHeld(int part, const std::u16string& text, bool busy) {
  if (!held_) {
    SendMessageW(bar_, WM_SETREDRAW, FALSE, 0);
    held_ = true;
  }
  Set(part, text);
  if (!busy) ShowHeld();
  else ShowHeld(true);
}

void StatusBar::ShowHeld(bool due_only) {
  if (!held_ || (due_only && GetTickCount64() - shown_at_ < kHeldIntervalMs)) return;
  held_ = false;
  SendMessageW(bar_, WM_SETREDRAW, TRUE, 0);
  // Painted now: a window busy with posted messages would put it off.
  RedrawWindow(bar_, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
  shown_at_ = GetTickCount64();
}

// The bar's own painting cuts a text that does not fit at the part's edge;
// this one ends it with an ellipsis, so that a cut text is seen to be cut.
void StatusBar::Paint(HDC dc) {
  RECT client{};
  GetClientRect(bar_, &client);
  FillRect(dc, &client, GetSysColorBrush(COLOR_BTNFACE));
  const auto font = reinterpret_cast<HFONT>(SendMessageW(bar_, WM_GETFONT, 0, 0));
  const HGDIOBJ old_font = font ? SelectObject(dc, font) : nullptr;
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, GetSysColor(COLOR_BTNTEXT));
  const int parts = static_cast<int>(SendMessageW(bar_, SB_GETPARTS, 0, 0));
  for (int i = 0; i < parts; ++i) {
    RECT rect{};
    if (!SendMessageW(bar_, SB_GETRECT, i, reinterpret_cast<LPARAM>(&rect)) || rect.right - rect.left < 4) continue;
    DrawEdge(dc, &rect, BDR_SUNKENOUTER, BF_RECT | BF_ADJUST);
    const LRESULT length = LOWORD(SendMessageW(bar_, SB_GETTEXTLENGTHW, i, 0));
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    SendMessageW(bar_, SB_GETTEXTW, i, reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<size_t>(length));
    rect.left += 3;
    // The size grip, in the part that reaches it.
    rect.right = std::min(rect.right, client.right - GetSystemMetrics(SM_CXVSCROLL));
    if (rect.right <= rect.left) continue;
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &rect,
              DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX | DT_END_ELLIPSIS);
  }
  if (!IsZoomed(GetParent(bar_))) {
    const int grip = GetSystemMetrics(SM_CXVSCROLL);
    RECT corner{client.right - grip, client.bottom - grip, client.right, client.bottom};
    DrawFrameControl(dc, &corner, DFC_SCROLL, DFCS_SCROLLSIZEGRIP);
  }
  if (old_font) SelectObject(dc, old_font);
}

LRESULT CALLBACK StatusBar::SubclassProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam, UINT_PTR,
                                         DWORD_PTR self_pointer) {
  auto& self = *reinterpret_cast<StatusBar*>(self_pointer);
  switch (message) {
    case WM_PAINT: {
      PAINTSTRUCT paint;
      if (const HDC dc = BeginPaint(window, &paint)) {
        self.Paint(dc);
        EndPaint(window, &paint);
      }
      return 0;
    }
    case WM_ERASEBKGND: return 1;
    case WM_NCDESTROY: RemoveWindowSubclass(window, SubclassProc, kSubclassId); break;
  }
  return DefSubclassProc(window, message, wparam, lparam);
}

}  // namespace hivemend
