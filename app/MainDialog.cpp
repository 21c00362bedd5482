#include "app/MainWindow_win.h"

#include <commctrl.h>
#include <shellapi.h>

#include <algorithm>
#include <memory>

#include "app/AboutDialog_win.h"
#include "app/ChangeList_win.h"
#include "app/DetailsDialog_win.h"
#include "app/FileHandler.h"
#include "app/FileHandlerCommand_win.h"
#include "app/ListInput_win.h"
#include "app/LoadPump_win.h"
#include "app/MergeWorker_win.h"
#include "app/PostToWindow_win.h"
#include "app/StatusBar_win.h"
#include "app/WindowActions_win.h"
#include "app/WindowFrame_win.h"
#include "msgbox/AppMessageBox_win.h"
#include "msgbox/SavedAnswer.h"
#include "platform/Clipboard_win.h"
#include "platform/DroppedFiles_win.h"
#include "platform/File.h"
#include "platform/Process.h"
#include "platform/Shell.h"
#include "platform/SystemText.h"
#include "platform/Text.h"
#include "platform/UniqueHandle_win.h"
#include "platform/WinString.h"
#include "resources/resource.h"
#include "update/UpdateCheck_win.h"

namespace hivemend {
namespace {

constexpr UINT kMergeProgressMs = 200;  // the merge's progress text is shown on this tick
constexpr wchar_t kMergeButtonText[] = L"Merge checked changes into registry";

// The question a load asks while the list holds rows of other files. Its text
// is fixed: a saved answer ("Do not ask me again") is found by it.
constexpr char16_t kReplaceOrAddText[] =
    u"The list holds rows of other files. Replace them with the rows of the file you load, or add its rows to "
    u"the list?";

std::u16string FileName(const std::u16string& path) {
  const size_t slash = path.find_last_of(u"\\/");
  return slash == std::u16string::npos ? path : path.substr(slash + 1);
}

std::u16string KeyPathOf(const ChangeEntry& entry) {
  std::u16string path(RootLongName(*entry.root()));
  if (!entry.key().path.empty()) path += u"\\" + entry.key().path;
  return path;
}

}  // namespace

// The command table. While a merge runs, the commands that change the rows
// wait for it: the merge reads them on its own thread.
void MainWindow::OnCommand(int id, int code) {
  if (filter_.OnCommand(id, code)) return;
  const bool merging = merge_ != nullptr;
  switch (id) {
    case IDOK:
    case IDCANCEL: EndDialog(window_, id); break;
    case IDM_EXIT: EndDialog(window_, 0); break;
    case IDM_ABOUT: ShowAboutDialog(window_); break;
    case IDC_MERGE: merging ? merge_->Cancel() : MergeCommand(); break;
    case IDC_LOAD:
    case IDM_LOAD: LoadCommand(); break;
    case IDC_CHECK_RULE:
      if (code == CBN_SELCHANGE) ApplyCommand();
      break;
    case IDC_APPLY: ApplyCommand(); break;
    case IDC_CANCEL_LOAD: loads_->RequestCancel(); break;
    case IDC_CLEAR_ALL:
      if (!merging) ClearAll();
      break;
    case IDM_RELOAD:
      if (!merging) ReloadCommand();
      break;
    case IDM_ROW_CHECK: list_.CheckSelected(true); break;
    case IDM_ROW_UNCHECK: list_.CheckSelected(false); break;
    case IDM_ROW_DETAILS: ShowDetails(); break;
    case IDM_ROW_COPY:
      if (list_.SelectedCount() > 0) CopyTextToClipboard(window_, list_.SelectedRowsText());
      break;
    case IDM_ROW_REGEDIT: OpenKeyInRegistryEditor(); break;
    case IDM_SELECT_ALL: list_.SelectAll(); break;
    case IDM_UNDO_LAST: UndoLastMergeCommand(); break;
    case IDM_UNDO_MERGE: OfferUndoMerge(); break;
    case IDM_HISTORY: HistoryCommand(); break;
    case IDM_OPEN_HISTORY: {
      const std::u16string folder = HistoryFolderPath();
      if (folder.empty()) break;
      if (options_.open_folder) options_.open_folder(window_, folder);
      else (void)OpenWithShell(folder, window_);
      break;
    }
    case IDM_SET_FILE_HANDLER:
      if (Registry* r = registry()) SetHandlerCommand(window_, *r, options_.message_box_params);
      break;
    case IDM_REMOVE_FILE_HANDLER:
      if (Registry* r = registry()) RemoveHandlerCommand(window_, *r, options_.message_box_params);
      break;
    default: break;
  }
}

// The Settings menu shows which entry is in force.
void MainWindow::OnInitMenuPopup(HMENU menu) {
  if (GetMenuState(menu, IDM_SET_FILE_HANDLER, MF_BYCOMMAND) == static_cast<UINT>(-1)) return;
  Registry* r = registry();
  const bool set = r && FileHandlerIsSet(*r);
  CheckMenuItem(menu, IDM_SET_FILE_HANDLER, MF_BYCOMMAND | (set ? MF_CHECKED : MF_UNCHECKED));
  CheckMenuItem(menu, IDM_REMOVE_FILE_HANDLER, MF_BYCOMMAND | (set ? MF_UNCHECKED : MF_CHECKED));
}

void MainWindow::LoadCommand() {
  const std::optional<std::u16string> path =
      options_.choose_file ? options_.choose_file(window_) : ChooseRegFile(window_, last_folder_);
  if (!path) return;
  const PathKind kind = KindOfPath(*path);
  if (kind == PathKind::Missing) return ShowErrorBox(window_, u"File does not appear to exist.");
  if (kind == PathKind::Folder) return ShowErrorBox(window_, u"You must select a .REG file, not a whole folder.");
  if (const size_t slash = path->find_last_of(u"\\/"); slash != std::u16string::npos)
    last_folder_ = path->substr(0, slash);
  if (PrepareLoad(*path)) StartLoad(*path, true);
}

void MainWindow::OnDropFiles(HDROP drop) {
  const std::u16string path = TakeFirstDroppedFile(drop);  // before a question: the drop's data is not needed
  if (!path.empty() && ContainsNoCase(path, u".reg") && PrepareLoad(path)) StartLoad(path, true);
}

// A new load starts with an empty status bar and the "Check:" box reset: the
// texts and the rule of the last load say nothing about it.
void MainWindow::StartLoad(const std::u16string& path, bool cancellable, std::vector<std::uint32_t> checked_lines,
                           bool check_all) {
  status_.ClearTexts();
  SendMessageW(combo_, CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
  load_cancelled_ = false;
  UpdateTitle();
  loads_->Start(registry(), path, cancellable, std::move(checked_lines), check_all);
}

bool MainWindow::PrepareLoad(const std::u16string& path) {
  const bool busy = !list_.store().empty() || loads_->running() > 0;
  bool others = false;
  for (const std::u16string& file : files_) others = others || !EqualsNoCase(file, path);
  if (!busy) {
    files_.clear();
  } else if (!others) {
    ReplaceRows();  // the same file again: its new rows replace the old
  } else {
    MessageBoxParams params = options_.message_box_params ? *options_.message_box_params : MessageBoxParams{};
    constexpr std::u16string_view kButtons = u"Replace\nAdd\nCancel";
    std::copy(kButtons.begin(), kButtons.end(), params.custom_buttons);
    params.custom_buttons[kButtons.size()] = u'\0';
    const int answer =
        AppMessageBox(window_, AsWide(kReplaceOrAddText), kMainCaption, MB_ICONQUESTION | AMB_CHECK_ASK, &params);
    switch (answer & 0xFFFF) {
      case AMB_ID_CUSTOM1: ReplaceRows(); break;
      case AMB_ID_CUSTOM2: break;
      default:
        // A Cancel is never kept as the answer: it would refuse every later load.
        if ((answer & AMB_CHECK_ASK) && SystemRegistry())
          ForgetSavedAnswer(*SystemRegistry(), params, ProgramPath(), kReplaceOrAddText);
        return false;
    }
  }
  files_.push_back(path);
  return true;
}

void MainWindow::ReplaceRows() {
  loads_->DropRunning();
  files_.clear();
  undo_load_.clear();
  if (merge_) clear_after_merge_ = true;  // the merge reads the rows: they go when it ends
  else list_.Clear();
  UpdateCounts();
  UpdateTitle();
}

void MainWindow::ClearAll() {
  const size_t checked = list_.CheckedCount();
  if (checked > 0 &&
      MessageBoxW(window_, AsWide(FormatMessageText(u"%s rows are checked. Remove every row from the list?",
                                                     {Decimal(checked)})),
                  kMainCaption, MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) != IDYES)
    return;
  list_.Clear();
  if (loads_->running() == 0) files_.clear();
  load_cancelled_ = false;
  UpdateCounts();
  status_.ClearTexts();  // the texts go with the rows they describe
  UpdateTitle();
}

// F5: the files whose rows the list holds, compared afresh.
void MainWindow::ReloadCommand() {
  const std::vector<std::u16string> files = files_;
  if (files.empty()) return;
  ReplaceRows();
  files_ = files;
  for (const std::u16string& file : files) StartLoad(file, true);
}

void MainWindow::ApplyCommand() {
  const LRESULT selected = SendMessageW(combo_, CB_GETCURSEL, 0, 0);
  if (selected == CB_ERR) return;
  const LRESULT length = SendMessageW(combo_, CB_GETLBTEXTLEN, selected, 0);
  if (length == CB_ERR || length >= 4096) return;
  wchar_t text[4096] = L"";
  SendMessageW(combo_, CB_GETLBTEXT, selected, reinterpret_cast<LPARAM>(text));
  if (const auto rule = CheckRuleFromText(AsU16(text))) list_.ApplyRule(*rule);
}

// The merge runs on its worker; the window holds its loads' rows back, keeps
// the rows as they are, and shows the progress and a Cancel in the merge button.
void MainWindow::MergeCommand(const std::u16string& confirm_text) {
  Registry* registry = this->registry();
  if (!registry) return;
  const MergeCommandOptions merge_options{window_,
                                          kMergeMessage,
                                          options_.message_box_params,
                                          options_.restart_elevated || !ProcessIsElevated(),
                                          [this] { return HistoryFolderPath(); },
                                          options_.show_in_folder,
                                          confirm_text};
  merge_ = MergeWorker::Start(merge_options, list_.store(), *registry);
  if (!merge_) return ShowErrorBox(window_, u"The merge could not be started.");
  loads_->Hold(true);
  list_.set_locked(true);
  SetDlgItemTextW(window_, IDC_MERGE, AsWide(std::u16string(kCancelMergeText)));
  EnableWindow(GetDlgItem(window_, IDC_MERGE), TRUE);
  for (int id : {IDC_CLEAR_ALL, IDC_CHECK_RULE, IDC_APPLY}) EnableWindow(GetDlgItem(window_, id), FALSE);
  SetTimer(window_, kMergeProgressTimer, kMergeProgressMs, nullptr);
}

void MainWindow::MergeEnded() {
  KillTimer(window_, kMergeProgressTimer);
  const MergeResult result = merge_->result();
  merge_.reset();
  list_.set_locked(false);
  SetDlgItemTextW(window_, IDC_MERGE, kMergeButtonText);
  for (int id : {IDC_CLEAR_ALL, IDC_CHECK_RULE, IDC_APPLY}) EnableWindow(GetDlgItem(window_, id), TRUE);
  if (clear_after_merge_) list_.Clear();
  clear_after_merge_ = false;
  list_.RefreshCount();
  // The merge's undo file stays named until the next load takes the line.
  if (result.confirmed) {
    status_.Set(StatusBar::kLine, result.undo_saved ? MergedStatusText(result)
                                  : result.cancelled ? u"Merging cancelled" : u"");
  }
  UpdateCounts();
  if (result.restart) RestartElevated();
  if (!ending_) loads_->Hold(false);
}

void MainWindow::RestartElevated() {
  const long status = RestartWithCheckedRows(
      list_.store(), files_, kCheckedSwitch, [this](const std::vector<std::u16string>& arguments) {
        return options_.restart_elevated ? options_.restart_elevated(arguments)
                                         : StartProcessElevated(ProgramPath(), arguments, window_);
      });
  if (status == 0) EndDialog(window_, 0);
  else if (status != ERROR_CANCELLED)
    ShowErrorBox(window_, u"Hivemend could not be started as administrator: " + SystemErrorText(status));
}

void MainWindow::LoadEnded(bool cancelled) {
  if (!undo_load_.empty() && (cancelled || loads_->running() == 0)) {
    if (!cancelled) PostMessageW(window_, WM_COMMAND, IDM_UNDO_MERGE, 0);  // once the load's turn is over
    else undo_load_.clear();
  }
  load_cancelled_ = load_cancelled_ || cancelled;
  if (loads_->running() == 0 && files_.size() > 0 && list_.store().empty() && !cancelled) load_cancelled_ = false;
  UpdateTitle();
}

void MainWindow::UpdateTitle() {
  std::u16string title(u"Hivemend");
  if (files_.size() == 1) title += u" - " + FileName(files_.front());
  if (files_.size() > 1) title += u" - " + Decimal(files_.size()) + u" files";
  if (load_cancelled_) title += u" (loading cancelled: not every row is listed)";
  SetWindowTextW(window_, AsWide(title));
}

void MainWindow::UpdateCounts() {
  status_.Set(StatusBar::kCounts, list_.Counts().Text());
  filter_.ShowCounts();
  UpdateCheckedCount();
}

// The merge button is there for checked rows only (and for its Cancel).
void MainWindow::UpdateCheckedCount() {
  const size_t checked = list_.CheckedCount();
  status_.Set(StatusBar::kChecked, Decimal(checked) + u" checked");
  if (!merge_) EnableWindow(GetDlgItem(window_, IDC_MERGE), checked > 0);
}

void MainWindow::ShowDetails() {
  if (const std::optional<size_t> row = list_.CurrentRow())
    ShowDetailsDialog(window_, list_.store().at(*row).entry, registry());
}

void MainWindow::OpenKeyInRegistryEditor() {
  const std::optional<size_t> row = list_.CurrentRow();
  if (!row || !list_.store().at(*row).entry.root()) return;
  const std::u16string key = KeyPathOf(list_.store().at(*row).entry);
  if (options_.open_registry_editor) options_.open_registry_editor(key);
  else OpenInRegistryEditor(key);
}

bool MainWindow::OnKey(const MSG& message) {
  const int command = CommandForKey(window_, list_, message);
  if (command == 0) return false;
  if (command < 0) PostMessageW(window_, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(list_.handle()), -1);
  else PostMessageW(window_, WM_COMMAND, command, 0);
  return true;
}

void MainWindow::OnTimer(UINT_PTR id) {
  switch (id) {
    case kContinueTimer: loads_->Take(); break;
    case kRepaintTimer:
      loads_->Take();  // in case a wake-up message was lost
      list_.ShowNewRows(false);
      status_.ShowHeld(true);
      filter_.ShowCounts();
      break;
    case kFilterTimer: filter_.OnNext(); break;
    case kMergeProgressTimer:
      if (merge_) status_.Set(StatusBar::kLine, merge_->ProgressText());
      break;
  }
}

INT_PTR MainWindow::OnNotify(const NMHDR& header) {
  if (header.hwndFrom == list_.handle() && header.code == NM_DBLCLK &&
      reinterpret_cast<const NMITEMACTIVATE&>(header).iItem >= 0) {
    ShowDetails();
    return TRUE;
  }
  LRESULT result = 0;
  if (!list_.OnNotify(header, &result)) return FALSE;
  SetWindowLongPtrW(window_, DWLP_MSGRESULT, result);
  return TRUE;
}

INT_PTR MainWindow::Handle(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_COMMAND: OnCommand(LOWORD(wparam), HIWORD(wparam)); return TRUE;
    case WM_NOTIFY: return OnNotify(*reinterpret_cast<const NMHDR*>(lparam));
    case WM_TIMER: OnTimer(wparam); return TRUE;
    case WM_DROPFILES: OnDropFiles(reinterpret_cast<HDROP>(wparam)); return TRUE;
    case WM_INITMENUPOPUP: OnInitMenuPopup(reinterpret_cast<HMENU>(wparam)); return TRUE;
    case WM_CONTEXTMENU:
      if (reinterpret_cast<HWND>(wparam) == list_.handle())
        if (const int command = TrackRowMenu(window_, list_, registry(), lparam)) OnCommand(command, 0);
      return TRUE;
    case kLoadChannelMessage: loads_->Take(); return TRUE;
    case kFilterSliceMessage: filter_.OnNext(); return TRUE;
    case kMergeMessage:
      if (merge_ && merge_->OnWake()) MergeEnded();
      return TRUE;
    case kTerminateMessage:
      if (TakePayload<TerminateRequest>(window_, wparam, lparam)) EndOnRequest();
      return TRUE;
    case kUpdateResultMessage: OnUpdateResult(wparam, lparam); return TRUE;
    case kUpdateDoneMessage: OnUpdateDone(wparam, lparam); return TRUE;
    case WM_SIZE:
      frame_.OnSize(LOWORD(lparam), HIWORD(lparam));
      status_.Layout(static_cast<int>(frame_.dpi()));
      return TRUE;
    case WM_GETMINMAXINFO: frame_.OnGetMinMaxInfo(*reinterpret_cast<MINMAXINFO*>(lparam)); return TRUE;
    case WM_DPICHANGED:
      frame_.OnDpiChanged(HIWORD(wparam), *reinterpret_cast<const RECT*>(lparam));
      return TRUE;
    case WM_DESTROY: OnDestroy(); return FALSE;
    default: return FALSE;
  }
}

INT_PTR ShowMainDialog(const MainDialogOptions& options) {
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_LISTVIEW_CLASSES | ICC_BAR_CLASSES | ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);
  MainWindow window(options);
  return DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_MAIN), nullptr, MainDialogProc,
                         reinterpret_cast<LPARAM>(&window));
}

}  // namespace hivemend
