// The update check as the main window uses it: the steps of UpdateCheckWorker
// with the program's registry and server, and the prompt.
#include "update/UpdateCheck_win.h"

#include <string>

#include "msgbox/AppMessageBox_win.h"
#include "platform/Registry.h"
#include "platform/Version.h"
#include "platform/WinString.h"
#include "update/UpdateCheckRun_win.h"
#include "update/UpdatePrompt_win.h"
#include "update/UpdateServer.h"
#include "update/UpdateVersion.h"

namespace hivemend {

std::optional<std::u16string> CheckForUpdate(HANDLE stop_event) {
  UpdateCheckRun run;
  run.registry = SystemRegistry();
  run.stop_event = stop_event;
  run.first_wait_ms = FirstCheckWaitMs();
  run.version_url = VersionInfoUrl();
  std::u16string latest;
  if (RunUpdateCheck(run, &latest) != UpdateCheckOutcome::Fetched) return std::nullopt;
  return latest;
}

bool OfferUpdate(HWND owner, std::u16string_view latest_text, const std::function<bool()>& install) {
  if (!IsUpdateOffered(latest_text, kProgramVersion)) return false;
  const std::u16string text = UpdatePromptText(latest_text);
  const std::u16string caption(kUpdatePromptCaption);
  const int answer = AppMessageBox(owner, AsWide(text), AsWide(caption), MB_YESNO | MB_ICONQUESTION | AMB_CHECK_ASK,
                                   nullptr);
  // The check box adds a bit above the low word; only the button counts.
  if (LOWORD(answer) != IDYES) return false;
  install();
  return true;
}

bool RunUpdatePrompt(HWND owner, std::u16string_view latest_version) {
  return OfferUpdate(owner, latest_version, [] { return true; });
}

}  // namespace hivemend
