#include "app/MainDialog.h"

#include <commctrl.h>
#include <commdlg.h>
#include <shellapi.h>
#include <windowsx.h>

#include <algorithm>
#include <chrono>
#include <deque>
#include <memory>
#include <unordered_map>

#include "app/AboutDialog.h"
#include "app/ChangeList.h"
#include "app/Clipboard.h"
#include "app/DetailsDialog.h"
#include "app/FileHandlerCommand.h"
#include "app/LoadWorker.h"
#include "app/MergeCommand.h"
#include "app/WindowFrame.h"
#include "app/PostToWindow.h"
#include "msgbox/AppMessageBox.h"
#include "msgbox/SavedAnswer.h"
#include "platform/Environment.h"
#include "platform/File.h"
#include "platform/HistoryFolder.h"
#include "platform/Process.h"
#include "platform/Shell.h"
#include "platform/SystemText.h"
#include "platform/Text.h"
#include "platform/UniqueHandle_win.h"
#include "platform/WinString.h"
#include "resources/resource.h"
#include "msgbox/AppMessageBox.h"
#include "update/UpdateCheck.h"

namespace hivemend {
namespace {

constexpr wchar_t kCaption[] = L"Hivemend";
constexpr UINT kRepaintMs = 100;  // rows of running loads are shown on this tick
constexpr size_t kPathBufferChars = 4096;
constexpr int kRefusedLinesPart = 3;  // status bar part of a load's LoadReport part 2
// The size of dialog 129's client area in dialog units (hivemend.rc).
constexpr int kMainTemplateWidth = 761;
constexpr int kMainTemplateHeight = 345;

void ShowErrorBox(HWND owner, const wchar_t* text) { MessageBoxW(owner, text, kCaption, MB_OK | MB_ICONERROR); }

std::optional<std::u16string> ChooseFileWithDialog(HWND owner, const std::u16string& folder) {
  wchar_t path[kPathBufferChars] = L"";
  OPENFILENAMEW dialog{};
  dialog.lStructSize = sizeof dialog;
  dialog.hwndOwner = owner;
  dialog.lpstrFilter = L"REG Files\0*.REG\0";
  dialog.lpstrFile = path;
  dialog.nMaxFile = kPathBufferChars;
  dialog.lpstrTitle = L"Select a REG file to load";
  dialog.lpstrDefExt = L"REG";
  if (!folder.empty()) dialog.lpstrInitialDir = AsWide(folder);
  if (!GetOpenFileNameW(&dialog)) return std::nullopt;
  return AsU16(path);
}

// The registry editor opens at the key it last showed, which it keeps for the
// user under its own settings key.
void OpenInRegistryEditor(const std::u16string& key) {
  if (Registry* registry = SystemRegistry()) {
    RegKey settings(*registry);
    if (settings.Create(RegRoot::CurrentUser, u"Software\\Microsoft\\Windows\\CurrentVersion\\Applets\\Regedit",
                        kKeyWrite) == kRegOk) {
      const std::u16string last = u"Computer\\" + key;
      (void)settings.Set(u"LastKey", kRegSz, reinterpret_cast<const std::uint8_t*>(last.c_str()),
                         static_cast<std::uint32_t>((last.size() + 1) * sizeof(char16_t)));
    }
  }
  wchar_t folder[MAX_PATH] = L"";
  const UINT length = GetWindowsDirectoryW(folder, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return;
  (void)StartProcess(AsU16(folder) + u"\\regedit.exe", {});
}

// The question a load asks while the list holds rows of other files. Its text
// is fixed: a saved answer ("Do not ask me again") is found by it.
constexpr wchar_t kReplaceOrAddText[] =
    L"The list holds rows of other files. Replace them with the rows of the file you load, or add its rows to "
    L"the list?";
// Marks the main window of every copy, so that a new copy can find the others.
constexpr wchar_t kMainWindowProperty[] = L"Hivemend.MainWindow";

constexpr int kReplaceAnswer = AMB_ID_CUSTOM1;
constexpr int kAddAnswer = AMB_ID_CUSTOM2;
constexpr int kCancelAnswer = AMB_ID_CUSTOM3;

std::u16string FileName(const std::u16string& path) {
  const size_t slash = path.find_last_of(u"\\/");
  return slash == std::u16string::npos ? path : path.substr(slash + 1);
}

// Everything one main window owns. Lives on ShowMainDialog's stack for as long
// as the dialog runs; its threads are joined when the dialog is destroyed, and
// at the latest when it goes.
class MainWindow {
 public:
  explicit MainWindow(const MainDialogOptions& options) : options_(options) {}
  MainWindow(const MainWindow&) = delete;
  MainWindow& operator=(const MainWindow&) = delete;
  ~MainWindow() { StopThreads(); }

  // Called once, with WM_INITDIALOG.
  void Attach(HWND window) {
    window_ = window;
    OnInitDialog();
  }
  INT_PTR Handle(UINT message, WPARAM wparam, LPARAM lparam);
  ChangeList& list() { return list_; }
  // Keys of the whole window (Ctrl+O, F5, Ctrl+C, Ctrl+A, Enter), seen before
  // the dialog manager; true when taken.
  bool OnKey(const MSG& message);

 private:
  void OnInitDialog();
  void OnCommand(int id);
  INT_PTR OnNotify(const NMHDR& header);
  void OnTimer(UINT_PTR id);
  void OnDropFiles(HDROP drop);
  void OnTerminateRequest(WPARAM tag, LPARAM payload);
  void OnUpdateResult(WPARAM tag, LPARAM payload);
  void OnUpdateDone(WPARAM tag, LPARAM payload);
  void OnDestroy();
  void StopThreads();
  void AttachFrame();
  Registry* LayoutRegistry() const;
  void SaveLayout();
  void OnContextMenu(HWND from, LPARAM position);
  void ShowDetails();
  void CopyRows();
  void OpenKeyInRegistryEditor();
  void ClearAll();
  void ReloadCommand();
  // Before a load: asks whether to replace the list or add to it when it holds
  // rows of other files. False when the user cancels.
  bool PrepareLoad(const std::u16string& path);
  // Empties the list and stops the loads that run: their rows are dropped.
  void ReplaceRows();
  void UpdateTitle();
  void UpdateCounts();
  void UpdateCheckedCount();
  Registry* registry() const { return options_.registry ? options_.registry : SystemRegistry(); }

  void LoadCommand();
  void StartLoad(std::u16string path, bool cancellable);
  void ApplyCommand();
  void MergeCommand();
  // Starts this program again as administrator on the same files with the
  // same rows checked, and closes this window when it started.
  void RestartElevated();
  void EndOnRequest();
  void TakeLoadOperations();
  void ContinueLater();
  void LoadEnded();
  void SetStatus(int part, const std::u16string& text);
  void SetLoadStatus(int part, const std::u16string& text);
  void ShowLoadStatus();

  const MainDialogOptions& options_;
  HWND window_ = nullptr;
  HWND combo_ = nullptr;
  HWND status_bar_ = nullptr;
  ChangeList list_;
  WindowFrame frame_;
  std::u16string last_folder_;  // of the last file chosen to load
  std::shared_ptr<LoadChannel> channel_;
  std::deque<LoadOperation> operations_;  // taken from the channel, not yet applied
  int running_loads_ = 0;
  std::uint32_t next_load_ = 1;     // the number of the next load
  std::uint32_t first_kept_load_ = 1;  // rows of loads below this number are dropped
  std::vector<std::u16string> files_;  // the files whose rows the list holds, in load order
  // Loads whose rows are checked by line number (a restarted copy's files):
  // load number, then the lines, ascending.
  std::unordered_map<std::uint32_t, std::vector<std::uint32_t>> checked_lines_;
  HHOOK key_hook_ = nullptr;
  int merge_depth_ = 0;  // while a merge runs, loads wait with their rows
  bool update_prompt_handled_ = false;
  bool continue_timer_set_ = false;  // kContinueTimer runs
  // The status bar holds its paint while a load's texts come (SetLoadStatus).
  static constexpr ULONGLONG kLoadStatusIntervalMs = 250;
  bool status_held_ = false;
  ULONGLONG status_shown_at_ = 0;
  bool checks_taken_ = false;        // rows were checked by line since the last load ended
  bool ending_ = false;
  // The threads last: they are joined before anything they reach goes.
  ScopedHandle stop_threads_;  // manual-reset; set when the window closes
  LoadWorkers loads_;
  std::jthread update_check_;
  std::jthread terminate_watch_;
  std::unique_ptr<UpdateDownload> update_download_;
};

// The dialog manager offers every message of its loop to this thread's
// message filter first: the window's keys are taken there.
thread_local MainWindow* t_key_window = nullptr;
LRESULT CALLBACK KeyFilter(int code, WPARAM wparam, LPARAM lparam);

void MainWindow::OnInitDialog() {
  const HINSTANCE instance = GetModuleHandleW(nullptr);
  SendMessageW(window_, WM_SETICON, ICON_BIG,
               reinterpret_cast<LPARAM>(LoadImageW(instance, MAKEINTRESOURCEW(IDI_HIVEMEND), IMAGE_ICON, 0, 0,
                                                   LR_DEFAULTSIZE | LR_SHARED)));
  SendMessageW(window_, WM_SETICON, ICON_SMALL,
               reinterpret_cast<LPARAM>(LoadImageW(instance, MAKEINTRESOURCEW(IDI_HIVEMEND), IMAGE_ICON,
                                                   GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON),
                                                   LR_SHARED)));
  const HWND list = GetDlgItem(window_, IDC_CHANGE_LIST);
  // The menu bar takes its height from the client area: grow the window by it
  // so that the template's layout keeps its room.
  RECT before{};
  GetClientRect(window_, &before);
  SetMenu(window_, LoadMenuW(instance, MAKEINTRESOURCEW(IDR_MAINMENU)));
  RECT after{};
  GetClientRect(window_, &after);
  RECT frame{};
  GetWindowRect(window_, &frame);
  const int grow = (before.bottom - before.top) - (after.bottom - after.top);
  if (grow > 0)
    SetWindowPos(window_, nullptr, frame.left, frame.top - grow / 2, frame.right - frame.left,
                 frame.bottom - frame.top + grow, SWP_NOZORDER | SWP_NOACTIVATE);

  list_.Attach(list);
  t_key_window = this;
  key_hook_ = SetWindowsHookExW(WH_MSGFILTER, KeyFilter, nullptr, GetCurrentThreadId());

  combo_ = GetDlgItem(window_, IDC_CHECK_RULE);
  for (const wchar_t* rule : {L"Changed", L"Missing", L"All", L"None", L"Invert"})
    SendMessageW(combo_, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(rule));

  status_bar_ = CreateWindowExW(0, STATUSCLASSNAMEW, nullptr, WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | SBARS_SIZEGRIP,
                                0, 0, 0, 0, window_, nullptr, instance, nullptr);
  {
    const int dpi = static_cast<int>(WindowDpi(window_));
    // Line texts, counts, checked rows, and the lines the last load could not read.
    const int parts[4] = {ScaleRounded(400, dpi, 96), ScaleRounded(640, dpi, 96), ScaleRounded(760, dpi, 96), -1};
    SendMessageW(status_bar_, SB_SETPARTS, 4, reinterpret_cast<LPARAM>(parts));
  }
  list_.set_on_checks_changed([this] { UpdateCheckedCount(); });
  UpdateCheckedCount();
  AttachFrame();

  EnableWindow(GetDlgItem(window_, IDC_CANCEL_LOAD), FALSE);
  channel_ = std::make_shared<LoadChannel>(window_, kLoadChannelMessage);
  DragAcceptFiles(window_, TRUE);

  std::vector<std::vector<std::uint32_t>> checked_lines;
  if (!options_.checked_lines_file.empty()) {
    {
      ReadOnlyFile file;
      std::u16string raw;
      size_t bytes = 0;
      if (file.Open(options_.checked_lines_file) == FileReadStatus::Ok &&
          file.ReadAll(raw, &bytes) == FileReadStatus::Ok && bytes % 2 == 0 && raw.starts_with(u'\xFEFF')) {
        if (auto parsed = ParseCheckedLines(std::u16string_view(raw).substr(1))) checked_lines = std::move(*parsed);
      }
    }  // closed before it is removed
    (void)RemoveFile(options_.checked_lines_file);
  }
  for (size_t i = 0; i < options_.startup_arguments.size(); ++i) {
    const std::u16string path(TrimSpace(options_.startup_arguments[i]));
    if (path.empty() || GetFileAttributesW(AsWide(path)) == INVALID_FILE_ATTRIBUTES) continue;
    files_.push_back(path);
    if (i < checked_lines.size()) checked_lines_[next_load_] = std::move(checked_lines[i]);
    StartLoad(path, false);
  }

  stop_threads_.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  update_check_ = StartUpdateCheckWorker(options_.check_for_update ? options_.check_for_update : CheckForUpdate,
                                         stop_threads_.get(), window_, kUpdateResultMessage);
  terminate_watch_ = StartTerminateWatch(options_.terminate_event, stop_threads_.get(), window_, kTerminateMessage);

  SetTimer(window_, kRepaintTimer, kRepaintMs, nullptr);
  UpdateTitle();
}

// The list grows with the window; the merge button keeps to the bottom right
// corner; the rest keeps to the top left.
void MainWindow::AttachFrame() {
  frame_.Attach(window_, {kMainTemplateWidth, kMainTemplateHeight},
                {{IDC_CHANGE_LIST, kAnchorAll},
                 {IDC_MERGE, kAnchorBottomRight},
                 {IDC_LOAD, kAnchorTopLeft},
                 {IDC_CANCEL_LOAD, kAnchorTopLeft},
                 {IDC_CLEAR_ALL, kAnchorTopLeft},
                 {IDC_CHECK_RULE, kAnchorTopLeft},
                 {IDC_APPLY, kAnchorTopLeft}},
                status_bar_, list_.handle());
  frame_.FitToWorkArea();
  if (Registry* registry = LayoutRegistry()) {
    const SavedLayout saved = LoadSavedLayout(*registry, options_.layout_key);
    frame_.Restore(saved);
    last_folder_ = saved.last_folder;
    if (saved.sort_column >= 0) list_.SetSort(saved.sort_column, saved.sort_ascending);
  }
  // A second copy opens below and right of the first, not on top of it.
  SetPropW(window_, kMainWindowProperty, reinterpret_cast<HANDLE>(1));
  frame_.MoveOffOthers(kMainWindowProperty);
}

Registry* MainWindow::LayoutRegistry() const { return options_.registry ? options_.registry : SystemRegistry(); }

// Failing to remember the layout costs the user nothing but the layout.
void MainWindow::SaveLayout() {
  Registry* registry = LayoutRegistry();
  if (!registry) return;
  SavedLayout layout = frame_.Capture();
  layout.last_folder = last_folder_;
  layout.sort_column = list_.sort_column();
  layout.sort_ascending = list_.sort_ascending();
  (void)StoreSavedLayout(*registry, layout, options_.layout_key);
}

void MainWindow::OnCommand(int id) {
  switch (id) {
    case IDOK:
    case IDCANCEL: EndDialog(window_, id); break;
    case IDM_EXIT: EndDialog(window_, 0); break;
    case IDM_ABOUT: ShowAboutDialog(window_); break;
    case IDC_MERGE: MergeCommand(); break;
    case IDC_LOAD:
    case IDM_LOAD: LoadCommand(); break;
    case IDC_APPLY: ApplyCommand(); break;
    case IDC_CANCEL_LOAD: channel_->RequestCancel(); break;
    case IDC_CLEAR_ALL: ClearAll(); break;
    case IDM_RELOAD: ReloadCommand(); break;
    case IDM_ROW_CHECK: list_.CheckSelected(true); break;
    case IDM_ROW_UNCHECK: list_.CheckSelected(false); break;
    case IDM_ROW_DETAILS: ShowDetails(); break;
    case IDM_ROW_COPY: CopyRows(); break;
    case IDM_ROW_REGEDIT: OpenKeyInRegistryEditor(); break;
    case IDM_SELECT_ALL: list_.SelectAll(); break;
    case IDM_OPEN_HISTORY: {
      const std::u16string folder = HistoryFolder();
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

void MainWindow::LoadCommand() {
  const std::optional<std::u16string> path =
      options_.choose_file ? options_.choose_file(window_) : ChooseFileWithDialog(window_, last_folder_);
  if (!path) return;
  const DWORD attributes = GetFileAttributesW(AsWide(*path));
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    ShowErrorBox(window_, L"File does not appear to exist.");
    return;
  }
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
    ShowErrorBox(window_, L"You must select a .REG file, not a whole folder.");
    return;
  }
  if (const size_t slash = path->find_last_of(u"\\/"); slash != std::u16string::npos)
    last_folder_ = path->substr(0, slash);
  if (PrepareLoad(*path)) StartLoad(*path, true);
}

void MainWindow::OnDropFiles(HDROP drop) {
  const UINT length = DragQueryFileW(drop, 0, nullptr, 0);
  if (length > 0) {
    std::wstring name(length + 1, L'\0');
    DragQueryFileW(drop, 0, name.data(), length + 1);
    name.resize(length);
    const std::u16string path = AsU16(name.c_str(), name.size());
    if (ContainsNoCase(path, u".reg")) {
      DragFinish(drop);  // before a question: the drop's data is not needed
      if (PrepareLoad(path)) StartLoad(path, true);
      return;
    }
  }
  DragFinish(drop);
}

bool MainWindow::PrepareLoad(const std::u16string& path) {
  const bool busy = !list_.store().empty() || running_loads_ > 0;
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
    const int answer = AppMessageBox(window_, kReplaceOrAddText, kCaption, MB_ICONQUESTION | AMB_CHECK_ASK, &params);
    switch (answer & 0xFFFF) {
      case kReplaceAnswer: ReplaceRows(); break;
      case kAddAnswer: break;
      default:
        // A Cancel is never kept as the answer: it would refuse every later load.
        if ((answer & AMB_CHECK_ASK) && params.module_name && *params.module_name) {
          if (Registry* system = SystemRegistry()) {
            RegKey saved(*system);
            if (saved.Open(RegRoot::CurrentUser,
                           SavedAnswerKeyPath(FieldText(params.company_name), ProgramPath()), kKeySetValue) == kRegOk)
              (void)saved.Delete(AnswerValueName(params.module_name, MessageChecksum(AsU16(kReplaceOrAddText))));
          }
        }
        return false;
    }
  }
  files_.push_back(path);
  UpdateTitle();
  return true;
}

void MainWindow::ReplaceRows() {
  first_kept_load_ = next_load_;
  loads_.RequestStopAll();
  files_.clear();
  list_.Clear();
  UpdateCounts();
  UpdateTitle();
}

void MainWindow::ClearAll() {
  list_.Clear();
  SetStatus(kRefusedLinesPart, u"");
  if (running_loads_ == 0) files_.clear();
  UpdateCounts();
  UpdateTitle();
}

// F5: the files whose rows the list holds, compared afresh.
void MainWindow::ReloadCommand() {
  const std::vector<std::u16string> files = files_;
  if (files.empty()) return;
  ReplaceRows();
  files_ = files;
  UpdateTitle();
  for (const std::u16string& file : files) StartLoad(file, true);
}

void MainWindow::UpdateTitle() {
  std::u16string title(u"Hivemend");
  if (files_.size() == 1) title += u" - " + FileName(files_.front());
  if (files_.size() > 1) title += u" - " + Decimal(files_.size()) + u" files";
  SetWindowTextW(window_, AsWide(title));
}

void MainWindow::UpdateCounts() {
  SetStatus(1, list_.Counts().Text());
  UpdateCheckedCount();
}

void MainWindow::UpdateCheckedCount() { SetStatus(2, Decimal(list_.CheckedCount()) + u" checked"); }

void MainWindow::ShowDetails() {
  const std::optional<size_t> row = list_.CurrentRow();
  if (!row) return;
  ShowDetailsDialog(window_, list_.store().at(*row).entry, registry());
}

void MainWindow::CopyRows() {
  if (list_.SelectedCount() == 0) return;
  CopyTextToClipboard(window_, list_.SelectedRowsText());
}

std::u16string KeyPathOf(const ChangeEntry& entry) {
  std::u16string path(RootLongName(*entry.root()));
  if (!entry.key().path.empty()) path += u"\\" + entry.key().path;
  return path;
}

void MainWindow::OpenKeyInRegistryEditor() {
  const std::optional<size_t> row = list_.CurrentRow();
  if (!row) return;
  const ChangeEntry& entry = list_.store().at(*row).entry;
  if (!entry.root()) return;
  if (options_.open_registry_editor) options_.open_registry_editor(KeyPathOf(entry));
  else OpenInRegistryEditor(KeyPathOf(entry));
}

// The row menu: right-click on a row, Shift+F10 or the context-menu key (the
// menu then opens at the current row).
void MainWindow::OnContextMenu(HWND from, LPARAM position) {
  const HWND list = list_.handle();
  if (from != list) return;
  POINT at{GET_X_LPARAM(position), GET_Y_LPARAM(position)};
  if (position == -1) {
    RECT rect{};
    const std::optional<size_t> row = list_.CurrentRow();
    rect.left = LVIR_LABEL;
    if (row && SendMessageW(list, LVM_GETITEMRECT, *row, reinterpret_cast<LPARAM>(&rect))) {
      at = {rect.left + 16, rect.bottom};
    } else {
      GetClientRect(list, &rect);
      at = {rect.left + 16, rect.top + 16};
    }
    ClientToScreen(list, &at);
  } else {
    // A right-click on a row that is not selected selects it alone.
    POINT client = at;
    ScreenToClient(list, &client);
    LVHITTESTINFO hit{};
    hit.pt = client;
    const int index = static_cast<int>(SendMessageW(list, LVM_HITTEST, 0, reinterpret_cast<LPARAM>(&hit)));
    if (index >= 0 && !(SendMessageW(list, LVM_GETITEMSTATE, index, LVIS_SELECTED) & LVIS_SELECTED)) {
      LVITEMW none{};
      none.stateMask = LVIS_SELECTED;
      SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&none));
      LVITEMW item{};
      item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
      item.state = LVIS_SELECTED | LVIS_FOCUSED;
      SendMessageW(list, LVM_SETITEMSTATE, index, reinterpret_cast<LPARAM>(&item));
    }
  }
  const HMENU bar = LoadMenuW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_ROWMENU));
  if (!bar) return;
  const HMENU menu = GetSubMenu(bar, 0);
  const std::optional<size_t> row = list_.CurrentRow();
  const UINT rows = row ? MF_ENABLED : MF_GRAYED;
  for (UINT id : {IDM_ROW_CHECK, IDM_ROW_UNCHECK, IDM_ROW_DETAILS, IDM_ROW_COPY}) EnableMenuItem(menu, id, rows);
  EnableMenuItem(menu, IDM_SELECT_ALL, list_.store().empty() ? MF_GRAYED : MF_ENABLED);
  bool key_exists = false;
  if (row) {
    const ChangeEntry& entry = list_.store().at(*row).entry;
    if (entry.root() && registry()) {
      RegKey key(*registry());
      key_exists = key.Open(*entry.root(), entry.key().path, kKeyRead) == kRegOk;
    }
  }
  EnableMenuItem(menu, IDM_ROW_REGEDIT, key_exists ? MF_ENABLED : MF_GRAYED);
  SetMenuDefaultItem(menu, IDM_ROW_DETAILS, FALSE);
  const UINT command = TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON, at.x, at.y, 0, window_, nullptr);
  DestroyMenu(bar);
  if (command != 0) OnCommand(static_cast<int>(command));
}

