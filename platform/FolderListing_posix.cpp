#include <filesystem>

#include "platform/FolderListing.h"

namespace hivemend {

std::vector<FolderEntry> ListFolder(const std::u16string& folder) {
  namespace fs = std::filesystem;
  std::vector<FolderEntry> entries;
  std::error_code ec;
  for (fs::directory_iterator it(fs::path(folder), ec), end; !ec && it != end; it.increment(ec)) {
    std::error_code entry_ec;
    const fs::file_time_type time = it->last_write_time(entry_ec);
    entries.push_back({it->path().filename().u16string(), it->is_directory(entry_ec),
                       static_cast<std::int64_t>(time.time_since_epoch().count())});
  }
  return entries;
}

}  // namespace hivemend
