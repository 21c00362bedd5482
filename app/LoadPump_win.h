// The window's side of its loads: starts LoadWorker threads and applies what
// they hand over (LoadWorker_win.h) on the window's thread, a turn at a time so
// that the window keeps answering: rows into the list, texts into the status
// bar, error messages in boxes, and the end of each load. User-interface
// thread only.
#pragma once

#include <windows.h>

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "app/ChangeList_win.h"
#include "app/LoadWorker_win.h"
#include "app/StatusBar_win.h"

namespace hivemend {

class LoadPump {
 public:
  struct Hooks {
    std::function<void()> checks_changed;  // rows were checked by line
    std::function<void()> counts_changed;  // the list's counts are to be shown
    std::function<void(const std::u16string&)> show_error;
    std::function<void(bool cancelled)> load_ended;  // after the load's texts
  };
  // message: the channel's wake-up; continue_timer: the timer id of the next
  // turn; turn_ms: how long one turn may last.
  LoadPump(HWND window, UINT message, UINT_PTR continue_timer, unsigned turn_ms, ChangeList& list,
           StatusBar& status, Hooks hooks);
  LoadPump(const LoadPump&) = delete;
  LoadPump& operator=(const LoadPump&) = delete;

  // Starts a load of path; its rows on the given line numbers (ascending), or
  // with check_all all its rows, are checked as they arrive. Cancellable loads
  // enable "Cancel loading ...".
  void Start(Registry* registry, std::u16string path, bool cancellable, std::vector<std::uint32_t> checked_lines = {},
             bool check_all = false);
  // The wake-up and the continue timer: applies a turn's operations.
  void Take();
  void RequestCancel() { channel_->RequestCancel(); }
  // The rows of the loads that run are dropped; they stop at their next line.
  void DropRunning();
  // While held (a merge runs), operations wait in the channel.
  void Hold(bool held);
  // The window is going: no more operations, every worker stopped and joined.
  void Close();
  int running() const { return running_; }

 private:
  void ContinueLater();
  void LoadEnded();
  void ApplyEnd(const LoadOperation& op);

  HWND window_;
  UINT message_;
  UINT_PTR continue_timer_;
  unsigned turn_ms_;
  ChangeList& list_;
  StatusBar& status_;
  Hooks hooks_;
  std::shared_ptr<LoadChannel> channel_;
  std::deque<LoadOperation> operations_;  // taken from the channel, not yet applied
  int running_ = 0;
  int holds_ = 0;
  bool closed_ = false;
  bool continue_timer_set_ = false;
  bool checks_taken_ = false;          // rows were checked by line since the last load ended
  std::uint32_t next_load_ = 1;        // the number of the next load
  std::uint32_t first_kept_load_ = 1;  // rows of loads below this number are dropped
  // Loads whose rows are checked by line number: load number, then the lines.
  std::unordered_map<std::uint32_t, std::vector<std::uint32_t>> checked_lines_;
  std::unordered_set<std::uint32_t> check_all_;  // loads whose every row is checked
  LoadWorkers loads_;  // last: joined before the rest goes
};

}  // namespace hivemend