bool MainWindow::OnKey(const MSG& message) {
  if (message.message != WM_KEYDOWN && message.message != WM_SYSKEYDOWN) return false;
  if (message.hwnd != window_ && !IsChild(window_, message.hwnd)) return false;
  const bool control = GetKeyState(VK_CONTROL) < 0;
  const bool in_list = message.hwnd == list_.handle();
  if (in_list && (message.wParam == VK_APPS || (message.wParam == VK_F10 && GetKeyState(VK_SHIFT) < 0))) {
    PostMessageW(window_, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(list_.handle()), -1);
    return true;
  }
  if (message.message != WM_KEYDOWN) return false;
  int command = 0;
  if (control && message.wParam == 'O') command = IDM_LOAD;
  else if (!control && message.wParam == VK_F5) command = IDM_RELOAD;
  else if (control && in_list && message.wParam == 'C') command = IDM_ROW_COPY;
  else if (control && in_list && message.wParam == 'A') command = IDM_SELECT_ALL;
  else if (!control && in_list && message.wParam == VK_RETURN && list_.CurrentRow()) command = IDM_ROW_DETAILS;
  if (command == 0) return false;
  PostMessageW(window_, WM_COMMAND, command, 0);
  return true;
}

LRESULT CALLBACK KeyFilter(int code, WPARAM wparam, LPARAM lparam) {
  if (code == MSGF_DIALOGBOX && t_key_window && t_key_window->OnKey(*reinterpret_cast<const MSG*>(lparam)))
    return TRUE;
  return CallNextHookEx(nullptr, code, wparam, lparam);
}

