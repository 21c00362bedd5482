// The About box follows a change of its monitor's DPI.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>
#include <thread>
#include <utility>
#include <vector>

#include "app/AboutDialog_win.h"
#include "resources/resource.h"
#include "tests/app/WindowTestSupport_win.h"

namespace hivemend {
namespace {

HWND FindAboutBox() {
  const HWND box = FindWindowW(L"#32770", L"About Hivemend");
  DWORD pid = 0;
  if (box) GetWindowThreadProcessId(box, &pid);
  return box && pid == GetCurrentProcessId() && IsWindowVisible(box) ? box : nullptr;
}

RECT ChildRect(HWND box, HWND child) {
  RECT r{};
  GetWindowRect(child, &r);
  MapWindowPoints(nullptr, box, reinterpret_cast<POINT*>(&r), 2);
  return r;
}

int FontHeight(HWND control) {
  LOGFONTW font{};
  const auto handle = reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0));
  if (!handle || GetObjectW(handle, sizeof font, &font) != sizeof font) return 0;
  return std::abs(font.lfHeight);
}

TEST(AboutBox, DpiChangeScalesItsControlsFontAndIcon) {
  INT_PTR result = 0;
  std::thread shown([&] { result = ShowAboutDialog(nullptr); });
  HWND box = nullptr;
  ASSERT_TRUE(testing_support::WaitUntil([&] { return (box = FindAboutBox()) != nullptr; }));

  std::vector<std::pair<HWND, RECT>> before;
  for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
    before.push_back({child, ChildRect(box, child)});
  RECT client{};
  GetClientRect(box, &client);
  const HWND text = GetDlgItem(box, IDC_ABOUT_TEXT);
  const int font = FontHeight(text);

  // What the system suggests for twice the DPI: the client area twice as large.
  RECT window{};
  GetWindowRect(box, &window);
  RECT suggested{0, 0, 2 * client.right, 2 * client.bottom};
  AdjustWindowRectEx(&suggested, GetWindowLongW(box, GWL_STYLE), FALSE, GetWindowLongW(box, GWL_EXSTYLE));
  OffsetRect(&suggested, window.left - suggested.left, window.top - suggested.top);
  SendMessageW(box, WM_DPICHANGED, MAKEWPARAM(192, 192), reinterpret_cast<LPARAM>(&suggested));

  RECT scaled{};
  GetClientRect(box, &scaled);
  EXPECT_NEAR(scaled.right, 2 * client.right, 2);
  EXPECT_NEAR(scaled.bottom, 2 * client.bottom, 2);
  EXPECT_GT(font, 0);
  EXPECT_NEAR(FontHeight(text), 2 * font, 1);
  for (const auto& [child, r] : before) {
    SCOPED_TRACE(testing::Message() << "control " << GetDlgCtrlID(child));
    const RECT now = ChildRect(box, child);
    EXPECT_NEAR(now.left, 2 * r.left, 2);
    EXPECT_NEAR(now.top, 2 * r.top, 2);
    // The icon's control takes the size of the icon for the new DPI.
    EXPECT_GE(now.right - now.left, (r.right - r.left) * 3 / 2);
    EXPECT_GE(now.bottom - now.top, (r.bottom - r.top) * 3 / 2);
    EXPECT_TRUE(now.left >= 0 && now.top >= 0 && now.right <= scaled.right && now.bottom <= scaled.bottom);
  }

  PostMessageW(box, WM_COMMAND, IDOK, 0);
  shown.join();
  EXPECT_EQ(result, IDOK);
}

}  // namespace
}  // namespace hivemend
