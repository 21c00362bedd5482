#include "app/LoadWorker_win.h"

#include <exception>
#include <system_error>
#include <thread>
#include <utility>

#include "engine/LoadPipeline.h"
#include "platform/Event_win.h"

namespace hivemend {
namespace {

// A batch goes to the window when it holds this many rows or is this old, and
// always before an error message and at the end of the load.
constexpr size_t kBatchRows = 2000;
constexpr ULONGLONG kBatchAgeMs = 150;
// A worker waits while the window has this many rows still to take.
constexpr size_t kBacklogRows = 50000;

size_t RowsIn(const std::vector<LoadOperation>& operations) {
  size_t rows = 0;
  for (const LoadOperation& op : operations) rows += std::holds_alternative<LoadOperation::Row>(op.what);
  return rows;
}

// LoadReport of the window: collects the load's operations and hands them to
// the channel in order.
class WindowLoadReport final : public LoadReport {
 public:
  WindowLoadReport(std::stop_token stop, std::shared_ptr<LoadChannel> channel, std::uint32_t load)
      : stop_(std::move(stop)), channel_(std::move(channel)), load_(load) {}

  void AddEntry(ChangeEntry&& entry) override {
    batch_.push_back({LoadOperation::Row{std::move(entry)}, load_});
    ++batch_rows_;
    FlushIfDue();
  }
  void SetStatusText(int part, const std::u16string& text) override {
    batch_.push_back({LoadOperation::Status{part, text}, load_});
    FlushIfDue();
  }
  void ShowError(const std::u16string& text) override {
    Flush();
    channel_->ShowErrorAndWait(text, load_);
  }
  // Tests CancelLoadEvent without waiting (which also resets it). A window
  // that closes stops the load without touching the event.
  bool CancelRequested() override {
    if (stop_.stop_requested() || channel_->closed()) return true;
    cancelled_ = cancelled_ || channel_->TakeCancelRequest();
    return cancelled_;
  }
  void LoadEnded() override {
    batch_.push_back({LoadOperation::Ended{false, cancelled_}, load_});
    ended_ = true;
  }

  // After a failure that RunLoad did not report (out of memory): the load
  // still ends, so that the button is disabled.
  void EndIfNotEnded() {
    if (!ended_) LoadEnded();
  }
  void Flush() {
    if (batch_.empty()) return;
    std::vector<LoadOperation> batch;
    batch.swap(batch_);
    bool after_end = false;
    for (auto op = batch.rbegin(); op != batch.rend(); ++op) {
      op->load = load_;
      if (std::holds_alternative<LoadOperation::Status>(op->what)) after_end = true;
      if (auto* ended = std::get_if<LoadOperation::Ended>(&op->what)) ended->completes = after_end;
    }
    batch_rows_ = 0;
    channel_->Deliver(std::move(batch));
    last_flush_ = GetTickCount64();
  }

 private:
  void FlushIfDue() {
    // The end of the load goes with the texts after it, in one batch.
    if (ended_) return;
    // The tick count is read from memory the system keeps up to date; a
    // precise clock costs a call into the system (under Wine, per row).
    if (batch_rows_ >= kBatchRows || GetTickCount64() - last_flush_ >= kBatchAgeMs) Flush();
  }

