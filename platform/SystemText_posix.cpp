#include <ctime>

#include "platform/SystemText.h"
#include "platform/Text.h"

namespace hivemend {

std::u16string PortableErrorMessage(long code);

std::u16string SystemErrorText(long code) {
  return PortableErrorMessage(code) + u" (error " + Decimal(static_cast<std::uint32_t>(code)) + u")";
}

LocalTime LocalTimeNow() {
  const std::time_t now = std::time(nullptr);
  std::tm t{};
  localtime_r(&now, &t);
  return {t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec};
}

}  // namespace hivemend