void MainWindow::StartLoad(std::u16string path, bool cancellable) {
  const HWND cancel = GetDlgItem(window_, IDC_CANCEL_LOAD);
  if (cancellable) EnableWindow(cancel, TRUE);
  ++running_loads_;
  SetStatus(kRefusedLinesPart, u"");  // what the last load could not read
  if (!loads_.Start(channel_, registry(), std::move(path), next_load_++))
    LoadEnded();  // as if the load had ended at once
}

void MainWindow::ApplyCommand() {
  const LRESULT selected = SendMessageW(combo_, CB_GETCURSEL, 0, 0);
  if (selected == CB_ERR) return;
  const LRESULT length = SendMessageW(combo_, CB_GETLBTEXTLEN, selected, 0);
  if (length == CB_ERR || length >= static_cast<LRESULT>(kPathBufferChars)) return;
  wchar_t text[kPathBufferChars] = L"";
  SendMessageW(combo_, CB_GETLBTEXT, selected, reinterpret_cast<LPARAM>(text));
  if (const auto rule = CheckRuleFromText(AsU16(text))) list_.ApplyRule(*rule);
}

// The one place where the merge command runs. Loads keep their rows back while
// it runs, so the rows it reads by index stay where they are.
void MainWindow::MergeCommand() {
  ++merge_depth_;
  MergeResult result;
  if (Registry* registry = options_.registry ? options_.registry : SystemRegistry()) {
    const bool offer_restart = options_.restart_elevated || !ProcessIsElevated();
    result = RunMergeCommand(window_, list_.store(), *registry, HistoryFolder, options_.message_box_params,
                             offer_restart);
  }
  --merge_depth_;
  list_.RefreshCount();
  UpdateCounts();
  if (result.restart) {
    RestartElevated();
    return;
  }
  if (merge_depth_ == 0) TakeLoadOperations();
}

