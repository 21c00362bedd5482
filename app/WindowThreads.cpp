#include "app/WindowThreads_win.h"

#include <exception>
#include <system_error>
#include <utility>

#include "app/PostToWindow_win.h"
#include "platform/Event_win.h"

namespace hivemend {
namespace {

void WatchForTerminate(HANDLE terminate_event, HANDLE stop_event, HWND window, UINT message) {
  // The stop event first: when both are set, the request is left to whoever
  // waits next.
  for (;;) {
    if (WaitForAnyEvent({stop_event, terminate_event}) != 1) return;
    // The request is used up by the wait. If the window's queue is full it is
    // lost, and the next request is awaited.
    if (PostPayload(window, message, TerminateRequest{})) return;
  }
}

void CheckForUpdateAndPost(const UpdateCheckFunction& check, HANDLE stop_event, HWND window, UINT message) {
  try {
    std::optional<std::u16string> latest = check(stop_event);
    if (latest && !EventIsSet(stop_event)) PostPayload(window, message, UpdateResult{std::move(*latest)});
  } catch (const std::exception&) {
    // Only running out of memory gets here; the update check fails silently.
  }
}

}  // namespace

std::jthread StartTerminateWatch(HANDLE terminate_event, HANDLE stop_event, HWND window, UINT message) {
  if (terminate_event == nullptr || stop_event == nullptr) return {};
  try {
    return std::jthread(WatchForTerminate, terminate_event, stop_event, window, message);
  } catch (const std::system_error&) {
    return {};
  }
}

std::jthread StartUpdateCheckWorker(UpdateCheckFunction check, HANDLE stop_event, HWND window, UINT message) {
  if (stop_event == nullptr) return {};
  try {
    return std::jthread(CheckForUpdateAndPost, std::move(check), stop_event, window, message);
  } catch (const std::system_error&) {
    return {};
  }
}

}  // namespace hivemend
