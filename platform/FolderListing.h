// A folder's entries with what the listing itself tells of each, without
// asking the file system about every file again (a folder of thousands of
// files is listed in a few system calls on Windows).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace hivemend {

struct FolderEntry {
  std::u16string name;  // without the folder
  bool directory = false;
  // Time of last change in the system's own ticks: compared only with other
  // entries' times of the same system.
  std::int64_t modified = 0;
};

// The entries of folder (not "." and ".."), in no particular order; empty when
// it cannot be listed.
std::vector<FolderEntry> ListFolder(const std::u16string& folder);

}  // namespace hivemend
