#include <windows.h>

#include <shellapi.h>

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

bool StartProcessVerbatim(const std::u16string& program, std::u16string_view arguments_text) {
  std::u16string command_line = CommandLineOf(program, {});
  if (!arguments_text.empty()) {
    command_line += u' ';
    command_line += arguments_text;
  }
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process = {};
  const BOOL started = CreateProcessW(AsWide(program), reinterpret_cast<wchar_t*>(command_line.data()), nullptr,
                                      nullptr, FALSE, 0, nullptr, nullptr, &startup, &process);
  const ScopedHandle process_handle(process.hProcess);
  const ScopedHandle thread_handle(process.hThread);
  return started && process_handle;
}

bool StartProcess(const std::u16string& program, std::initializer_list<std::u16string_view> arguments) {
  return StartProcessVerbatim(program, ArgumentsText(std::vector<std::u16string>(arguments.begin(), arguments.end())));
}

long StartProcessElevatedVerbatim(const std::u16string& program, std::u16string_view arguments_text, void* owner) {
  const std::u16string parameters(arguments_text);
  SHELLEXECUTEINFOW info{};
  info.cbSize = sizeof info;
  info.fMask = SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;
  info.hwnd = static_cast<HWND>(owner);
  info.lpVerb = L"runas";
  info.lpFile = AsWide(program);
  info.lpParameters = AsWide(parameters);
  info.nShow = SW_SHOWNORMAL;
  if (ShellExecuteExW(&info)) return 0;
  const DWORD error = GetLastError();
  return error != 0 ? static_cast<long>(error) : static_cast<long>(ERROR_GEN_FAILURE);
}

long StartProcessElevated(const std::u16string& program, const std::vector<std::u16string>& arguments, void* owner) {
  return StartProcessElevatedVerbatim(program, ArgumentsText(arguments), owner);
}

bool ProcessIsElevated() {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
  const ScopedHandle owned(token);
  TOKEN_ELEVATION elevation{};
  DWORD size = 0;
  return GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size) &&
         elevation.TokenIsElevated != 0;
}

}  // namespace hivemend
