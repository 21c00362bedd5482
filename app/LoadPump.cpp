#include "app/LoadPump_win.h"

#include <algorithm>
#include <chrono>
#include <utility>

#include "resources/resource.h"

namespace hivemend {

LoadPump::LoadPump(HWND window, UINT message, UINT_PTR continue_timer, unsigned turn_ms, ChangeList& list,
                   StatusBar& status, Hooks hooks)
    : window_(window),
      message_(message),
      continue_timer_(continue_timer),
      turn_ms_(turn_ms),
      list_(list),
      status_(status),
      hooks_(std::move(hooks)),
      channel_(std::make_shared<LoadChannel>(window, message)) {}

void LoadPump::Start(Registry* registry, std::u16string path, bool cancellable, std::vector<std::uint32_t> lines,
                     bool check_all) {
  if (cancellable) EnableWindow(GetDlgItem(window_, IDC_CANCEL_LOAD), TRUE);
  if (!lines.empty()) checked_lines_[next_load_] = std::move(lines);
  if (check_all) check_all_.insert(next_load_);
  ++running_;
  if (!loads_.Start(channel_, registry, std::move(path), next_load_++)) LoadEnded();  // as if it had ended at once
}

void LoadPump::DropRunning() {
  first_kept_load_ = next_load_;
  loads_.RequestStopAll();
}

void LoadPump::Hold(bool held) {
  holds_ += held ? 1 : -1;
  if (holds_ == 0) Take();
}

void LoadPump::Close() {
  closed_ = true;
  channel_->Close();
  loads_.StopAndJoin();
  operations_.clear();
}

// A load has ended. A cancel press that came after its last check is dropped
// when no other load runs, so that it cannot stop the next load.
void LoadPump::LoadEnded() {
  EnableWindow(GetDlgItem(window_, IDC_CANCEL_LOAD), FALSE);
  if (running_ > 0) --running_;
  if (running_ == 0) channel_->DropCancelRequest();
}

// Applies the operations of running loads in their order, one turn at a time.
void LoadPump::Take() {
  if (continue_timer_set_) {
    KillTimer(window_, continue_timer_);
    continue_timer_set_ = false;
  }
  // While held the operations wait in the channel (which holds the worker
  // back once enough are waiting).
  if (holds_ > 0 || closed_) return;
  // A turn lasts about turn_ms_; the rest waits for the next turn, so that
  // the window keeps answering during a load.
  const auto turn_start = std::chrono::steady_clock::now();
  const auto turn_end = turn_start + std::chrono::milliseconds(turn_ms_);
  unsigned since_clock_read = 0;
  // One operation at a time from the front: an error message box runs a
  // message loop that may come back here, and the order must hold.
  while (!closed_ && holds_ == 0) {
    if (operations_.empty()) {
      for (LoadOperation& op : channel_->Take()) operations_.push_back(std::move(op));
      if (operations_.empty()) break;
    }
    if (++since_clock_read == 64) {
      since_clock_read = 0;
      if (std::chrono::steady_clock::now() >= turn_end) {
        ContinueLater();
        break;
      }
    }
    LoadOperation op = std::move(operations_.front());
    operations_.pop_front();
    // A load whose rows were replaced only ends: its rows, texts and errors
    // are dropped.
    const bool dropped = op.load < first_kept_load_;
    if (auto* row = std::get_if<LoadOperation::Row>(&op.what)) {
      if (dropped) continue;
      const auto lines = checked_lines_.find(op.load);
      const bool all = check_all_.contains(op.load);
      if (lines == checked_lines_.end() && !all) {  // the usual case: no rows to check
        list_.AddRow(std::move(row->entry));
        continue;
      }
      const std::uint32_t line = row->entry.line();
      const size_t index = list_.AddRow(std::move(row->entry));
      if (all || std::binary_search(lines->second.begin(), lines->second.end(), line)) {
        list_.store().at(index).checked = true;
        checks_taken_ = true;
      }
    } else if (auto* status = std::get_if<LoadOperation::Status>(&op.what)) {
      if (dropped) continue;
      // Showing new rows starts a turn of its own, so that its cost and a
      // turn's never add up before the window answers again.
      if (list_.NewRowsDue() && std::chrono::steady_clock::now() - turn_start >= std::chrono::milliseconds(2)) {
        operations_.push_front(std::move(op));
        ContinueLater();
        break;
      }
      // Progress texts may run up to one show interval ahead of the rows.
      list_.ShowNewRows(false);
      // Once every load has ended the counts describe the whole list.
      // A load's part 2 (the lines it could not read) is the bar's last part.
      status_.SetHeld(status->part == 2 ? StatusBar::kRefusedLines : status->part,
                      status->part == StatusBar::kCounts && running_ == 0 ? list_.Counts().Text() : status->text,
                      running_ > 0);
    } else if (auto* error = std::get_if<LoadOperation::Error>(&op.what); error && dropped) {
      channel_->ErrorShown(*error->ticket);
    } else if (error) {
      list_.ShowNewRows(true);
      status_.ShowHeld();
      hooks_.show_error(error->text);
      channel_->ErrorShown(*error->ticket);
      ContinueLater();  // the box's own message loop may have taken this turn's place
      break;
    } else {
      ApplyEnd(op);
    }
  }
}

void LoadPump::ApplyEnd(const LoadOperation& op) {
  const auto& ended = std::get<LoadOperation::Ended>(op.what);
  LoadEnded();
  check_all_.erase(op.load);
  if (op.load < first_kept_load_) return;
  // The completion texts that follow find every row of the load shown.
  list_.ShowNewRows(true);
  list_.ApplyRememberedSort();
  checked_lines_.erase(op.load);
  if (checks_taken_) hooks_.checks_changed();
  checks_taken_ = false;
  status_.ShowHeld();
  // The counts come with the completion texts; a load that ended without
  // them shows the list's counts now.
  if (running_ == 0 && !ended.completes) hooks_.counts_changed();
  hooks_.load_ended(ended.cancelled);
}

// Posted messages come before input and painting: while either waits, the next
// turn comes as a timer message, which comes after both.
void LoadPump::ContinueLater() {
  if (HIWORD(GetQueueStatus(QS_INPUT | QS_PAINT)) != 0 || !PostMessageW(window_, message_, 0, 0))
    continue_timer_set_ = SetTimer(window_, continue_timer_, USER_TIMER_MINIMUM, nullptr) != 0;
}

}  // namespace hivemend
