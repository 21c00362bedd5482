// The installer download after the user said Yes to an update: a small window
// owned by the main window (bytes received of the total, a progress bar,
// Cancel) and a worker thread that downloads, checks and starts the installer
// while the main window stays responsive.
//
// The main window keeps at most one. The worker reaches the windows only by
// PostToWindow_win.h: its progress window by a wake-up, the main window by one
// PostPayload when it has ended; the main window
// then destroys the object, which joins the worker. Destroying it earlier
// (the main window closes) stops the download first, which deletes the
// partial file.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <thread>

#include "app/PostToWindow_win.h"
#include "platform/UniqueHandle_win.h"
#include "update/InstallUpdate_win.h"

namespace hivemend {

// Posted to the main window when the worker has ended.
struct UpdateDownloadDone {
  InstallResult result;
};

// What the worker runs: InstallUpdate (InstallUpdate_win.h), or a stand-in in
// tests. It must end soon after stop_event is set.
using InstallFunction = std::function<InstallResult(HANDLE stop_event, DownloadProgress progress)>;

class UpdateDownload {
 public:
  // Shows the progress window, owned by owner, and starts install on the
  // worker; its outcome is posted to owner with done_message. Null when the
  // window or the thread could not be made.
  static std::unique_ptr<UpdateDownload> Start(HWND owner, UINT done_message, InstallFunction install);
  // Stops the worker, joins it and destroys the progress window; on the thread
  // that called Start.
  ~UpdateDownload();
  UpdateDownload(const UpdateDownload&) = delete;
  UpdateDownload& operator=(const UpdateDownload&) = delete;

  // Asks the worker to stop, as Cancel does. Returns at once.
  void Stop();
  HWND window() const { return window_; }

 private:
  UpdateDownload() = default;
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  void OnProgressPosted();
  void Report(std::uint64_t received, std::uint64_t total);

  ScopedHandle stop_;  // manual-reset
  HWND window_ = nullptr;
  HWND text_ = nullptr;
  HWND bar_ = nullptr;
  HWND cancel_ = nullptr;
  HFONT font_ = nullptr;
  bool cancelling_ = false;  // on the window's thread
  std::atomic<std::uint64_t> received_{0};
  std::atomic<std::uint64_t> total_{0};
  std::unique_ptr<WindowWakeUp> progress_wake_;  // of the progress window
  std::jthread worker_;  // last: joined before the rest goes
};

// The progress window's text for received bytes of total (0: unknown); once
// every byte is there, that the installer is being checked.
std::u16string DownloadProgressText(std::uint64_t received, std::uint64_t total);

}  // namespace hivemend
