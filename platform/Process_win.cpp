#include <windows.h>

#include "platform/Process.h"
#include "platform/UniqueHandle_win.h"
#include "platform/WinString.h"

namespace hivemend {

std::u16string ProgramPath() {
  // A cut path fills the whole buffer; the longest path is 32767 characters.
  return ReadUntilFits<char16_t>(MAX_PATH, 1u << 16, [](char16_t* buffer, std::size_t capacity) -> std::size_t {
    return GetModuleFileNameW(nullptr, reinterpret_cast<wchar_t*>(buffer), static_cast<DWORD>(capacity));
  });
}

bool StartProcess(const std::u16string& program, std::initializer_list<std::u16string_view> arguments) {
  std::u16string command_line = CommandLineOf(program, arguments);
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process = {};
  const BOOL started = CreateProcessW(AsWide(program), reinterpret_cast<wchar_t*>(command_line.data()), nullptr,
                                      nullptr, FALSE, 0, nullptr, nullptr, &startup, &process);
  const ScopedHandle process_handle(process.hProcess);
  const ScopedHandle thread_handle(process.hThread);
  return started && process_handle;
}

}  // namespace hivemend
