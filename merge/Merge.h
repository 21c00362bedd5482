// The merge: writes the checked rows of the list into the registry, in the
// order of their lines in the files they came from. Before anything is
// written, the state of everything the rows change is recorded as an undo
// file, saved completely in the history folder; when it cannot be saved,
// nothing is written. Rows that were written leave the list; rows that failed
// stay, checked. Failures are saved as an error log; the user is told the
// outcome.
//
// Runs on the thread that owns the list (the window's thread, or the console
// front end's). What the user sees goes through MergeUi, implemented by the
// window (message boxes, app/MergeCommand.cpp), by the console front end
// (printing) and by tests (recording).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/EntryStore.h"
#include "merge/HistoryFile.h"
#include "merge/UndoText.h"
#include "platform/Registry.h"

namespace hivemend {

inline constexpr std::u16string_view kNoValuesText = u"There are no values to merge!";
inline constexpr std::u16string_view kConfirmMergeText =
    u"The checked changes will be merged into your registry. Since this software is in ALPHA stage "
    u"(testing), we recommend creating a restore import and manually backing up the affected keys with a "
    u"REG export using RegEdit - just for extra safety. Are you absolutely sure you want to merge these "
    u"changes?";
inline constexpr std::u16string_view kUndoFileFailedText = u"ERROR Writing the REG undo file to disk!";
inline constexpr std::u16string_view kErrorLogFailedText = u"ERROR Writing the error log file to disk!";
inline constexpr std::u16string_view kMergeSuccessText = u"Changes successfully applied!";
inline constexpr std::u16string_view kMergeFailuresFormat =
    u"The following errors were recorded to the error log file %s:\r\n\r\n%s";
// A merge stopped by the user between two rows: how many rows were written of
// how many checked, and the undo file that takes them back.
inline constexpr std::u16string_view kMergeCancelledFormat =
    u"Merging was cancelled: %s of %s checked rows were merged before the cancel. The undo file %s takes them "
    u"back.";
// Before the failures, when checked rows were not merged: how many of how many.
inline constexpr std::u16string_view kRowsLeftOutFormat =
    u"%s of the %s checked rows were not merged: they stay in the list, checked.\r\n\r\n";

// Failure texts for rows that are not written at all (each a row that stays).
// The last argument: the row's problem ("line 12: ...").
inline constexpr std::u16string_view kRefusedLineFormat = u"ERROR - Did not write key %s\\%s value %s: %s\r\n";
inline constexpr std::u16string_view kUnknownRootFormat =
    u"ERROR - Did not write key %s\\%s value %s: \"%s\" is not a root key of the registry\r\n";
inline constexpr std::u16string_view kDataTooLargeFormat =
    u"ERROR - Did not write key %s\\%s value %s: its data is too large\r\n";
inline constexpr std::u16string_view kRootKeyDeletionFormat =
    u"ERROR - Did not delete key %s\\%s: a root key is not deleted\r\n";
inline constexpr std::u16string_view kSubtreeUnreadableFormat =
    u"ERROR - Did not delete key %s\\%s: it could not be read for the UNDO REG File (%s)\r\n";
inline constexpr std::u16string_view kValueNotWritableFormat =
    u"ERROR - Did not write key %s\\%s value %s: this account may not change that key\r\n";
inline constexpr std::u16string_view kKeyNotWritableFormat =
    u"ERROR - Did not change key %s\\%s: this account may not change that key\r\n";

// The rows that the account may not write, named before anything is written:
// the count, the checked rows' count and the keys (at most kUnwritableKeysShown,
// then how many more).
inline constexpr std::u16string_view kUnwritableFormat =
    u"This account may not change the keys of %s of the %s checked rows:\r\n\r\n%s";
inline constexpr std::u16string_view kMoreKeysFormat = u"... and %s more keys\r\n";
inline constexpr size_t kUnwritableKeysShown = 12;


enum class MergeMessage {
  NoValues,        // the list is empty: error icon, OK (platform box)
  UndoFileFailed,  // the undo file could not be written: error icon, OK (platform box)
  ErrorLogFailed,  // the error log could not be written: error icon, OK (platform box)
  Success,         // information icon, OK (the program's message box)
  Failures,        // exclamation icon, OK (the program's message box)
  Cancelled,       // information icon, OK (the program's message box)
};

// The two steps of a merge that go row by row.
enum class MergeStep {
  RecordingUndo,  // reading the state before the merge; nothing is written
  Writing,
};

// What to do when the account may not write some checked rows.
enum class UnwritableChoice {
  Restart,      // write nothing here: the program starts again with more rights
  MergeOthers,  // leave those rows out (they stay, with a failure text) and merge the rest
  Cancel,       // write nothing
};

struct MergeResult;

class MergeUi {
 public:
  virtual ~MergeUi() = default;
  // Before anything else: the rows the account may not write (text: which
  // ones). others: whether any checked row remains that it may write.
  // MergeOthers without others logs every checked row and writes nothing.
  virtual UnwritableChoice ChooseForUnwritable(std::u16string_view text, bool others) = 0;
  // The confirmation (question icon, Yes and No); true for Yes.
  virtual bool Confirm(std::u16string_view text) = 0;
  // One message, caption "Hivemend"; returns when it has been closed.
  virtual void Show(MergeMessage kind, std::u16string_view text) = 0;
  // The outcome of a merge that saved its undo file (Success, Failures or
  // Cancelled): the window adds MergeOutcomeDetails and a way to the file.
  virtual void ShowOutcome(MergeMessage kind, std::u16string_view text, const MergeResult& /*result*/) {
    Show(kind, text);
  }
  // Before each row of a step (done rows of total); false stops the merge
  // there. Called on the merge's thread.
  virtual bool Progress(MergeStep, size_t /*done*/, size_t /*total*/) { return true; }
  // Runs change, which removes merged rows from the store, where the store may
  // be changed: a window whose merge runs on another thread runs it on its own
  // thread. Everything else the merge does only reads the store.
  virtual void ChangeRows(const std::function<void()>& change) { change(); }
};

// How recent the rows' reading of the registry is.
enum class RowsRead {
  // By loads that may be long past (a preview may be hours old): a key that
  // changed since its load compared its rows is read again.
  Earlier,
  // By the one load that ran just before the merge, through the same registry
  // (the console's merge): what it read is the state before the merge, and
  // keys are not asked when they last changed.
  JustBefore,
};

// The rows of one merge, in two steps: first the undo text is recorded
// (reading the registry, writing nothing), then the rows are written.
//  - Rows are taken in the order of their loads, and within a load in the
//    order of their lines, whatever order the list shows.
//  - A value's state is read once: from the row, when its key has not changed
//    since the row's load compared it (or the rows were read JustBefore), else
//    from the registry. Keys stay open from the undo step to the writing.
//  - A refused line (its reason is logged), a row whose root name is unknown,
//    or a row that would delete a root
//    key or a subtree that cannot be read, is not written: a failure text is
//    recorded and the row stays.
class RowMerge {
 public:
  RowMerge(EntryStore& store, Registry& registry, RowsRead rows_read = RowsRead::Earlier);
  ~RowMerge();
  RowMerge(const RowMerge&) = delete;
  RowMerge& operator=(const RowMerge&) = delete;

