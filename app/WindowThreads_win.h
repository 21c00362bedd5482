// The main window's two long-lived helper threads besides its loads: the one
// that waits for another copy's close request and the update check. The
// window starts each once and keeps the returned thread; when it closes it
// sets stop_event and joins them. Each thread reaches the window only by
// PostPayload (PostToWindow_win.h).
//
// The stop is a manual-reset event that the window owns rather than a
// std::stop_callback: with the MinGW libstdc++ 12 that builds this program,
// removing a stop_callback while another thread runs it can miss its wake-up
// and hang for ever.
#pragma once

#include <windows.h>

#include <functional>
#include <optional>
#include <string>
#include <thread>

namespace hivemend {

// Posted when another copy asked this one to close.
struct TerminateRequest {};

// Posted when the update check has a version text to offer.
struct UpdateResult {
  std::u16string latest_version;
};

// Waits on terminate_event (TerminateEvent) and posts one TerminateRequest to
// window with message when another copy sets it; stop_event ends the wait.
// Both events must outlive the thread. The wait takes the request (the event
// is auto-reset), so it is the event's only waiter in this process. Returns a
// thread that is not joinable when none could be started.
std::jthread StartTerminateWatch(HANDLE terminate_event, HANDLE stop_event, HWND window, UINT message);

// What the update check runs on its thread: CheckForUpdate (UpdateCheck_win.h), or
// a stand-in in tests.
using UpdateCheckFunction = std::function<std::optional<std::u16string>(HANDLE stop_event)>;

// Runs check on a thread of its own and posts an UpdateResult to window with
// message when it returns a text and stop_event (which must outlive the
// thread) is not set. Returns a thread that is not joinable when none could
// be started.
std::jthread StartUpdateCheckWorker(UpdateCheckFunction check, HANDLE stop_event, HWND window, UINT message);

}  // namespace hivemend
