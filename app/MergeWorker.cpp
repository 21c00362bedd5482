#include "app/MergeWorker_win.h"

#include <algorithm>
#include <exception>
#include <string>
#include <system_error>
#include <utility>

#include "engine/RowFilter.h"
#include "msgbox/AppMessageBox_win.h"
#include "platform/ShowInFolder.h"
#include "platform/Text.h"
#include "platform/WinString.h"

namespace hivemend {
namespace {

constexpr wchar_t kCaption[] = L"Hivemend";
// The wake-up of RunMergeCommand's own loop.
constexpr UINT kRunMergeMessage = WM_APP + 0x30;

// One box: the rows, then the question its buttons answer.
UnwritableChoice AskForUnwritable(HWND owner, const MessageBoxParams* base, bool offer_restart,
                                  std::u16string message, bool others) {
  std::u16string_view buttons;
  if (offer_restart && others) {
    message += u"\r\nRestart Hivemend as administrator with the same files and the same rows checked, or merge only "
               u"the rows this account may change?";
    buttons = u"Restart as administrator\nMerge the others\nCancel";
  } else if (offer_restart) {
    message += u"\r\nRestart Hivemend as administrator with the same files and the same rows checked?";
    buttons = u"Restart as administrator\nCancel";
  } else if (others) {
    message += u"\r\nMerge only the rows this account may change?";
    buttons = u"Merge the others\nCancel";
  } else {
    message += u"\r\nNothing was changed.";
  }
  MessageBoxParams params = base ? *base : MessageBoxParams{};
  std::copy(buttons.begin(), buttons.end(), params.custom_buttons);
  params.custom_buttons[buttons.size()] = u'\0';
  const int answer = AppMessageBox(owner, AsWide(message), kCaption,
                                   (buttons.empty() ? MB_OK : 0) | MB_ICONEXCLAMATION, &params) & 0xFFFF;
  if (buttons.empty()) return UnwritableChoice::Cancel;
  if (answer == AMB_ID_CUSTOM1) return offer_restart ? UnwritableChoice::Restart : UnwritableChoice::MergeOthers;
  if (answer == AMB_ID_CUSTOM2 && offer_restart && others) return UnwritableChoice::MergeOthers;
  return UnwritableChoice::Cancel;
}

void ShowMergeMessage(HWND owner, const MessageBoxParams* params, MergeMessage kind, const std::u16string& text) {
  switch (kind) {
    case MergeMessage::NoValues:
    case MergeMessage::UndoFileFailed:
    case MergeMessage::ErrorLogFailed:
      MessageBoxW(owner, AsWide(text), kCaption, MB_OK | MB_ICONERROR);
      break;
    case MergeMessage::Success:
    case MergeMessage::Cancelled:
      AppMessageBox(owner, AsWide(text), kCaption, MB_OK | MB_ICONINFORMATION, params);
      break;
    case MergeMessage::Failures:
      AppMessageBox(owner, AsWide(text), kCaption, MB_OK | MB_ICONEXCLAMATION, params);
      break;
  }
}

// The outcome with the rows merged and the files' names. "Show in folder" is
// the box's Report button, which leaves the box open; its callback takes no
// pointer, so the file it shows is the one of the outcome this thread shows.
struct OutcomeFile {
  const MergeCommandOptions* options;
  const std::u16string* path;
};
thread_local const OutcomeFile* t_outcome_file = nullptr;

void ShowOutcomeFile(const char16_t* /*text*/, std::uint32_t /*data*/) {
  if (!t_outcome_file) return;
  const MergeCommandOptions& o = *t_outcome_file->options;
  if (o.show_in_folder) o.show_in_folder(o.owner, *t_outcome_file->path);
  else (void)ShowInFolder(*t_outcome_file->path, o.owner);
}

void ShowMergeOutcome(const MergeCommandOptions& o, MergeMessage kind, const std::u16string& text,
                      const MergeResult& result) {
  MessageBoxParams params = o.params ? *o.params : MessageBoxParams{};
  std::copy(kShowInFolderText.begin(), kShowInFolderText.end(), params.report_caption);
  params.report_caption[kShowInFolderText.size()] = u'\0';
  params.report_caption_id = 0;
  params.report_callback = ShowOutcomeFile;
  const OutcomeFile file{&o, &result.undo_path};
  const OutcomeFile* outer = std::exchange(t_outcome_file, &file);
  const UINT icon = kind == MergeMessage::Failures ? MB_ICONEXCLAMATION : MB_ICONINFORMATION;
  AppMessageBox(o.owner, AsWide(text + u"\r\n\r\n" + MergeOutcomeDetails(result)), kCaption, MB_OK | icon, &params);
  t_outcome_file = outer;
}

}  // namespace

// MergeUi of the worker: every box and every change of the rows on the
// window's thread. An answer lives in a shared block: a window that lets go
// of the worker while a box is open leaves the box's answer nowhere else.
class MergeWorker::Ui final : public MergeUi {
 public:
  explicit Ui(MergeWorker& worker) : w_(worker) {}

