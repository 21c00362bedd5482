// What the window says about past merges: the History dialog's columns for
// one merge, and the question that Undo last merge asks. Portable, so that
// it is tested natively.
#pragma once

#include <array>
#include <cstddef>
#include <string>

#include "merge/HistoryFile.h"

namespace hivemend {

// The History dialog's columns, in order.
inline constexpr std::array<std::u16string_view, 5> kHistoryColumns = {u"Time", u"Merged file(s)", u"Rows",
                                                                       u"Errors logged", u"Undo file"};
// One merge as the dialog lists it. A file that is not a readable undo file is
// listed as such, under its own name.
std::array<std::u16string, 5> HistoryRowTexts(const MergeRecord& record);

// The dialog's line under the list: how many merges it lists.
std::u16string HistoryCountText(size_t merges);

// When the history folder holds no undo file.
std::u16string NoUndoFileText(const std::u16string& folder);
// Asked once the newest undo file's rows are loaded and checked: checked is
// the number of checked rows in the list (those of the undo file and any
// others the user added to).
std::u16string UndoQuestionText(const MergeRecord& record, size_t undo_rows, size_t checked);

}  // namespace hivemend