void MainWindow::RestartElevated() {
  // The checked rows go by file in a file of their own: a command line has
  // no room for a large selection.
  const std::u16string selection = WriteNewFileDurably(
      TempFolder(), Utf16FileBytes(CheckedLinesText(list_.store(), files_)),
      [](int) { return u"hivemend-checked-" + RandomHexName() + u".txt"; });
  long status = selection.empty() ? static_cast<long>(ERROR_CANNOT_MAKE) : 0;
  if (status == 0) {
    std::vector<std::u16string> arguments{kCheckedSwitch, selection};
    arguments.insert(arguments.end(), files_.begin(), files_.end());
    status = options_.restart_elevated ? options_.restart_elevated(arguments)
                                       : StartProcessElevated(ProgramPath(), arguments, window_);
  }
  if (status == 0) {
    EndDialog(window_, 0);
    return;
  }
  if (!selection.empty()) (void)RemoveFile(selection);
  if (status != ERROR_CANCELLED) {
    const std::u16string text = u"Hivemend could not be started as administrator: " + SystemErrorText(status);
    ShowErrorBox(window_, AsWide(text));
  }
  if (merge_depth_ == 0) TakeLoadOperations();
}

void MainWindow::SetStatus(int part, const std::u16string& text) {
  SendMessageW(status_bar_, SB_SETTEXTW, static_cast<WPARAM>(part), reinterpret_cast<LPARAM>(AsWide(text)));
}

