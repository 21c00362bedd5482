#include <windows.h>

#include "platform/FolderListing.h"
#include "platform/WinString.h"

namespace hivemend {

std::vector<FolderEntry> ListFolder(const std::u16string& folder) {
  std::vector<FolderEntry> entries;
  WIN32_FIND_DATAW found{};
  const HANDLE search = FindFirstFileExW(AsWide(folder + u"\\*"), FindExInfoBasic, &found, FindExSearchNameMatch,
                                         nullptr, FIND_FIRST_EX_LARGE_FETCH);
  if (search == INVALID_HANDLE_VALUE) return entries;
  do {
    const std::u16string name = AsU16(found.cFileName);
    if (name == u"." || name == u"..") continue;
    const ULARGE_INTEGER time{{found.ftLastWriteTime.dwLowDateTime, found.ftLastWriteTime.dwHighDateTime}};
    entries.push_back({name, (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0,
                       static_cast<std::int64_t>(time.QuadPart)});
  } while (FindNextFileW(search, &found));
  FindClose(search);
  return entries;
}

}  // namespace hivemend
