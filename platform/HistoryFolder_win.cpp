#include <windows.h>
#include <shlobj.h>

#include "platform/HistoryFolder.h"
#include "platform/WinString.h"

namespace hivemend {

std::u16string HistoryFolder() {
  wchar_t path[4096] = {};
  if (!SHGetSpecialFolderPathW(nullptr, path, CSIDL_APPDATA, TRUE)) return {};
  CreateDirectoryW(path, nullptr);  // failure (it exists) is fine
  std::u16string folder = AsU16(path) + u"\\Hivemend";
  CreateDirectoryW(AsWide(folder), nullptr);
  return folder;
}

}  // namespace hivemend
