// Events that threads and processes set and wait for: the stop of the
// window's helper threads, a load's cancel, another copy's close request.
#pragma once

#include <windows.h>

#include <initializer_list>

#include "platform/UniqueHandle_win.h"

namespace hivemend {

enum class EventReset { Auto, Manual };

// A new event, not set; invalid on failure. A named one is shared by every
// process that names it: when it exists already, that one is opened.
ScopedHandle NewEvent(EventReset reset, const wchar_t* name = nullptr);
// Another process's named event, opened for setting; invalid when there is none.
ScopedHandle OpenEventToSet(const wchar_t* name);

void SetEventOn(HANDLE event);
void ResetEventOn(HANDLE event);
// Whether the event is set, without waiting (an auto-reset event that is set
// is reset by the look).
bool EventIsSet(HANDLE event);
// Waits until one of the events is set: its index, or -1 when the wait fails.
int WaitForAnyEvent(std::initializer_list<HANDLE> events);

}  // namespace hivemend