// A load's text for the status bar. Every text is set, in order, but the bar
// paints them only four times a second while loads run (and at once when none
// does), with the window's next paint: the status bar paints itself at once
// for every text it is given, which took 20 to 70 ms a time under Wine while a
// large load kept the machine busy.
void MainWindow::SetLoadStatus(int part, const std::u16string& text) {
  if (!status_held_) {
    SendMessageW(status_bar_, WM_SETREDRAW, FALSE, 0);
    status_held_ = true;
  }
  SetStatus(part, text);
  if (running_loads_ == 0 || GetTickCount64() - status_shown_at_ >= kLoadStatusIntervalMs) ShowLoadStatus();
}

void MainWindow::ShowLoadStatus() {
  if (!status_held_) return;
  status_held_ = false;
  SendMessageW(status_bar_, WM_SETREDRAW, TRUE, 0);
  InvalidateRect(status_bar_, nullptr, TRUE);
  status_shown_at_ = GetTickCount64();
}

// A load has ended. A cancel press that came after its last check is dropped
// when no other load runs, so that it cannot stop the next load.
void MainWindow::LoadEnded() {
  EnableWindow(GetDlgItem(window_, IDC_CANCEL_LOAD), FALSE);
  if (running_loads_ > 0) --running_loads_;
  if (running_loads_ == 0) channel_->DropCancelRequest();
}

