// The update check that runs while the main window is open.
//
// Called by the main window only: StartUpdateCheck once during its
// initialisation, RunUpdatePrompt from its UpdatePollTimer the first time it
// finds done_event set. The handles in the context stay valid for the life of
// the process.
#pragma once

#include <windows.h>

namespace hivemend {

struct UpdateCheckContext {
  HANDLE terminate_event;  // TerminateEvent, or none
  HANDLE done_event;       // UpdateCheckDoneEvent: set when a result is ready
  HWND window;             // the main window
  UINT terminate_message;  // posted to window when the first wait consumes a terminate request
};

// Starts UpdateCheckWorker. It first waits up to 5000 ms on terminate_event; a
// terminate request that this wait consumes is passed on to the window with
// terminate_message, so that the window still closes.
void StartUpdateCheck(const UpdateCheckContext& context);

// Offers a newer version to the user, on the window's thread.
void RunUpdatePrompt(HWND owner);

}  // namespace hivemend
