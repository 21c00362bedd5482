// Drives message boxes of this process from a helper thread, the way a user
// would: finds the box by its title, clicks, types, reads controls.
#pragma once

#include <windows.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>

namespace hivemend::test {

// The visible dialog of this process whose title starts with title_prefix, or
// nullptr after timeout_ms.
HWND WaitForBox(const std::wstring& title_prefix, int timeout_ms = 10000);

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

// Runs act(box) on a helper thread once the box appears. A box still open 10 s
// after act ran, or a call that neither shows the box nor returns in 60 s,
// fails the test and is ended (WM_QUIT), so that the run goes on. found(),
// once the call returned, says whether the box appeared.
class BoxAnswerer {
 public:
  BoxAnswerer(std::wstring title_prefix, std::function<void(HWND)> act);
  ~BoxAnswerer();
  BoxAnswerer(const BoxAnswerer&) = delete;
  BoxAnswerer& operator=(const BoxAnswerer&) = delete;
  bool found();

 private:
  void Finish();  // joins the thread and reports a box it had to end

  std::atomic<bool> found_{false};
  std::atomic<bool> returned_{false};
  std::wstring left_open_;  // what the screen showed when a box had to be ended
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
