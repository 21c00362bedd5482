#include "platform/Event_win.h"

#include <vector>

namespace hivemend {

ScopedHandle NewEvent(EventReset reset, const wchar_t* name) {
  return ScopedHandle(CreateEventW(nullptr, reset == EventReset::Manual, FALSE, name));
}

ScopedHandle OpenEventToSet(const wchar_t* name) { return ScopedHandle(OpenEventW(EVENT_MODIFY_STATE, FALSE, name)); }

void SetEventOn(HANDLE event) { SetEvent(event); }

void ResetEventOn(HANDLE event) { ResetEvent(event); }

bool EventIsSet(HANDLE event) { return WaitForSingleObject(event, 0) == WAIT_OBJECT_0; }

int WaitForAnyEvent(std::initializer_list<HANDLE> events) {
  const std::vector<HANDLE> handles(events);
  const DWORD result =
      WaitForMultipleObjects(static_cast<DWORD>(handles.size()), handles.data(), FALSE, INFINITE);
  return result < WAIT_OBJECT_0 + handles.size() ? static_cast<int>(result - WAIT_OBJECT_0) : -1;
}

}  // namespace hivemend
