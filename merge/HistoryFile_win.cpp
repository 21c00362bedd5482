#include <windows.h>

#include "merge/HistoryFile.h"
#include "platform/WinString.h"

namespace hivemend::history_file {

std::u16string CreatePlaceholder(const std::u16string& folder, std::u16string_view prefix) {
  wchar_t path[4096] = {};
  const std::u16string pre(prefix);
  if (GetTempFileNameW(AsWide(folder), AsWide(pre), 0, path) == 0) return {};
  return AsU16(path);
}

bool Exists(const std::u16string& path) {
  return GetFileAttributesW(AsWide(path)) != INVALID_FILE_ATTRIBUTES;
}

void Delete(const std::u16string& path) { DeleteFileW(AsWide(path)); }

}  // namespace hivemend::history_file
