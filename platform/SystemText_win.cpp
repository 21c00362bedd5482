#include <windows.h>

#include "platform/SystemText.h"
#include "platform/Text.h"
#include "platform/WinString.h"

namespace hivemend {

std::u16string PortableErrorMessage(long code);

std::u16string SystemErrorText(long code) {
  wchar_t buffer[512] = {};
  const DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                      static_cast<DWORD>(code), 0, buffer, static_cast<DWORD>(std::size(buffer)),
                                      nullptr);
  std::u16string text = length != 0 ? AsU16(buffer) : PortableErrorMessage(code);
  // The system's messages end with a line break; the log wants one line.
  for (char16_t& c : text) {
    if (c == u'\r' || c == u'\n') c = u' ';
  }
  while (!text.empty() && text.back() == u' ') text.pop_back();
  return text + u" (error " + Decimal(static_cast<std::uint32_t>(code)) + u")";
}

LocalTime LocalTimeNow() {
  SYSTEMTIME t{};
  GetLocalTime(&t);
  return {t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond};
}

}  // namespace hivemend
