#include "app/HistoryRows.h"

#include "platform/Text.h"

namespace hivemend {
namespace {

std::u16string NameOf(const std::u16string& path) {
  const size_t slash = path.find_last_of(u"\\/");
  return slash == std::u16string::npos ? path : path.substr(slash + 1);
}

std::u16string Rows(size_t rows) { return Decimal(rows) + (rows == 1 ? u" row" : u" rows"); }

// "the merge of 2026-12-08 23:15:00 (a.reg, b.reg)", or of the undo file when
// the file does not say when.
std::u16string MergeNamed(const MergeRecord& record) {
  if (record.time.empty()) return u"the merge that " + NameOf(record.undo_path) + u" takes back";
  std::u16string text = u"the merge of " + record.time;
  if (!record.merged_files.empty()) text += u" (" + HistoryRowTexts(record)[1] + u")";
  return text;
}

}  // namespace

std::array<std::u16string, 5> HistoryRowTexts(const MergeRecord& record) {
  std::array<std::u16string, 5> texts;
  texts[3] = record.error_log_path.empty() ? u"No" : u"Yes";
  texts[4] = NameOf(record.undo_path);
  if (!record.readable) {
    texts[0] = u"(damaged)";
    texts[1] = u"Not a readable undo file of Hivemend";
    return texts;
  }
  texts[0] = record.time.empty() ? u"(not recorded)" : record.time;
  for (const std::u16string& file : record.merged_files) texts[1] += (texts[1].empty() ? u"" : u", ") + NameOf(file);
  texts[2] = record.rows ? Decimal(*record.rows) : u"(not recorded)";
  return texts;
}

std::u16string HistoryCountText(size_t merges) {
  return merges == 1 ? u"1 merge" : Decimal(merges) + u" merges";
}

std::u16string NoUndoFileText(const std::u16string& folder) {
  return u"There is no undo file in the history folder " + folder +
         u": no merge has been made here yet, or its files were removed.";
}

std::u16string UndoQuestionText(const MergeRecord& record, size_t undo_rows, size_t checked) {
  std::u16string text = u"The list now holds the " + Rows(undo_rows) + u" of the undo file " +
                        NameOf(record.undo_path) + u", which takes back " + MergeNamed(record) + u".\r\n\r\n";
  if (checked != undo_rows) text += u"With the rows it held before, " + Decimal(checked) + u" are checked.\r\n\r\n";
  return text + u"Merge the checked rows into the registry now? The undo is a merge of its own: it saves an "
                u"undo file too, which takes the undo back.";
}

}  // namespace hivemend