// Applies the operations of running loads in their order, one turn at a time.
void MainWindow::TakeLoadOperations() {
  if (continue_timer_set_) {
    KillTimer(window_, kContinueTimer);
    continue_timer_set_ = false;
  }
  // During a merge the operations wait in the channel (which holds the worker
  // back once enough are waiting).
  if (merge_depth_ > 0 || ending_) return;
  // A turn lasts about options_.load_turn_ms; the rest waits for the next turn,
  // so that the window keeps answering during a load.
  const auto turn_start = std::chrono::steady_clock::now();
  const auto turn_end = turn_start + std::chrono::milliseconds(options_.load_turn_ms);
  unsigned since_clock_read = 0;
  // One operation at a time from the front: an error message box runs a
  // message loop that may come back here, and the order must hold.
  while (!ending_) {
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
      if (checked_lines_.empty()) {  // the usual case: no rows to check by line
        list_.AddRow(std::move(row->entry));
        continue;
      }
      const auto lines = checked_lines_.find(op.load);
      const std::uint32_t line = row->entry.line();
      const size_t index = list_.AddRow(std::move(row->entry));
      if (lines != checked_lines_.end() && std::binary_search(lines->second.begin(), lines->second.end(), line)) {
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
      // Progress texts may run up to one show interval (half a second) ahead
      // of the rows.
      list_.ShowNewRows(false);
      // Once every load has ended the counts describe the whole list (and
      // were shown when the last load ended).
      SetLoadStatus(status->part == 2 ? kRefusedLinesPart : status->part,
                    status->part == 1 && running_loads_ == 0 ? list_.Counts().Text() : status->text);
    } else if (auto* error = std::get_if<LoadOperation::Error>(&op.what); error && dropped) {
      channel_->ErrorShown(*error->ticket);
    } else if (error) {
      list_.ShowNewRows(true);
      ShowLoadStatus();
      ShowErrorBox(window_, AsWide(error->text));
      channel_->ErrorShown(*error->ticket);
      ContinueLater();  // the box's own message loop may have taken this turn's place
      break;
    } else {
      // The completion texts that follow find every row of the load shown.
      list_.ShowNewRows(true);
      list_.ApplyRememberedSort();
      checked_lines_.erase(op.load);
      if (checks_taken_) UpdateCheckedCount();
      checks_taken_ = false;
      LoadEnded();
      ShowLoadStatus();
      // The counts come with the completion texts; a load that ended without
      // them shows the list's counts now.
      if (running_loads_ == 0 && !std::get<LoadOperation::Ended>(op.what).completes) UpdateCounts();
    }
  }
}

