// Drives message boxes of this process from a helper thread, the way a user
// would: finds the box by its title, clicks, types, reads controls.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <thread>

namespace hivemend::test {

// The visible dialog of this process whose title starts with title_prefix, or
// nullptr after timeout_ms.
HWND WaitForBox(const std::wstring& title_prefix, int timeout_ms = 10000);
// Whether such a box appears within timeout_ms.
bool BoxAppears(const std::wstring& title_prefix, int timeout_ms);

std::wstring Text(HWND window);
std::wstring ClassName(HWND window);
// A control's rectangle in its parent's client coordinates.
RECT ControlRect(HWND dialog, int id);

// A real left click at the centre of a control (mouse input).
void ClickControl(HWND dialog, int id);
// A real left click at a screen point.
void ClickAt(POINT screen);
// A real click on the box's close button in its caption.
bool ClickCloseBox(HWND dialog);
// Key presses sent as keyboard input to the box (made the foreground first).
void PressKey(HWND dialog, WORD vk, bool ctrl = false);

// Waits until pred() holds, polling; false after timeout_ms.
bool WaitUntil(const std::function<bool()>& pred, int timeout_ms = 10000);

// Runs act(box) on a helper thread once the box appears; the thread is joined
// by the destructor. found() says whether the box appeared.
class BoxAnswerer {
 public:
  BoxAnswerer(std::wstring title_prefix, std::function<void(HWND)> act, int timeout_ms = 10000);
  ~BoxAnswerer();
  BoxAnswerer(const BoxAnswerer&) = delete;
  BoxAnswerer& operator=(const BoxAnswerer&) = delete;
  bool found() const { return found_; }

 private:
  bool found_ = false;
  std::thread thread_;
};

// A unique key below HKCU\Software\HivemendTest, deleted on construction and
// destruction.
class TestKey {
 public:
  TestKey();
  ~TestKey();
  const std::wstring& company() const { return company_; }  // "HivemendTest\<unique>"
 private:
  std::wstring company_;
};

}  // namespace hivemend::test
