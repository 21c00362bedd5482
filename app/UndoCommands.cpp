// File > "Undo last merge..." and "History...": the main window's way back
// from a merge. An undo is a load of an undo file with every row checked and
// then a merge like any other, which saves its own undo file.
#include "app/MainWindow_win.h"

#include "app/HistoryDialog_win.h"
#include "app/HistoryRows.h"
#include "merge/HistoryFile.h"
#include "platform/HistoryFolder.h"
#include "platform/WinString.h"

namespace hivemend {

std::u16string MainWindow::HistoryFolderPath() const {
  return options_.history_folder ? options_.history_folder() : HistoryFolder();
}

// Loads the newest undo file as a load does (asking whether to replace or add
// to rows of other files), every row checked; the question comes when it has
// loaded (OfferUndoMerge).
void MainWindow::UndoLastMergeCommand() {
  const std::u16string folder = HistoryFolderPath();
  const std::u16string newest = folder.empty() ? std::u16string() : NewestUndoFile(folder);
  if (newest.empty()) {
    MessageBoxW(window_, AsWide(NoUndoFileText(folder)), kMainCaption, MB_OK | MB_ICONINFORMATION);
    return;
  }
  if (!PrepareLoad(newest)) return;
  StartLoad(newest, true, {}, true);
  undo_load_ = newest;
}

// Every load has ended and the undo file's rows are in the list, checked:
// one question, asked by the merge in place of its usual confirmation.
void MainWindow::OfferUndoMerge() {
  const std::u16string undo = std::move(undo_load_);
  undo_load_.clear();
  if (undo.empty() || merge_ || loads_->running() > 0) return;
  size_t undo_rows = 0;
  const EntryStore& store = list_.store();
  for (size_t i = 0; i < store.size(); ++i) {
    const LoadSource* source = store.at(i).entry.key().source.get();
    undo_rows += source != nullptr && source->path == undo;
  }
  const MergeRecord record = ReadMergeRecord(undo);
  if (undo_rows == 0) {
    // A file that could not be loaded has had its message from the load.
    if (record.readable)
      MessageBoxW(window_,
                  AsWide(u"The undo file " + undo + u" lists no rows: the merge it takes back changed nothing."),
                  kMainCaption, MB_OK | MB_ICONINFORMATION);
    return;
  }
  MergeCommand(UndoQuestionText(record, undo_rows, list_.CheckedCount()));
}

// The dialog reads the folder when it opens; a preview loads the chosen undo
// file as a load does, its rows unchecked.
void MainWindow::HistoryCommand() {
  const std::u16string folder = HistoryFolderPath();
  if (folder.empty()) return ShowErrorBox(window_, u"The history folder could not be found.");
  const std::optional<std::u16string> preview = ShowHistoryDialog(window_, {folder, options_.show_in_folder});
  if (preview && PrepareLoad(*preview)) StartLoad(*preview, true);
}

}  // namespace hivemend
