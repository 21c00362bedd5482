// Texts the system gives: the message of an error code, and the local time.
#pragma once

#include <string>

namespace hivemend {

// The system's message for a Win32 error code, on one line, followed by the
// code: "Access is denied. (error 5)". Elsewhere the messages of the codes
// that the in-memory registry and the file helpers use.
std::u16string SystemErrorText(long code);

struct LocalTime {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};
LocalTime LocalTimeNow();

}  // namespace hivemend
