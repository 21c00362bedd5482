#include "BoxDriver_win.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <sstream>
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

// The screen as a failure message describes it: the box, the foreground, the
// focus and the capture of the box's thread, and the cursor.
std::wstring ScreenState(HWND box, DWORD thread) {
  const auto name = [](HWND window) { return window ? ClassName(window) + L" \"" + Text(window) + L"\"" : L"none"; };
  GUITHREADINFO gui{};
  gui.cbSize = sizeof gui;
  GetGUIThreadInfo(thread, &gui);
  RECT rect{};
  GetWindowRect(box, &rect);
  POINT cursor{};
  GetCursorPos(&cursor);
  std::wostringstream out;
  out << L"box " << name(box) << L" at " << rect.left << L"," << rect.top << L"; foreground "
      << name(GetForegroundWindow()) << L"; focus " << name(gui.hwndFocus) << L"; capture " << name(gui.hwndCapture)
      << L"; cursor at " << cursor.x << L"," << cursor.y << L" over " << name(WindowFromPoint(cursor));
  return out.str();
}

// Names each test as it starts when the output is otherwise brief, so that a
// run that hangs says where.
class StartNamer : public testing::EmptyTestEventListener {
  void OnTestStart(const testing::TestInfo& test) override {
    if (!GTEST_FLAG_GET(brief)) return;
    std::printf("[ RUN      ] %s.%s\n", test.test_suite_name(), test.name());
    std::fflush(stdout);
  }
};
[[maybe_unused]] const bool kNamesTests = (testing::UnitTest::GetInstance()->listeners().Append(new StartNamer), true);

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

BoxAnswerer::BoxAnswerer(std::wstring title_prefix, std::function<void(HWND)> act)
    : thread_([this, title_prefix = std::move(title_prefix), act = std::move(act), caller = GetCurrentThreadId()] {
        // Looked for until it appears or the call returns without one: the first
        // window of a Wine session waits for the session's desktop process, which
        // Wine gives 10 s to start (and more under load).
        HWND box = nullptr;
        WaitUntil([&] { return returned_ || (box = WaitForBox(title_prefix, 0)) != nullptr; }, 60000);
        found_ = box != nullptr;
        if (box) act(box);
        const auto ended = [&] { return returned_ || (box && !IsWindow(box)); };
        if (WaitUntil(ended, box ? 10000 : 0)) return;
        left_open_ = box ? L"the box \"" + title_prefix + L"\" was still open 10 s after it was answered: "
                         : L"no box \"" + title_prefix + L"\" appeared in 60 s, nor did the call return: ";
        if (!box) box = WaitForBox(L"", 0);
        left_open_ += ScreenState(box, caller) + L". Ended with WM_QUIT.";
        for (int i = 0; i < 5 && !ended(); ++i) {
          PostThreadMessageW(caller, WM_QUIT, 0, 0);
          WaitUntil(ended, 1000);
        }
      }) {}

BoxAnswerer::~BoxAnswerer() { Finish(); }

bool BoxAnswerer::found() {
  Finish();
  return found_;
}

void BoxAnswerer::Finish() {
  returned_ = true;
  if (!thread_.joinable()) return;
  thread_.join();
  if (left_open_.empty()) return;
  ADD_FAILURE() << left_open_;
  // The box passed the quit on to this thread, where it would end the next box.
  MSG message;
  while (PeekMessageW(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
  }
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
