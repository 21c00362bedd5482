#include "app/WindowActions_win.h"

#include <commdlg.h>

#include "app/ListRules.h"
#include "platform/Environment.h"
#include "platform/File.h"
#include "platform/Process.h"
#include "platform/Registry.h"
#include "platform/WinString.h"

namespace hivemend {

std::optional<std::u16string> ChooseRegFile(HWND owner, const std::u16string& folder) {
  constexpr size_t kPathChars = 4096;
  wchar_t path[kPathChars] = L"";
  OPENFILENAMEW dialog{};
  dialog.lStructSize = sizeof dialog;
  dialog.hwndOwner = owner;
  dialog.lpstrFilter = L"REG Files\0*.REG\0";
  dialog.lpstrFile = path;
  dialog.nMaxFile = kPathChars;
  dialog.lpstrTitle = L"Select a REG file to load";
  dialog.lpstrDefExt = L"REG";
  if (!folder.empty()) dialog.lpstrInitialDir = AsWide(folder);
  if (!GetOpenFileNameW(&dialog)) return std::nullopt;
  return AsU16(path);
}

// The registry editor opens at the key it last showed, which it keeps for the
// user under its own settings key.
void OpenInRegistryEditor(const std::u16string& key) {
  if (Registry* registry = SystemRegistry()) {
    RegKey settings(*registry);
    if (settings.Create(RegRoot::CurrentUser, u"Software\\Microsoft\\Windows\\CurrentVersion\\Applets\\Regedit",
                        kKeyWrite) == kRegOk) {
      const std::u16string last = u"Computer\\" + key;
      (void)settings.Set(u"LastKey", kRegSz, reinterpret_cast<const std::uint8_t*>(last.c_str()),
                         static_cast<std::uint32_t>((last.size() + 1) * sizeof(char16_t)));
    }
  }
  wchar_t folder[MAX_PATH] = L"";
  const UINT length = GetWindowsDirectoryW(folder, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return;
  (void)StartProcess(AsU16(folder) + u"\\regedit.exe", {});
}

long RestartWithCheckedRows(EntryStore& store, const std::vector<std::u16string>& files,
                            const std::u16string& checked_switch,
                            const std::function<long(const std::vector<std::u16string>& arguments)>& start) {
  // The checked rows go by file in a file of their own: a command line has
  // no room for a large selection.
  const std::u16string selection =
      WriteNewFileDurably(TempFolder(), Utf16FileBytes(CheckedLinesText(store, files)),
                          [](int) { return u"hivemend-checked-" + RandomHexName() + u".txt"; });
  if (selection.empty()) return ERROR_CANNOT_MAKE;
  std::vector<std::u16string> arguments{checked_switch, selection};
  arguments.insert(arguments.end(), files.begin(), files.end());
  const long status = start(arguments);
  if (status != 0) (void)RemoveFile(selection);
  return status;
}

}  // namespace hivemend
