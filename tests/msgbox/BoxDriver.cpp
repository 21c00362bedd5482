#include "BoxDriver_win.h"

#include <gtest/gtest.h>

#include <chrono>
#include <vector>

namespace hivemend::test {

namespace {

struct Search {
  std::wstring prefix;
  HWND found = nullptr;
};

BOOL CALLBACK FindBox(HWND window, LPARAM lparam) {
  auto* search = reinterpret_cast<Search*>(lparam);
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  if (pid != GetCurrentProcessId() || !IsWindowVisible(window) || ClassName(window) != L"#32770") return TRUE;
  if (Text(window).rfind(search->prefix, 0) != 0) return TRUE;
  search->found = window;
  return FALSE;
}

void SendMouse(DWORD flags) {
  INPUT input{};
  input.type = INPUT_MOUSE;
  input.mi.dwFlags = flags;
  SendInput(1, &input, sizeof input);
}

}  // namespace

bool WaitUntil(const std::function<bool()>& pred, int timeout_ms) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  while (!pred()) {
    if (std::chrono::steady_clock::now() > end) return false;
    Sleep(20);
  }
  return true;
}

HWND WaitForBox(const std::wstring& title_prefix, int timeout_ms) {
  Search search{title_prefix};
  WaitUntil([&] {
    EnumWindows(FindBox, reinterpret_cast<LPARAM>(&search));
    return search.found != nullptr;
  }, timeout_ms);
  if (search.found) Sleep(50);  // let WM_INITDIALOG's work settle
  return search.found;
}

bool BoxAppears(const std::wstring& title_prefix, int timeout_ms) {
  return WaitForBox(title_prefix, timeout_ms) != nullptr;
}

std::wstring Text(HWND window) {
  wchar_t buffer[4096] = {};
  GetWindowTextW(window, buffer, 4096);
  return buffer;
}

std::wstring ClassName(HWND window) {
  wchar_t buffer[256] = {};
  GetClassNameW(window, buffer, 256);
  return buffer;
}

RECT ControlRect(HWND dialog, int id) {
  RECT rect{};
  HWND control = GetDlgItem(dialog, id);
  GetWindowRect(control, &rect);
  MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

void ClickAt(POINT screen) {
  SetCursorPos(screen.x, screen.y);
  Sleep(30);
  SendMouse(MOUSEEVENTF_LEFTDOWN);
  Sleep(30);
  SendMouse(MOUSEEVENTF_LEFTUP);
  Sleep(30);
}

void ClickControl(HWND dialog, int id) {
  HWND control = GetDlgItem(dialog, id);
  RECT rect{};
  GetWindowRect(control, &rect);
  const POINT centre{(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
  // A click lands on whatever is on top; make sure that is the control.
  if (WindowFromPoint(centre) != control) {
    SetForegroundWindow(dialog);
    Sleep(50);
  }
  EXPECT_EQ(WindowFromPoint(centre), control) << "control " << id << " is covered";
  ClickAt(centre);
}

bool ClickCloseBox(HWND dialog) {
  RECT rect{};
  GetWindowRect(dialog, &rect);
  const int caption_y = rect.top + GetSystemMetrics(SM_CYFRAME) + GetSystemMetrics(SM_CYCAPTION) / 2;
  for (int x = rect.right - 1; x > rect.left; --x) {
    const LRESULT hit = SendMessageW(dialog, WM_NCHITTEST, 0, MAKELPARAM(x, caption_y));
    if (hit == HTCLOSE) {
      ClickAt({x - 4, caption_y});
      return true;
    }
  }
  return false;
}

void PressKey(HWND dialog, WORD vk, bool ctrl) {
  SetForegroundWindow(dialog);
  Sleep(30);
  std::vector<INPUT> inputs;
  auto key = [&](WORD code, bool up) {
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = code;
    input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    inputs.push_back(input);
  };
  // Held down the way a person holds it, so that the key state seen while the
  // box handles the key (also the asynchronous one) still has it down.
  if (ctrl) key(VK_CONTROL, false);
  key(vk, false);
  SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
  Sleep(150);
  inputs.clear();
  key(vk, true);
  if (ctrl) key(VK_CONTROL, true);
  SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
  Sleep(50);
}

BoxAnswerer::BoxAnswerer(std::wstring title_prefix, std::function<void(HWND)> act, int timeout_ms)
    : thread_([this, title_prefix = std::move(title_prefix), act = std::move(act), timeout_ms] {
        HWND box = WaitForBox(title_prefix, timeout_ms);
        found_ = box != nullptr;
        if (box) act(box);
      }) {}

BoxAnswerer::~BoxAnswerer() {
  if (thread_.joinable()) thread_.join();
}

TestKey::TestKey()
    : company_(L"HivemendTest\\msgbox-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
               std::to_wstring(GetTickCount64())) {
  RegDeleteTreeW(HKEY_CURRENT_USER, (L"Software\\" + company_).c_str());
}

TestKey::~TestKey() {
  RegDeleteTreeW(HKEY_CURRENT_USER, (L"Software\\" + company_).c_str());
  RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\HivemendTest");  // only when empty
}

}  // namespace hivemend::test