// Posted messages come before input and painting: while either waits, the next
// turn comes as a timer message, which comes after both.
void MainWindow::ContinueLater() {
  if (HIWORD(GetQueueStatus(QS_INPUT | QS_PAINT)) != 0 || !PostMessageW(window_, kLoadChannelMessage, 0, 0))
    continue_timer_set_ = SetTimer(window_, kContinueTimer, USER_TIMER_MINIMUM, nullptr) != 0;
}

void MainWindow::OnTimer(UINT_PTR id) {
  switch (id) {
    case kContinueTimer:
      TakeLoadOperations();
      break;
    case kRepaintTimer:
      TakeLoadOperations();  // in case a wake-up message was lost
      list_.ShowNewRows(false);
      if (GetTickCount64() - status_shown_at_ >= kLoadStatusIntervalMs) ShowLoadStatus();
      break;
  }
}

void MainWindow::OnTerminateRequest(WPARAM tag, LPARAM payload) {
  if (TakePayload<TerminateRequest>(window_, tag, payload)) EndOnRequest();
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
// nothing: no merge, no update. A download that runs is stopped.
void MainWindow::EndOnRequest() {
  ending_ = true;
  if (update_download_) update_download_->Stop();
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

// From here on no thread reaches this window; what they posted before is
// freed.
void MainWindow::OnDestroy() {
  SaveLayout();
  RemovePropW(window_, kMainWindowProperty);
  if (key_hook_) UnhookWindowsHookEx(key_hook_);
  key_hook_ = nullptr;
  t_key_window = nullptr;
  StopThreads();
  operations_.clear();
  DiscardPayloads<TerminateRequest>(window_, kTerminateMessage);
  DiscardPayloads<UpdateResult>(window_, kUpdateResultMessage);
  DiscardPayloads<UpdateDownloadDone>(window_, kUpdateDoneMessage);
}

// The channel first, which releases a load worker that waits for the window;
// then every thread is asked to stop, and all are joined.
void MainWindow::StopThreads() {
  if (channel_) channel_->Close();
  if (stop_threads_) SetEvent(stop_threads_.get());
  if (update_download_) update_download_->Stop();
  loads_.StopAndJoin();
  if (update_check_.joinable()) update_check_.join();
  if (terminate_watch_.joinable()) terminate_watch_.join();
  update_download_.reset();  // joins its worker, which has deleted a partial download
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
    case WM_COMMAND: OnCommand(LOWORD(wparam)); return TRUE;
    case WM_NOTIFY: return OnNotify(*reinterpret_cast<const NMHDR*>(lparam));
    case WM_TIMER: OnTimer(wparam); return TRUE;
    case WM_DROPFILES: OnDropFiles(reinterpret_cast<HDROP>(wparam)); return TRUE;
    case WM_CONTEXTMENU: OnContextMenu(reinterpret_cast<HWND>(wparam), lparam); return TRUE;
    case kLoadChannelMessage: TakeLoadOperations(); return TRUE;
    case kTerminateMessage: OnTerminateRequest(wparam, lparam); return TRUE;
    case kUpdateResultMessage: OnUpdateResult(wparam, lparam); return TRUE;
    case kUpdateDoneMessage: OnUpdateDone(wparam, lparam); return TRUE;
    case WM_SIZE: frame_.OnSize(LOWORD(lparam), HIWORD(lparam)); return TRUE;
    case WM_GETMINMAXINFO: frame_.OnGetMinMaxInfo(*reinterpret_cast<MINMAXINFO*>(lparam)); return TRUE;
    case WM_DPICHANGED:
      frame_.OnDpiChanged(HIWORD(wparam), *reinterpret_cast<const RECT*>(lparam));
      return TRUE;
    case WM_DESTROY: OnDestroy(); return FALSE;
    default: return FALSE;
  }
}

INT_PTR CALLBACK MainDialogProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_INITDIALOG) {
    auto* window = reinterpret_cast<MainWindow*>(lparam);
    SetWindowLongPtrW(dialog, DWLP_USER, lparam);
    window->Attach(dialog);
    return TRUE;
  }
  auto* window = reinterpret_cast<MainWindow*>(GetWindowLongPtrW(dialog, DWLP_USER));
  return window ? window->Handle(message, wparam, lparam) : FALSE;
}

}  // namespace

INT_PTR ShowMainDialog(const MainDialogOptions& options) {
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_LISTVIEW_CLASSES | ICC_BAR_CLASSES | ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);
  MainWindow window(options);
  return DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_MAIN), nullptr, MainDialogProc,
                         reinterpret_cast<LPARAM>(&window));
}

}  // namespace hivemend
