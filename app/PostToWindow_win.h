// The one road from a worker thread to the main window, for every worker the
// window owns (its loads, the merge, the update check and download, the wait
// for another copy's close request). Two forms, both posted with a message id
// from WM_APP up:
//  - an owned payload on the heap (PostPayload / TakePayload): the poster frees
//    it when the post fails; the window checks on arrival that the message was
//    posted by PostPayload of this process to this window before it takes it,
//    and frees what is still queued when it closes (DiscardPayloads);
//  - a wake-up without payload (WindowWakeUp), for a worker whose results wait
//    in an object that both sides share (the load channel, the merge's question,
//    the download's byte counts): at most one such message is on its way at a
//    time, however often the worker wakes the window before it looks.
// Nothing else a worker does reaches a window.
#pragma once

#include <windows.h>

#include <atomic>
#include <memory>
#include <optional>
#include <utility>

namespace hivemend {

// The first parameter of every message that carries a payload: a number drawn
// once per process, so that another program's message with the same id is
// never taken for a payload.
WPARAM PayloadTag();

template <typename T>
struct PostedPayload {
  HWND window;  // the window it was posted to
  T value;
};

// True when the window will receive value; otherwise value is freed here.
template <typename T>
bool PostPayload(HWND window, UINT message, T value) {
  auto payload = std::make_unique<PostedPayload<T>>(PostedPayload<T>{window, std::move(value)});
  if (!PostMessageW(window, message, PayloadTag(), reinterpret_cast<LPARAM>(payload.get()))) return false;
  (void)payload.release();  // the window's message queue holds it now
  return true;
}

// On the window's thread, for a message posted with PostPayload<T>: the value,
// or nothing when the message carries no payload for this window. Frees the
// payload either way.
template <typename T>
std::optional<T> TakePayload(HWND window, WPARAM tag, LPARAM lparam) {
  if (tag != PayloadTag() || lparam == 0) return std::nullopt;
  const std::unique_ptr<PostedPayload<T>> payload(reinterpret_cast<PostedPayload<T>*>(lparam));
  if (payload->window != window) return std::nullopt;
  return std::move(payload->value);
}

// On the window's thread: frees the payloads of message still queued for window.
template <typename T>
void DiscardPayloads(HWND window, UINT message) {
  MSG queued;
  while (PeekMessageW(&queued, window, message, message, PM_REMOVE))
    (void)TakePayload<T>(window, queued.wParam, queued.lParam);
}

// The wake-up without payload. Wake is called by workers, Taken by the window
// when the message arrives, before it looks at what waits; a post that fails
// (a full queue) is tried again with the next Wake.
class WindowWakeUp {
 public:
  WindowWakeUp(HWND window, UINT message) : window_(window), message_(message) {}
  WindowWakeUp(const WindowWakeUp&) = delete;
  WindowWakeUp& operator=(const WindowWakeUp&) = delete;

  void Wake() {
    if (!posted_.exchange(true, std::memory_order_acq_rel) && !PostMessageW(window_, message_, 0, 0))
      posted_.store(false, std::memory_order_release);
  }
  void Taken() { posted_.store(false, std::memory_order_release); }
  HWND window() const { return window_; }

 private:
  HWND window_;
  UINT message_;
  std::atomic<bool> posted_{false};
};

}  // namespace hivemend
