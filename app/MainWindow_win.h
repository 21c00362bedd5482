// The main window's own class, shared by the two files that implement it:
// MainDialog.cpp (the commands) and MainWindowSetup.cpp (opening, threads,
// closing). Internal to app/.
#pragma once

#include <windows.h>

#include <shellapi.h>

#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "app/ChangeList_win.h"
#include "app/FilterBar_win.h"
#include "app/LoadPump_win.h"
#include "app/MainDialog_win.h"
#include "app/MergeWorker_win.h"
#include "app/StatusBar_win.h"
#include "app/WindowFrame_win.h"
#include "platform/UniqueHandle_win.h"
#include "platform/WinString.h"

namespace hivemend {

inline constexpr wchar_t kMainCaption[] = L"Hivemend";

inline void ShowErrorBox(HWND owner, const std::u16string& text) {
  MessageBoxW(owner, AsWide(text), kMainCaption, MB_OK | MB_ICONERROR);
}

// Everything one main window owns. Lives on ShowMainDialog's stack for as long
// as the dialog runs; its threads are joined when the dialog is destroyed, and
// at the latest when it goes. Its commands are in MainDialog.cpp; its opening,
// its threads and its end in MainWindowSetup.cpp.
class MainWindow {
 public:
  explicit MainWindow(const MainDialogOptions& options) : options_(options) {}
  MainWindow(const MainWindow&) = delete;
  MainWindow& operator=(const MainWindow&) = delete;
  ~MainWindow() { StopThreads(); }

  // Called once, with WM_INITDIALOG; returns its result.
  INT_PTR Attach(HWND window);
  INT_PTR Handle(UINT message, WPARAM wparam, LPARAM lparam);
  // Keys of the whole window, seen before the dialog manager; true when taken.
  bool OnKey(const MSG& message);

 private:
  void OnCommand(int id, int code);
  INT_PTR OnNotify(const NMHDR& header);
  void OnTimer(UINT_PTR id);
  void OnDropFiles(HDROP drop);
  void OnInitMenuPopup(HMENU menu);
  void OnUpdateResult(WPARAM tag, LPARAM payload);
  void OnUpdateDone(WPARAM tag, LPARAM payload);
  void OnDestroy();
  void StopThreads();
  void AttachFrame();
  void SaveLayout();
  std::vector<std::vector<std::uint32_t>> TakeCheckedLines();
  Registry* registry() const { return options_.registry ? options_.registry : SystemRegistry(); }

  void LoadCommand();
  // check_all: every row of the file arrives checked.
  void StartLoad(const std::u16string& path, bool cancellable, std::vector<std::uint32_t> checked_lines = {},
                 bool check_all = false);
  // Before a load: asks whether to replace the list or add to it when it holds
  // rows of other files. False when the user cancels.
  bool PrepareLoad(const std::u16string& path);
  // Empties the list and drops the rows of the loads that run.
  void ReplaceRows();
  void ClearAll();
  void ReloadCommand();
  void ApplyCommand();
  // confirm_text: asked instead of the usual confirmation (an undo's question).
  void MergeCommand(const std::u16string& confirm_text = {});
  void MergeEnded();
  // File > "Undo last merge..." and "History..." (UndoCommands.cpp).
  std::u16string HistoryFolderPath() const;
  void UndoLastMergeCommand();
  void OfferUndoMerge();
  void HistoryCommand();
  void RestartElevated();
  void ShowDetails();
  void OpenKeyInRegistryEditor();
  void EndOnRequest();
  void LoadEnded(bool cancelled);
  void UpdateTitle();
  void UpdateCounts();
  void UpdateCheckedCount();

  const MainDialogOptions& options_;
  HWND window_ = nullptr;
  HWND combo_ = nullptr;
  StatusBar status_;
  ChangeList list_;
  FilterBar filter_;
  WindowFrame frame_;
  std::u16string last_folder_;          // of the last file chosen to load
  std::vector<std::u16string> files_;  // the files whose rows the list holds, in load order
  bool load_cancelled_ = false;        // the last load to end was cancelled: the list is not whole
  HHOOK key_hook_ = nullptr;
  bool update_prompt_handled_ = false;
  bool clear_after_merge_ = false;  // rows were replaced while a merge read them
  std::u16string undo_load_;        // the undo file whose rows load for Undo last merge
  bool ending_ = false;
  // The threads last: they are joined before anything they reach goes.
  ScopedHandle stop_threads_;  // manual-reset; set when the window closes
  std::unique_ptr<LoadPump> loads_;
  std::unique_ptr<MergeWorker> merge_;
  std::jthread update_check_;
  std::jthread terminate_watch_;
  std::unique_ptr<UpdateDownload> update_download_;
};

INT_PTR CALLBACK MainDialogProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);

}  // namespace hivemend
