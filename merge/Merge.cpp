#include "merge/Merge.h"

#include <limits>
#include <span>
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
  AppendErrorLogText(error_text, FormatMessageText(format, {entry.key().root_name, entry.key().path,
                                                            ErrorLogValueName(entry.name()), reason}));
}

void MergeRow(const ChangeEntry& entry, Registry& registry, UndoText& undo, std::u16string& error_text) {
  const std::optional<RegRoot> root = entry.root();
  if (!root) return Refuse(entry, kUnknownRootFormat, entry.key().root_name, error_text);
  const std::uint32_t type = entry.type();
  if (type == kUnknownValueType) return Refuse(entry, kUnknownTypeFormat, TypeName(type), error_text);

  // The row's bytes are what is written: a string's decoded text with its NUL,
  // the data block of the other forms. The registry reads one character past
  // string data that lacks its NUL, to see whether the NUL was merely left out
  // of the count: the bytes are passed with zero bytes after them.
  const std::span<const std::uint8_t> bytes = type == DELETE_VALUE_TYPE ? std::span<const std::uint8_t>()
                                                                        : entry.file_bytes();
  if (bytes.size() > std::numeric_limits<std::uint32_t>::max() - kBlockSpareBytes)
    return Refuse(entry, kDataTooLargeFormat, {}, error_text);
  std::vector<std::uint8_t> block;
  if (!bytes.empty()) {
    block.reserve(bytes.size() + kBlockSpareBytes);
    block.assign(bytes.begin(), bytes.end());
    block.resize(bytes.size() + kBlockSpareBytes, 0);
  }

  UndoRow row;
  row.hive = entry.key().root_name;
  row.root = *root;
  row.key = entry.key().path;
  row.value_name = entry.name();
  row.status = entry.status();
  row.type = type;
  undo.Record(registry, row, error_text);
  ApplyValueChange(registry, *root, entry.key().path, entry.name(), type, block.empty() ? nullptr : block.data(),
                   static_cast<std::uint32_t>(bytes.size()), error_text);
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