  UnwritableChoice ChooseForUnwritable(std::u16string_view text, bool others) override {
    auto answer = std::make_shared<UnwritableChoice>(UnwritableChoice::Cancel);
    const MergeCommandOptions& o = w_.options_;
    w_.OnWindowThread([answer, &o, message = std::u16string(text), others] {
      *answer = AskForUnwritable(o.owner, o.params, o.offer_restart, message, others);
    });
    return *answer;
  }
  // The question says how many checked rows the list's filter hides.
  bool Confirm(std::u16string_view text) override {
    auto yes = std::make_shared<bool>(false);
    const HWND owner = w_.options_.owner;
    EntryStore* store = w_.store_;
    const std::u16string& own = w_.options_.confirm_text;
    w_.OnWindowThread([yes, owner, store, question = std::u16string(own.empty() ? text : own)] {
      const std::u16string full = question + HiddenCheckedText(*store);
      *yes = MessageBoxW(owner, AsWide(full), kCaption, MB_YESNO | MB_ICONQUESTION) == IDYES;
    });
    return *yes;
  }
  void Show(MergeMessage kind, std::u16string_view text) override {
    const HWND owner = w_.options_.owner;
    const MessageBoxParams* params = w_.options_.params;
    w_.OnWindowThread([owner, params, kind, message = std::u16string(text)] {
      ShowMergeMessage(owner, params, kind, message);
    });
  }
  void ShowOutcome(MergeMessage kind, std::u16string_view text, const MergeResult& result) override {
    // Copies: a window that goes while the box is open lets go of the worker,
    // whose options and result may be gone when the box returns.
    w_.OnWindowThread([o = w_.options_, kind, message = std::u16string(text), result] {
      ShowMergeOutcome(o, kind, message, result);
    });
  }
  bool Progress(MergeStep step, size_t done, size_t total) override {
    w_.total_rows_.store(total, std::memory_order_relaxed);
    w_.done_rows_.store(done, std::memory_order_relaxed);
    w_.step_.store(static_cast<int>(step), std::memory_order_release);
    return !w_.cancel_.load(std::memory_order_acquire);
  }
  void ChangeRows(const std::function<void()>& change) override { w_.OnWindowThread(change); }

 private:
  MergeWorker& w_;
};

std::unique_ptr<MergeWorker> MergeWorker::Start(const MergeCommandOptions& options, EntryStore& store,
                                                Registry& registry) {
  std::unique_ptr<MergeWorker> worker(new MergeWorker(options));
  MergeWorker* self = worker.get();
  self->store_ = &store;
  try {
    worker->thread_ = std::jthread([self, &store, &registry] {
      Ui ui(*self);
      try {
        self->result_ = RunMerge(store, registry, ui, self->options_.history_folder);
      } catch (const std::exception&) {
        // Only running out of memory gets here: the merge ends as it stands.
      }
      self->ended_.store(true, std::memory_order_release);
      self->wake_.Wake();
    });
  } catch (const std::system_error&) {
    return nullptr;
  }
  return worker;
}

MergeWorker::~MergeWorker() {
  Cancel();
  {
    std::lock_guard lock(mutex_);
    released_ = true;
  }
  done_.notify_all();
  if (thread_.joinable()) thread_.join();
}

bool MergeWorker::OnWindowThread(std::function<void()> task) {
  std::unique_lock lock(mutex_);
  if (released_) return false;
  task_ = std::move(task);
  wake_.Wake();
  done_.wait(lock, [&] { return !task_ || released_; });
  const bool ran = !task_;
  task_ = nullptr;
  return ran;
}

bool MergeWorker::OnWake() {
  wake_.Taken();
  std::function<void()> task;
  {
    std::lock_guard lock(mutex_);
    if (task_ && !released_) task = task_;  // stays set until it has run: the worker waits for it
  }
  if (task) {
    task();
    {
      std::lock_guard lock(mutex_);
      task_ = nullptr;
    }
    done_.notify_all();
    return false;
  }
  return ended();
}

std::u16string MergeWorker::ProgressText() const {
  const int step = step_.load(std::memory_order_acquire);
  if (step < 0) return {};
  const size_t total = total_rows_.load(std::memory_order_relaxed);
  const size_t row = std::min(done_rows_.load(std::memory_order_relaxed) + 1, total);
  return FormatMessageText(step == static_cast<int>(MergeStep::Writing) ? kMergingFormat : kRecordingUndoFormat,
                           {Decimal(row), Decimal(total)});
}

MergeResult RunMergeCommand(HWND owner, EntryStore& store, Registry& registry,
                            const std::function<std::u16string()>& history_folder,
                            const MessageBoxParams* params, bool offer_restart) {
  const MergeCommandOptions options{owner, kRunMergeMessage, params, offer_restart, history_folder, {}, {}};
  const std::unique_ptr<MergeWorker> worker = MergeWorker::Start(options, store, registry);
  if (!worker) return {};
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    if (message.hwnd == owner && message.message == kRunMergeMessage) {
      if (worker->OnWake()) break;
      continue;
    }
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return worker->result();
}

}  // namespace hivemend
