// Background loads: the LoadWorker threads and the channel that carries what
// they produce to the main window.
//
// A LoadWorker thread runs the whole load (RunLoad) and hands what it produces
// (rows, status texts, error messages, the end of the load) to a LoadChannel,
// in batches. The channel wakes the window (WindowWakeUp, PostToWindow_win.h); the
// window takes the operations on its own thread and applies them in the order
// in which the workers produced them (LoadPump_win.h). Once the window closes the
// channel, workers never touch it again: their operations are dropped and a
// worker waiting for an error message is released. The window then stops its
// workers (they end at their next line) and joins them.
#pragma once

#include <windows.h>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <variant>
#include <vector>

#include "app/PostToWindow_win.h"
#include "engine/ChangeEntry.h"
#include "platform/Registry.h"
#include "platform/UniqueHandle_win.h"

namespace hivemend {

// One error message that a worker waits on until the window has shown it.
struct ErrorTicket {
  bool done = false;  // guarded by the channel's lock
};

// What a worker hands to the window, applied in order on the window's thread.
struct LoadOperation {
  struct Row {
    ChangeEntry entry;
  };
  struct Status {
    int part;
    std::u16string text;
  };
  struct Error {
    std::u16string text;
    std::shared_ptr<ErrorTicket> ticket;
  };
  struct Ended {
    bool completes = false;  // the completion texts follow
    bool cancelled = false;  // the user cancelled the load
  };
  std::variant<Row, Status, Error, Ended> what;
  std::uint32_t load = 0;  // the number the window gave the load
};

class LoadChannel {
 public:
  // message is posted to window whenever operations wait to be taken.
  LoadChannel(HWND window, UINT message);
  LoadChannel(const LoadChannel&) = delete;
  LoadChannel& operator=(const LoadChannel&) = delete;

  // Window side: a press of the cancel button sets the event.
  void RequestCancel();
  // Window side: a press that no load took is dropped (the event is reset).
  void DropCancelRequest();
  // Worker side, before every line: takes a press if one waits (which resets
  // the event). Asks the event only after a press, as waiting on it even
  // without a timeout is a round trip to the system (a slow one under Wine).
  bool TakeCancelRequest();

  // Worker side. Appends operations; waits while the window has a large
  // backlog. Returns false (and drops them) once the window has closed.
  bool Deliver(std::vector<LoadOperation>&& operations);
  // Hands an error message to the window and waits until it has been closed
  // (or the window has closed).
  void ShowErrorAndWait(std::u16string text, std::uint32_t load);
  bool closed() const;

  // Window side. Takes every waiting operation, oldest first.
  std::vector<LoadOperation> Take();
  void ErrorShown(ErrorTicket& ticket);
  // The window is going: nothing is posted to it any more.
  void Close();

 private:
  void WakeWindowLocked();

  mutable std::mutex mutex_;
  std::condition_variable changed_;
  WindowWakeUp wake_;
  ScopedHandle cancel_event_;  // CancelLoadEvent: auto-reset, outlives every worker
  std::atomic<bool> cancel_pressed_{false};  // set after every SetEvent of cancel_event_
  std::vector<LoadOperation> pending_;
  size_t pending_rows_ = 0;
  std::atomic<bool> closed_{false};  // written under mutex_, read without it
};

// The LoadWorker threads of one window. The window starts them, joins those
// that have ended as it goes, and when it closes stops and joins them all,
// after closing the channel, which releases a worker that waits for it.
class LoadWorkers {
 public:
  LoadWorkers() = default;
  LoadWorkers(const LoadWorkers&) = delete;
  LoadWorkers& operator=(const LoadWorkers&) = delete;
  ~LoadWorkers() { StopAndJoin(); }

  // Starts a worker for one file, comparing with registry, which must outlive
  // it. Returns false when the thread cannot be started.
  bool Start(std::shared_ptr<LoadChannel> channel, Registry* registry, std::u16string path, std::uint32_t load);
  // Asks every running worker to stop at its next line, as a cancelled load
  // does, without waiting: their last operations still come.
  void RequestStopAll();
  // A stopped worker ends its load at the next line, as a cancelled one does.
  void StopAndJoin();

 private:
  struct Worker {
    std::atomic<bool> ended{false};  // set as the thread's last step
    std::jthread thread;
  };
  void JoinEnded();

  std::list<Worker> workers_;  // a list: a running thread holds its Worker's address
};

}  // namespace hivemend
