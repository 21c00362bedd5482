#include "merge/HistoryFile.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <set>
#include <vector>

#include "platform/HistoryFolder.h"
#include "platform/FolderListing.h"
#include "platform/Text.h"

namespace hivemend {

namespace {

constexpr std::u16string_view kCommentsStart = u"; Hivemend undo file, saved before the merge of ";
constexpr std::u16string_view kCommentsStartEnd = u" changed anything.";
constexpr std::u16string_view kMergedFile = u"; Merged file: ";
constexpr std::u16string_view kRows = u"; Rows: ";
// Comment lines are short; a file names at most a few merged files.
constexpr size_t kCommentBytes = 16 * 1024;

std::u16string_view FileNameOf(std::u16string_view path) {
  const size_t slash = path.find_last_of(u"\\/");
  return slash == std::u16string_view::npos ? path : path.substr(slash + 1);
}

std::u16string TwoDigits(int value) {
  std::u16string text = Decimal(static_cast<std::uint32_t>(value));
  return text.size() < 2 ? u"0" + text : text;
}

// A counter follows the stem from the second attempt on.
std::u16string NumberedName(std::u16string_view prefix, std::u16string_view stem, int attempt,
                            std::u16string_view extension) {
  std::u16string name(prefix);
  name += stem;
  if (attempt > 1) name += u"-" + Decimal(static_cast<std::uint32_t>(attempt));
  name += extension;
  return name;
}

std::string ReadStart(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::string bytes(kCommentBytes, '\0');
  in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  bytes.resize(in ? bytes.size() : static_cast<size_t>(std::max<std::streamsize>(in.gcount(), 0)));
  return bytes;
}

}  // namespace

std::u16string HistoryFolderFor(const std::u16string& chosen, bool make) {
  if (chosen.empty()) return HistoryFolder();
  if (make) {
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(chosen), ec);
  }
  return chosen;
}

MergeTime MergeTimeOf(const LocalTime& time) {
  const std::u16string year = Decimal(static_cast<std::uint32_t>(time.year));
  MergeTime names;
  names.shown = year + u"-" + TwoDigits(time.month) + u"-" + TwoDigits(time.day) + u" " + TwoDigits(time.hour) +
                u":" + TwoDigits(time.minute) + u":" + TwoDigits(time.second);
  names.stem = year + TwoDigits(time.month) + TwoDigits(time.day) + u"-" + TwoDigits(time.hour) +
               TwoDigits(time.minute) + TwoDigits(time.second);
  return names;
}

std::u16string UndoFileName(std::u16string_view stem, int attempt) {
  return NumberedName(kUndoFilePrefix, stem, attempt, kUndoFileExtension);
}

std::u16string ErrorLogName(std::u16string_view stem, int attempt) {
  return NumberedName(kErrorLogPrefix, stem, attempt, kErrorLogExtension);
}

bool IsUndoFileName(std::u16string_view name) {
  return name.size() > kUndoFilePrefix.size() + kUndoFileExtension.size() &&
         EqualsNoCase(name.substr(0, kUndoFilePrefix.size()), kUndoFilePrefix) &&
         EqualsNoCase(name.substr(name.size() - kUndoFileExtension.size()), kUndoFileExtension);
}

std::u16string UndoFileStem(std::u16string_view undo_path) {
  const std::u16string_view name = FileNameOf(undo_path);
  if (!IsUndoFileName(name)) return {};
  return std::u16string(
      name.substr(kUndoFilePrefix.size(), name.size() - kUndoFilePrefix.size() - kUndoFileExtension.size()));
}

std::u16string ErrorLogPathFor(std::u16string_view undo_path) {
  const std::u16string_view name = FileNameOf(undo_path);
  if (!IsUndoFileName(name)) return {};
  return std::u16string(undo_path.substr(0, undo_path.size() - name.size())) + ErrorLogName(UndoFileStem(name), 1);
}

std::u16string ErrorLogHeader(const std::vector<std::u16string>& merged_files, std::u16string_view when) {
  std::u16string text = u"Hivemend error log of the merge of " + std::u16string(when) + u"\r\n";
  for (const std::u16string& file : merged_files) text += u"Merged file: " + file + u"\r\n";
  return text + u"\r\n";
}

std::u16string UndoComments(const std::vector<std::u16string>& merged_files, std::u16string_view when,
                            std::uint64_t rows) {
  std::u16string text = std::u16string(kCommentsStart) + std::u16string(when) + std::u16string(kCommentsStartEnd) + u"\r\n";
  for (const std::u16string& file : merged_files) text += std::u16string(kMergedFile) + file + u"\r\n";
  text += std::u16string(kRows) + Decimal(rows) + u"\r\n";
  text += u"; To take that merge back, load this file in Hivemend, check every row and merge them.\r\n\r\n";
  return text;
}

