// The window's merge command: what "Merge checked changes into registry" does,
// run on a worker thread that the window owns, so that the window keeps
// answering while rows are written.
//
// The worker runs RunMerge (Merge.h). What it must ask or show (the rows the
// account may not write, the confirmation, the outcome) and the removal of the
// merged rows from the store are done on the window's thread: the worker hands
// each to the window through a WindowWakeUp (PostToWindow_win.h) and waits until
// the window has done it. The window calls OnWake when the message arrives.
// While the worker runs, the window changes nothing in the store (its loads
// keep their rows back) and reads the progress text a few times a second.
#pragma once

#include <windows.h>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "app/PostToWindow_win.h"
#include "engine/EntryStore.h"
#include "merge/Merge.h"
#include "msgbox/MessageBoxParams.h"
#include "platform/Registry.h"

namespace hivemend {

struct MergeCommandOptions {
  HWND owner = nullptr;  // owns every box; receives the worker's wake-ups
  UINT message = 0;      // the wake-up's message id
  // The outcome is shown by the program's message box with these settings
  // (none: its defaults); the question and error boxes are the platform's.
  const MessageBoxParams* params = nullptr;
  // Rows the account may not write are named first; offer_restart adds the
  // choice to start again as administrator (result.restart), the caller's to do.
  bool offer_restart = false;
  // Where the undo file and the error log go.
  std::function<std::u16string()> history_folder;
  // The outcome's "Show in folder": shows the undo file where it lies. Empty:
  // the file browser (ShowInFolder).
  std::function<void(HWND owner, const std::u16string& file)> show_in_folder;
  // Asked instead of the usual confirmation (Yes and No); empty: the usual.
  std::u16string confirm_text;
};

// The outcome after a merge that saved its undo file: its first text, then
// MergeOutcomeDetails; beside OK (which Escape and the close box press too) a
// button that shows the undo file in its folder and leaves the box open.
inline constexpr std::u16string_view kShowInFolderText = u"Show in folder";

// "Merging row N of M" (and the undo step's text before it).
inline constexpr std::u16string_view kMergingFormat = u"Merging row %s of %s";
inline constexpr std::u16string_view kRecordingUndoFormat = u"Reading row %s of %s for the undo file";
inline constexpr std::u16string_view kCancelMergeText = u"Cancel merging";

class MergeWorker {
 public:
  // Starts the merge of store's checked rows into registry; both must outlive
  // the worker. Null when no thread could be started.
  static std::unique_ptr<MergeWorker> Start(const MergeCommandOptions& options, EntryStore& store,
                                            Registry& registry);
  // Stops the merge between two rows, releases a question that waits (it is
  // answered No), and joins the worker.
  ~MergeWorker();
  MergeWorker(const MergeWorker&) = delete;
  MergeWorker& operator=(const MergeWorker&) = delete;

  // On the window's thread, when the wake-up arrives: does what the worker
  // waits for. True once the merge has ended (result() holds its outcome).
  bool OnWake();
  // Stops the merge at the next row; what was written stays written (the
  // undo file, saved before the first write, takes it back).
  void Cancel() { cancel_.store(true, std::memory_order_release); }
  // The progress as the status bar shows it; empty before the first row.
  std::u16string ProgressText() const;
  bool ended() const { return ended_.load(std::memory_order_acquire); }
  const MergeResult& result() const { return result_; }

 private:
  class Ui;
  MergeWorker(const MergeCommandOptions& options) : options_(options), wake_(options.owner, options.message) {}
  // Worker side: has task run on the window's thread; false when the window
  // has let go of the worker (the task did not run).
  bool OnWindowThread(std::function<void()> task);

  MergeCommandOptions options_;
  EntryStore* store_ = nullptr;  // read on the window's thread only
  WindowWakeUp wake_;
  std::mutex mutex_;
  std::condition_variable done_;
  std::function<void()> task_;  // waits to be run by the window; guarded by mutex_
  bool released_ = false;       // the window lets go: tasks are not run; guarded by mutex_
  std::atomic<bool> cancel_{false};
  std::atomic<bool> ended_{false};
  std::atomic<int> step_{-1};  // MergeStep, -1 before the first row
  std::atomic<size_t> done_rows_{0};
  std::atomic<size_t> total_rows_{0};
  MergeResult result_;  // written by the worker before ended_
  std::jthread thread_;  // last: joined before the rest goes
};

// The whole command on the calling thread's window owner: starts the worker
// and runs a message loop until it ends. For tests.
MergeResult RunMergeCommand(HWND owner, EntryStore& store, Registry& registry,
                            const std::function<std::u16string()>& history_folder,
                            const MessageBoxParams* params, bool offer_restart = false);

}  // namespace hivemend