  std::stop_token stop_;
  std::shared_ptr<LoadChannel> channel_;
  std::uint32_t load_;
  std::vector<LoadOperation> batch_;
  size_t batch_rows_ = 0;
  bool ended_ = false;
  bool cancelled_ = false;
  ULONGLONG last_flush_ = GetTickCount64();
};

void LoadWorker(std::stop_token stop, std::shared_ptr<LoadChannel> channel, Registry* registry,
                std::u16string path, std::uint32_t load, std::atomic<bool>* ended) {
  {
    WindowLoadReport report(std::move(stop), std::move(channel), load);
    try {
      RunLoad(path, registry, report);
    } catch (const std::exception&) {
      // Only running out of memory gets here; what was listed stays listed.
      report.EndIfNotEnded();
    }
    try {
      report.Flush();
    } catch (const std::exception&) {
    }
  }
  ended->store(true, std::memory_order_release);
}

}  // namespace

LoadChannel::LoadChannel(HWND window, UINT message)
    : wake_(window, message), cancel_event_(NewEvent(EventReset::Auto)) {}

bool LoadChannel::closed() const { return closed_.load(std::memory_order_acquire); }

void LoadChannel::RequestCancel() {
  // The event first: a worker that sees the press finds the event set.
  SetEventOn(cancel_event_.get());
  cancel_pressed_.store(true, std::memory_order_release);
}

void LoadChannel::DropCancelRequest() {
  // A press between these two lines stays visible: the event is reset, so a
  // worker that looks finds nothing and goes on.
  cancel_pressed_.store(false, std::memory_order_release);
  ResetEventOn(cancel_event_.get());
}

bool LoadChannel::TakeCancelRequest() {
  if (!cancel_pressed_.exchange(false, std::memory_order_acq_rel)) return false;
  return EventIsSet(cancel_event_.get());
}

void LoadChannel::WakeWindowLocked() {
  // A failed post (a full message queue) is retried with the next delivery;
  // the window also takes operations on its repaint timer.
  if (!pending_.empty()) wake_.Wake();
}

bool LoadChannel::Deliver(std::vector<LoadOperation>&& operations) {
  const size_t rows = RowsIn(operations);
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [&] { return closed_ || pending_rows_ < kBacklogRows; });
  if (closed_) return false;
  for (LoadOperation& op : operations) pending_.push_back(std::move(op));
  pending_rows_ += rows;
  WakeWindowLocked();
  return true;
}

void LoadChannel::ShowErrorAndWait(std::u16string text, std::uint32_t load) {
  auto ticket = std::make_shared<ErrorTicket>();
  std::unique_lock lock(mutex_);
  if (closed_) return;
  LoadOperation op{LoadOperation::Error{std::move(text), ticket}, load};
  pending_.push_back(std::move(op));
  WakeWindowLocked();
  changed_.wait(lock, [&] { return closed_ || ticket->done; });
}

std::vector<LoadOperation> LoadChannel::Take() {
  std::vector<LoadOperation> taken;
  {
    std::lock_guard lock(mutex_);
    wake_.Taken();
    taken.swap(pending_);
    pending_rows_ = 0;
  }
  changed_.notify_all();
  return taken;
}

void LoadChannel::ErrorShown(ErrorTicket& ticket) {
  {
    std::lock_guard lock(mutex_);
    ticket.done = true;
  }
  changed_.notify_all();
}

void LoadChannel::Close() {
  {
    std::lock_guard lock(mutex_);
    closed_ = true;
    pending_.clear();
    pending_rows_ = 0;
  }
  changed_.notify_all();
}

bool LoadWorkers::Start(std::shared_ptr<LoadChannel> channel, Registry* registry, std::u16string path,
                        std::uint32_t load) {
  JoinEnded();
  Worker& worker = workers_.emplace_back();
  try {
    worker.thread = std::jthread(LoadWorker, std::move(channel), registry, std::move(path), load, &worker.ended);
    return true;
  } catch (const std::system_error&) {
    workers_.pop_back();
    return false;
  }
}

void LoadWorkers::JoinEnded() {
  // A worker that has set its flag has nothing left to do but return.
  workers_.remove_if([](const Worker& worker) { return worker.ended.load(std::memory_order_acquire); });
}

void LoadWorkers::RequestStopAll() {
  for (Worker& worker : workers_) worker.thread.request_stop();
}

void LoadWorkers::StopAndJoin() {
  for (Worker& worker : workers_) worker.thread.request_stop();
  workers_.clear();  // each jthread joins as it goes
}

}  // namespace hivemend