MergeRecord ReadUndoComments(std::string_view bytes) {
  MergeRecord record;
  record.readable = false;
  if (bytes.size() < 2 || static_cast<unsigned char>(bytes[0]) != 0xFF || static_cast<unsigned char>(bytes[1]) != 0xFE)
    return record;
  std::u16string text((bytes.size() - 2) / 2, u'\0');
  for (size_t i = 0; i < text.size(); ++i) {
    text[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 + 2 * i]) |
                                    (static_cast<unsigned char>(bytes[3 + 2 * i]) << 8));
  }
  std::u16string_view rest(text);
  bool first = true;
  // Whole lines only: the last one may be cut where the kept bytes end.
  for (size_t end; (end = rest.find(u"\r\n")) != std::u16string_view::npos; rest.remove_prefix(end + 2)) {
    const std::u16string_view line = rest.substr(0, end);
    if (first) {
      if (line != u"Windows Registry Editor Version 5.00") return record;
      first = false;
      continue;
    }
    if (line.empty() && !record.readable) continue;  // the empty line after the header
    if (line.empty() || line[0] != u';') break;      // the comments end
    if (line.starts_with(kCommentsStart) && line.ends_with(kCommentsStartEnd)) {
      record.readable = true;
      record.time.assign(line.substr(kCommentsStart.size(),
                                     line.size() - kCommentsStart.size() - kCommentsStartEnd.size()));
    } else if (line.starts_with(kMergedFile)) {
      record.merged_files.emplace_back(line.substr(kMergedFile.size()));
    } else if (line.starts_with(kRows)) {
      bool digit = false;
      std::uint64_t rows = 0;
      for (char16_t c : line.substr(kRows.size())) {
        if (c < u'0' || c > u'9' || rows > UINT64_MAX / 10 - 1) {
          digit = false;
          break;
        }
        rows = rows * 10 + (c - u'0');
        digit = true;
      }
      if (digit) record.rows = rows;
    }
  }
  return record;
}

namespace {

struct UndoFileEntry {
  std::filesystem::file_time_type time;
  std::u16string path;
  bool operator<(const UndoFileEntry& other) const {
    return time != other.time ? time < other.time : path < other.path;
  }
};

// The undo files of a folder with their times of last change, and the names
// of every file there (in lower case).
std::vector<UndoFileEntry> UndoFiles(const std::u16string& folder, std::set<std::u16string>* names) {
  namespace fs = std::filesystem;
  std::vector<UndoFileEntry> files;
  std::error_code ec;
  for (fs::directory_iterator it(fs::path(folder), ec), end; !ec && it != end; it.increment(ec)) {
    std::error_code entry_ec;
    const std::u16string name = it->path().filename().u16string();
    if (names) names->insert(FoldedCopy(name));
    if (!IsUndoFileName(name) || !it->is_regular_file(entry_ec)) continue;
    const fs::file_time_type time = it->last_write_time(entry_ec);
    if (!entry_ec) files.push_back({time, it->path().u16string()});
  }
  return files;
}

// Newest first: by time of last change, then by name.
std::vector<UndoFileEntry> NewestFirst(std::vector<UndoFileEntry> files) {
  std::sort(files.begin(), files.end(), [](const UndoFileEntry& a, const UndoFileEntry& b) { return b < a; });
  return files;
}

}  // namespace

std::vector<MergeRecord> ReadHistory(const std::u16string& folder) {
  std::set<std::u16string> names;
  const std::vector<UndoFileEntry> files = NewestFirst(UndoFiles(folder, &names));
  std::vector<MergeRecord> records;
  records.reserve(files.size());
  for (const UndoFileEntry& file : files) {
    MergeRecord record = ReadUndoComments(ReadStart(std::filesystem::path(file.path)));
    record.undo_path = file.path;
    std::u16string log = ErrorLogPathFor(file.path);
    if (!log.empty() && names.count(FoldedCopy(FileNameOf(log)))) record.error_log_path = std::move(log);
    records.push_back(std::move(record));
  }
  return records;
}

// From the folder's listing alone: no file is asked about one by one.
std::vector<std::u16string> UndoFilesNewestFirst(const std::u16string& folder) {
  std::vector<FolderEntry> entries = ListFolder(folder);
  std::erase_if(entries, [](const FolderEntry& e) { return e.directory || !IsUndoFileName(e.name); });
  std::sort(entries.begin(), entries.end(), [](const FolderEntry& a, const FolderEntry& b) {
    return a.modified != b.modified ? a.modified > b.modified : a.name > b.name;
  });
  const std::u16string prefix = folder.empty() || folder.back() == u'\\' || folder.back() == u'/'
                                    ? folder
                                    : folder + std::u16string(1, std::filesystem::path::preferred_separator);
  std::vector<std::u16string> paths;
  paths.reserve(entries.size());
  for (const FolderEntry& entry : entries) paths.push_back(prefix + entry.name);
  return paths;
}

MergeRecord ReadMergeRecord(const std::u16string& undo_path) {
  MergeRecord record = ReadUndoComments(ReadStart(std::filesystem::path(undo_path)));
  record.undo_path = undo_path;
  std::u16string log = ErrorLogPathFor(undo_path);
  std::error_code ec;
  if (!log.empty() && std::filesystem::is_regular_file(std::filesystem::path(log), ec))
    record.error_log_path = std::move(log);
  return record;
}

std::u16string NewestUndoFile(const std::u16string& folder) {
  const std::vector<UndoFileEntry> files = UndoFiles(folder, nullptr);
  const auto newest = std::max_element(files.begin(), files.end());
  return newest == files.end() ? std::u16string() : newest->path;
}

// Two seconds later than the newest other file, the step of the coarsest
// file systems.
void KeepNewest(const std::u16string& undo_path) {
  namespace fs = std::filesystem;
  std::error_code ec;
  const fs::path path(undo_path);
  const fs::file_time_type own = fs::last_write_time(path, ec);
  if (ec) return;
  std::optional<fs::file_time_type> others;
  for (const UndoFileEntry& file : UndoFiles(path.parent_path().u16string(), nullptr)) {
    if (fs::path(file.path) != path && (!others || file.time > *others)) others = file.time;
  }
  if (others && *others >= own) fs::last_write_time(path, *others + std::chrono::seconds(2), ec);
}

}  // namespace hivemend
