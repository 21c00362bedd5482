// Stand-in for the update check until it is built: the worker's first wait and
// the hand-over of a terminate request, then nothing.
#include <thread>

#include "update/UpdateCheck.h"

namespace hivemend {

void StartUpdateCheck(const UpdateCheckContext& context) {
  try {
    std::thread([context] {
      if (context.terminate_event &&
          WaitForSingleObject(context.terminate_event, 5000) == WAIT_OBJECT_0)
        PostMessageW(context.window, context.terminate_message, 0, 0);
    }).detach();
  } catch (const std::system_error&) {
    // Without the thread there is no update check; the window is unaffected.
  }
}

void RunUpdatePrompt(HWND) {}

}  // namespace hivemend
