// The merge: writes the checked rows of the list into the registry, in the
// list's current order, removing each row it takes; saves the undo file and,
// when something failed, the error log in the history folder; and tells the
// user the outcome.
//
// Runs on the thread that owns the list (the window's thread, or the console
// front end's). What the user sees goes through MergeUi, implemented by the
// window (message boxes, app/MergeCommand.cpp), by the console front end
// (printing) and by tests (recording).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "engine/EntryStore.h"
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

// Failure texts for rows that are not written at all.
inline constexpr std::u16string_view kUnknownTypeFormat =
    u"ERROR - Did not write key %s\\%s value %s: its type \"%s\" is not one that can be written\r\n";
inline constexpr std::u16string_view kUnknownRootFormat =
    u"ERROR - Did not write key %s\\%s value %s: \"%s\" is not a root key of the registry\r\n";
inline constexpr std::u16string_view kDataTooLargeFormat =
    u"ERROR - Did not write key %s\\%s value %s: its data is too large\r\n";

inline constexpr std::u16string_view kUndoFilePrefix = u"hivemend_undo_";
inline constexpr std::u16string_view kUndoFileExtension = u".reg";
inline constexpr std::u16string_view kErrorLogPrefix = u"hivemend_error_log_";
inline constexpr std::u16string_view kErrorLogExtension = u".log";

enum class MergeMessage {
  NoValues,        // the list is empty: error icon, OK (platform box)
  UndoFileFailed,  // the undo file could not be written: error icon, OK (platform box)
  ErrorLogFailed,  // the error log could not be written: error icon, OK (platform box)
  Success,         // information icon, OK (the program's message box)
  Failures,        // exclamation icon, OK (the program's message box)
};

class MergeUi {
 public:
  virtual ~MergeUi() = default;
  // The confirmation (question icon, Yes and No); true for Yes.
  virtual bool Confirm(std::u16string_view text) = 0;
  // One message, caption "Hivemend"; returns when it has been closed.
  virtual void Show(MergeMessage kind, std::u16string_view text) = 0;
};

// The rows loop alone: every checked row, from the first to the last, gets its
// undo step and is applied, and is then removed, whether or not it succeeded.
// A row whose root name or type name is unknown is not written: a failure text
// is recorded and the row is removed all the same. Unchecked rows stay.
// Returns the number of rows taken.
size_t MergeCheckedRows(EntryStore& store, Registry& registry, UndoText& undo, std::u16string& error_text);

struct MergeResult {
  bool confirmed = false;        // false: the list was empty, or the answer was No
  size_t rows_taken = 0;         // checked rows removed from the list
  bool undo_saved = false;
  std::u16string undo_path;       // the undo file, when saved
  std::u16string error_log_path;  // the error log, when saved
  std::u16string error_text;      // every failure text of this merge
};

// The whole command. history_folder is asked once, after the rows are
// written; an empty answer means there is no history folder.
MergeResult RunMerge(EntryStore& store, Registry& registry, MergeUi& ui,
                     const std::function<std::u16string()>& history_folder);

}  // namespace hivemend
