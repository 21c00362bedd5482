#include "app/MainWindow_win.h"

#include <commctrl.h>
#include <shellapi.h>

#include "app/ListRules.h"
#include "msgbox/AppMessageBox_win.h"
#include "platform/Event_win.h"
#include "platform/File.h"
#include "platform/Text.h"
#include "resources/resource.h"
#include "update/UpdateCheck_win.h"

namespace hivemend {
namespace {

constexpr UINT kRepaintMs = 100;  // rows of running loads are shown on this tick
// The size of dialog 129's client area in dialog units (hivemend.rc).
constexpr int kMainTemplateWidth = 761;
constexpr int kMainTemplateHeight = 345;
// Marks the main window of every copy, so that a new copy can find the others.
constexpr wchar_t kMainWindowProperty[] = L"Hivemend.MainWindow";

// The dialog manager offers every message of its loop to this thread's
// message filter first: the window's keys are taken there.
thread_local MainWindow* t_key_window = nullptr;
LRESULT CALLBACK KeyFilter(int code, WPARAM wparam, LPARAM lparam) {
  if (code == MSGF_DIALOGBOX && t_key_window && t_key_window->OnKey(*reinterpret_cast<const MSG*>(lparam)))
    return TRUE;
  return CallNextHookEx(nullptr, code, wparam, lparam);
}

}  // namespace

INT_PTR MainWindow::Attach(HWND window) {
  window_ = window;
  const HINSTANCE instance = GetModuleHandleW(nullptr);
  for (const auto& [which, size] : {std::pair{ICON_BIG, 0}, std::pair{ICON_SMALL, GetSystemMetrics(SM_CXSMICON)}})
    SendMessageW(window_, WM_SETICON, which,
                 reinterpret_cast<LPARAM>(LoadImageW(instance, MAKEINTRESOURCEW(IDI_HIVEMEND), IMAGE_ICON, size,
                                                     size, size == 0 ? LR_DEFAULTSIZE | LR_SHARED : LR_SHARED)));
  // The menu bar takes its height from the client area: grow the window by it
  // so that the template's layout keeps its room.
  RECT before{}, after{}, frame{};
  GetClientRect(window_, &before);
  SetMenu(window_, LoadMenuW(instance, MAKEINTRESOURCEW(IDR_MAINMENU)));
  GetClientRect(window_, &after);
  GetWindowRect(window_, &frame);
  const int grow = (before.bottom - before.top) - (after.bottom - after.top);
  if (grow > 0)
    SetWindowPos(window_, nullptr, frame.left, frame.top - grow / 2, frame.right - frame.left,
                 frame.bottom - frame.top + grow, SWP_NOZORDER | SWP_NOACTIVATE);

  list_.Attach(GetDlgItem(window_, IDC_CHANGE_LIST));
  t_key_window = this;
  key_hook_ = SetWindowsHookExW(WH_MSGFILTER, KeyFilter, nullptr, GetCurrentThreadId());
  combo_ = GetDlgItem(window_, IDC_CHECK_RULE);
  for (const wchar_t* rule : {L"Changed", L"Missing", L"All", L"None", L"Invert"})
    SendMessageW(combo_, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(rule));
  SendMessageW(combo_, CB_SETCUEBANNER, 0, reinterpret_cast<LPARAM>(L"Choose..."));
  status_.Create(window_);
  list_.set_on_checks_changed([this] { UpdateCheckedCount(); });
  AttachFrame();
  EnableWindow(GetDlgItem(window_, IDC_CANCEL_LOAD), FALSE);
  loads_ = std::make_unique<LoadPump>(
      window_, kLoadChannelMessage, kContinueTimer, options_.load_turn_ms, list_, status_,
      LoadPump::Hooks{[this] { UpdateCheckedCount(); }, [this] { UpdateCounts(); },
                      [this](const std::u16string& text) { ShowErrorBox(window_, text); },
                      [this](bool cancelled) { LoadEnded(cancelled); }});
  filter_.Attach(window_, list_, status_, [this](bool hold) { loads_->Hold(hold); });
  DragAcceptFiles(window_, TRUE);

  std::vector<std::vector<std::uint32_t>> checked_lines = TakeCheckedLines();
  for (size_t i = 0; i < options_.startup_arguments.size(); ++i) {
    const std::u16string path(TrimSpace(options_.startup_arguments[i]));
    if (path.empty() || KindOfPath(path) == PathKind::Missing) continue;
    files_.push_back(path);
    StartLoad(path, false, i < checked_lines.size() ? std::move(checked_lines[i]) : std::vector<std::uint32_t>{});
  }

  stop_threads_ = NewEvent(EventReset::Manual);
  update_check_ = StartUpdateCheckWorker(options_.check_for_update ? options_.check_for_update : CheckForUpdate,
                                         stop_threads_.get(), window_, kUpdateResultMessage);
  terminate_watch_ = StartTerminateWatch(options_.terminate_event, stop_threads_.get(), window_, kTerminateMessage);
  SetTimer(window_, kRepaintTimer, kRepaintMs, nullptr);
  UpdateTitle();
  UpdateCheckedCount();
  // The keyboard starts where the work does: on the list once it fills, else
  // on the button that fills it.
  SetFocus(files_.empty() ? GetDlgItem(window_, IDC_LOAD) : list_.handle());
  return FALSE;
}

// The rows a restarted copy is to check, by file: read from the file that the
// copy before wrote, which is removed.
std::vector<std::vector<std::uint32_t>> MainWindow::TakeCheckedLines() {
  std::vector<std::vector<std::uint32_t>> lines;
  if (options_.checked_lines_file.empty()) return lines;
  {
    ReadOnlyFile file;
    std::u16string raw;
    size_t bytes = 0;
    if (file.Open(options_.checked_lines_file) == FileReadStatus::Ok &&
        file.ReadAll(raw, &bytes) == FileReadStatus::Ok && bytes % 2 == 0 && raw.starts_with(u'\xFEFF')) {
      if (auto parsed = ParseCheckedLines(std::u16string_view(raw).substr(1))) lines = std::move(*parsed);
    }
  }  // closed before it is removed
  (void)RemoveFile(options_.checked_lines_file);
  return lines;
}

// The list grows with the window; the merge button keeps to the bottom right
// corner, the filter's status choice to the top right, and its box between
// them grows with the width; the rest keeps to the top left.
void MainWindow::AttachFrame() {
  frame_.Attach(window_, {kMainTemplateWidth, kMainTemplateHeight},
                {{IDC_CHANGE_LIST, kAnchorAll},
                 {IDC_MERGE, kAnchorBottomRight},
                 {IDC_LOAD, kAnchorTopLeft},
                 {IDC_CANCEL_LOAD, kAnchorTopLeft},
                 {IDC_CLEAR_ALL, kAnchorTopLeft},
                 {IDC_CHECK_RULE, kAnchorTopLeft},
                 {IDC_APPLY, kAnchorTopLeft},
                 {IDC_FILTER_TEXT, kAnchorTopLeft | kAnchorRight},
                 {IDC_FILTER_STATUS, kAnchorTop | kAnchorRight}},
                status_.handle(), list_.handle());
  frame_.FitToWorkArea();
  if (Registry* registry = this->registry()) {
    const SavedLayout saved = LoadSavedLayout(*registry, options_.layout_key);
    frame_.Restore(saved);
    last_folder_ = saved.last_folder;
    if (saved.sort_column >= 0) list_.SetSort(saved.sort_column, saved.sort_ascending);
  }
  status_.Layout(static_cast<int>(frame_.dpi()));
  // A second copy opens below and right of the first, not on top of it.
  SetPropW(window_, kMainWindowProperty, reinterpret_cast<HANDLE>(1));
  frame_.MoveOffOthers(kMainWindowProperty);
}

// Failing to remember the layout costs the user nothing but the layout.
void MainWindow::SaveLayout() {
  Registry* registry = this->registry();
  if (!registry) return;
  SavedLayout layout = frame_.Capture();
  layout.last_folder = last_folder_;
  layout.sort_column = list_.sort_column();
  layout.sort_ascending = list_.sort_ascending();
  (void)StoreSavedLayout(*registry, layout, options_.layout_key);
}

// The prompt comes once per window, as soon as the check has a result.
void MainWindow::OnUpdateResult(WPARAM tag, LPARAM payload) {
  const std::optional<UpdateResult> result = TakePayload<UpdateResult>(window_, tag, payload);
  if (!result || update_prompt_handled_ || ending_) return;
  update_prompt_handled_ = true;
  if (!RunUpdatePrompt(window_, result->latest_version) || ending_) return;
  InstallFunction install = options_.install_update;
  if (!install) {
    install = [offered = result->latest_version](HANDLE stop, DownloadProgress progress) {
      return InstallUpdate(offered, stop, std::move(progress));
    };
  }
  update_download_ = UpdateDownload::Start(window_, kUpdateDoneMessage, std::move(install));
}

// The download has ended: one message says how, unless the user cancelled it.
void MainWindow::OnUpdateDone(WPARAM tag, LPARAM payload) {
  const std::optional<UpdateDownloadDone> done = TakePayload<UpdateDownloadDone>(window_, tag, payload);
  if (!done) return;
  update_download_.reset();
  const std::u16string message = InstallOutcomeMessage(done->result);
  const UINT icon = done->result.outcome == InstallOutcome::Started ? MB_ICONINFORMATION : MB_ICONEXCLAMATION;
  if (!message.empty() && !ending_)
    AppMessageBox(window_, AsWide(message), L"Hivemend Update", MB_OK | icon, options_.message_box_params);
}

// Another copy asked this one to close: end with 0, and close the dialogs and
// message boxes that this window owns, whose own loops would hold it open. A
// question that cannot be cancelled (Yes/No) is answered No, which changes
// nothing: no merge, no update. A download or merge that runs is stopped.
void MainWindow::EndOnRequest() {
  ending_ = true;
  if (update_download_) update_download_->Stop();
  if (merge_) merge_->Cancel();
  EndDialog(window_, 0);
  EnumThreadWindows(
      GetCurrentThreadId(),
      [](HWND other, LPARAM owner) -> BOOL {
        if (GetWindow(other, GW_OWNER) != reinterpret_cast<HWND>(owner)) return TRUE;
        if (GetDlgItem(other, IDNO) != nullptr && GetDlgItem(other, IDCANCEL) == nullptr)
          PostMessageW(other, WM_COMMAND, IDNO, 0);
        else
          PostMessageW(other, WM_CLOSE, 0, 0);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(window_));
}

// From here on no thread reaches this window; what they posted before is freed.
void MainWindow::OnDestroy() {
  SaveLayout();
  RemovePropW(window_, kMainWindowProperty);
  if (key_hook_) UnhookWindowsHookEx(key_hook_);
  key_hook_ = nullptr;
  t_key_window = nullptr;
  StopThreads();
  DiscardPayloads<TerminateRequest>(window_, kTerminateMessage);
  DiscardPayloads<UpdateResult>(window_, kUpdateResultMessage);
  DiscardPayloads<UpdateDownloadDone>(window_, kUpdateDoneMessage);
}

// The loads' channel first, which releases a load worker that waits for the
// window; then every thread is asked to stop, and all are joined.
void MainWindow::StopThreads() {
  merge_.reset();  // stops at the next row; a question that waits is answered No
  if (loads_) loads_->Close();
  if (stop_threads_) SetEventOn(stop_threads_.get());
  if (update_download_) update_download_->Stop();
  if (update_check_.joinable()) update_check_.join();
  if (terminate_watch_.joinable()) terminate_watch_.join();
  update_download_.reset();  // joins its worker, which has deleted a partial download
}

INT_PTR CALLBACK MainDialogProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_INITDIALOG) {
    SetWindowLongPtrW(dialog, DWLP_USER, lparam);
    return reinterpret_cast<MainWindow*>(lparam)->Attach(dialog);
  }
  auto* window = reinterpret_cast<MainWindow*>(GetWindowLongPtrW(dialog, DWLP_USER));
  return window ? window->Handle(message, wparam, lparam) : FALSE;
}

}  // namespace hivemend
