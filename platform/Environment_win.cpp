#include <windows.h>

#include "platform/Environment.h"
#include "platform/Process.h"
#include "platform/WinString.h"

namespace hivemend {

std::u16string ExpandEnvironmentText(std::u16string_view text) {
  const std::u16string source(text);
  // The size the system asks for includes the terminator.
  const std::u16string expanded = ReadUntilFits<char16_t>(
      source.size() + 64, 1u << 24, [&](char16_t* buffer, std::size_t capacity) -> std::size_t {
        const DWORD needed = ExpandEnvironmentStringsW(AsWide(source), reinterpret_cast<wchar_t*>(buffer),
                                                       static_cast<DWORD>(capacity));
        if (needed == 0) return 0;
        return needed <= capacity ? needed - 1 : capacity;
      });
  return expanded.empty() && !source.empty() ? source : expanded;
}

std::u16string TempFolder() {
  std::u16string folder = ReadUntilFits<char16_t>(MAX_PATH + 1, 1u << 16, [](char16_t* buffer, std::size_t capacity) {
    const DWORD length = GetTempPathW(static_cast<DWORD>(capacity), reinterpret_cast<wchar_t*>(buffer));
    return length < capacity ? static_cast<std::size_t>(length) : capacity;
  });
  while (folder.size() > 3 && (folder.back() == u'\\' || folder.back() == u'/')) folder.pop_back();
  return folder;
}

}  // namespace hivemend
