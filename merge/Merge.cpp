#include "merge/Merge.h"

#include <limits>
#include <vector>

#include "merge/HistoryFile.h"
#include "merge/RegistryWriter.h"
#include "platform/File.h"
#include "platform/Text.h"

namespace hivemend {
namespace {

constexpr size_t kBlockSpareBytes = 16;

void Refuse(const ChangeEntry& entry, std::u16string_view format, std::u16string_view reason,
            std::u16string& error_text) {
  AppendErrorLogText(error_text, FormatMessageText(format, {entry.hive, entry.key,
                                                            ErrorLogValueName(entry.value_name), reason}));
}

void MergeRow(const ChangeEntry& entry, Registry& registry, UndoText& undo, std::u16string& error_text) {
  const std::optional<RegRoot> root = RootFromName(entry.hive);
  if (!root) return Refuse(entry, kUnknownRootFormat, entry.hive, error_text);
  const std::uint32_t type = TypeCodeFromName(entry.type_name);
  if (type == UNKNOWN_VALUE_TYPE) return Refuse(entry, kUnknownTypeFormat, entry.type_name, error_text);

  // A string row's data of record is its whole "REG file data" text, stored
  // with its NUL; the other rows carry their data block.
  const std::uint8_t* data = nullptr;
  size_t size = 0;
  std::vector<std::uint8_t> block;
  if (type == kRegSz) {
    data = reinterpret_cast<const std::uint8_t*>(entry.file_data.c_str());
    size = (entry.file_data.size() + 1) * sizeof(char16_t);
  } else if (type != DELETE_VALUE_TYPE && entry.data) {
    // The registry reads one character past string data that lacks its NUL,
    // to see whether the NUL was merely left out of the count: the bytes are
    // passed with zero bytes after them, as a data block has them.
    block.reserve(entry.data->size() + kBlockSpareBytes);
    block.assign(entry.data->begin(), entry.data->end());
    size = block.size();
    block.resize(size + kBlockSpareBytes, 0);
    data = block.data();
  }
  if (size > std::numeric_limits<std::uint32_t>::max()) return Refuse(entry, kDataTooLargeFormat, {}, error_text);

  UndoRow row;
  row.hive = entry.hive;
  row.root = *root;
  row.key = entry.key;
  row.value_name = entry.value_name;
  row.status = entry.status;
  row.type = type;
  undo.Record(registry, row, error_text);
  ApplyValueChange(registry, *root, entry.key, entry.value_name, type, size ? data : nullptr,
                   static_cast<std::uint32_t>(size), error_text);
}

}  // namespace

size_t MergeCheckedRows(EntryStore& store, Registry& registry, UndoText& undo, std::u16string& error_text) {
  size_t taken = 0;
  size_t i = 0;
  while (i < store.size()) {
    if (!store.at(i).checked) {
      ++i;
      continue;
    }
    MergeRow(store.at(i).entry, registry, undo, error_text);
    store.Remove(i);  // the next row moves up into index i
    ++taken;
  }
  return taken;
}

MergeResult RunMerge(EntryStore& store, Registry& registry, MergeUi& ui,
                     const std::function<std::u16string()>& history_folder) {
  MergeResult result;
  if (store.empty()) {
    ui.Show(MergeMessage::NoValues, kNoValuesText);
    return result;
  }
  if (!ui.Confirm(kConfirmMergeText)) return result;
  result.confirmed = true;

  UndoText undo;
  result.rows_taken = MergeCheckedRows(store, registry, undo, result.error_text);

  // A merge whose undo file is missing must not pass for a safe one: every way
  // of not writing it is reported.
  const std::u16string folder = history_folder ? history_folder() : std::u16string();
  if (!folder.empty()) {
    std::u16string path = NewHistoryFileName(folder, kUndoFilePrefix, kUndoFileExtension);
    if (!path.empty() && WriteUnicodeTextFile(path, undo.text())) {
      result.undo_path = std::move(path);
      result.undo_saved = true;
    }
  }
  if (!result.undo_saved) ui.Show(MergeMessage::UndoFileFailed, kUndoFileFailedText);

  if (result.error_text.empty()) {
    ui.Show(MergeMessage::Success, kMergeSuccessText);
    return result;
  }
  if (!folder.empty()) {
    std::u16string path = NewHistoryFileName(folder, kErrorLogPrefix, kErrorLogExtension);
    if (!path.empty() && WriteUnicodeTextFile(path, result.error_text)) result.error_log_path = std::move(path);
  }
  if (result.error_log_path.empty()) ui.Show(MergeMessage::ErrorLogFailed, kErrorLogFailedText);
  ui.Show(MergeMessage::Failures,
          FormatMessageText(kMergeFailuresFormat, {result.error_log_path, result.error_text}));
  return result;
}

}  // namespace hivemend
