// The one road from a worker thread to the main window: an owned payload on
// the heap, posted with a message id from WM_APP up.
//
// Workers call PostPayload; the poster frees the payload when the post fails.
// The window calls TakePayload when the message arrives, which checks that the
// message was posted by PostPayload of this process to this window before it
// takes the payload, and DiscardPayloads when it closes, for what is still
// queued once its workers have been joined.
#pragma once

#include <windows.h>

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

}  // namespace hivemend