  // The files the checked rows came from, in merge order.
  std::vector<std::u16string> SourceFiles() const;
  // Takes the checked rows anew (rows may have come while a question was
  // open), keeping the keys already opened.
  void Rescan();
  // Asks the registry, writing nothing, which checked rows the account may
  // not write: a value's or created key's key (or, when it does not exist yet,
  // the nearest key above it that does) refused for writing, a key to delete
  // refused for deletion. Only "access denied" counts: any other failure (a
  // name the registry refuses) is met by the merge and logged with its system
  // text. Returns their number; UnwritableText names them.
  size_t CheckWriteAccess();
  std::u16string UnwritableText() const;
  // Leaves out the rows CheckWriteAccess found: each gets a failure text and
  // stays in the list, checked.
  void LeaveOutUnwritable(std::u16string& error_text);
  size_t checked() const;
  // Records the state before the merge of everything the checked rows change.
  // ui (may be null) is told the progress and may stop the step.
  void RecordUndo(UndoText& undo, std::u16string& error_text, MergeUi* ui = nullptr);
  // Writes the checked rows, removes those written from the store (through
  // ui->ChangeRows) and leaves the others checked. Returns the number written.
  size_t Apply(std::u16string& error_text, MergeUi* ui = nullptr);
  size_t failed() const { return failed_; }
  // A step was stopped by the user: RecordUndo recorded part of the rows,
  // Apply wrote the rows before the stop and left the rest checked.
  bool cancelled() const { return cancelled_; }

 private:
  struct State;
  std::unique_ptr<State> state_;
  size_t failed_ = 0;
  bool cancelled_ = false;
};

// Both steps at once, without an undo file (tests, the round trip).
size_t MergeCheckedRows(EntryStore& store, Registry& registry, UndoText& undo, std::u16string& error_text,
                        RowsRead rows_read = RowsRead::Earlier);

struct MergeResult {
  bool confirmed = false;        // false: the list was empty, or the answer was No
  size_t rows_taken = 0;         // checked rows written and removed from the list
  size_t rows_failed = 0;        // checked rows that stay in the list
  bool stopped = false;          // the undo file could not be saved: nothing was written
  bool restart = false;          // the user chose to start again with more rights: nothing was written
  bool cancelled = false;        // the user stopped the merge between two rows
  size_t rows_checked = 0;       // checked rows when the merge was confirmed
  size_t rows_unwritable = 0;    // checked rows the account may not write
  bool undo_saved = false;
  std::u16string undo_path;       // the undo file, when saved
  std::u16string error_log_path;  // the error log, when saved
  std::u16string error_text;      // every failure text of this merge
};

// What the window adds to a merge's outcome: "Merged N rows.", the undo file's
// name and, when there is one, the error log's ("Undo file: NAME\r\nError
// log: NAME"); and what its status bar keeps: "Merged N rows; undo: NAME".
std::u16string MergeOutcomeDetails(const MergeResult& result);
std::u16string MergedStatusText(const MergeResult& result);

// The whole command. The rows the account may not write are named first;
// then the confirmation. history_folder is asked once, before anything is
// written; an empty answer means there is no history folder, and so no merge.
MergeResult RunMerge(EntryStore& store, Registry& registry, MergeUi& ui,
                     const std::function<std::u16string()>& history_folder, RowsRead rows_read = RowsRead::Earlier);

}  // namespace hivemend
