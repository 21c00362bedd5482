// The update check as the main window uses it: UpdateCheckWorker on its own
// thread, and the prompt on the window's thread.
#include "update/UpdateCheck.h"

#include <memory>
#include <string>

#include "msgbox/AppMessageBox.h"
#include "platform/Registry.h"
#include "platform/Version.h"
#include "platform/WinString.h"
#include "update/InstallUpdate_win.h"
#include "update/UpdateCheckRun_win.h"
#include "update/UpdatePrompt_win.h"
#include "update/UpdateServer.h"
#include "update/UpdateVersion.h"

namespace hivemend {
namespace {

// LatestVersionText: written once by the worker before it sets done_event; read
// by the window only after it has seen done_event, which orders the two.
std::u16string g_latest_version_text;

DWORD WINAPI UpdateCheckWorker(LPVOID parameter) {
  const std::unique_ptr<UpdateCheckContext> context(static_cast<UpdateCheckContext*>(parameter));
  UpdateCheckRun run;
  run.registry = SystemRegistry();
  run.terminate_event = context->terminate_event;
  run.done_event = context->done_event;
  run.window = context->window;
  run.terminate_message = context->terminate_message;
  run.version_url = VersionInfoUrl();
  return RunUpdateCheck(run, &g_latest_version_text) == UpdateCheckOutcome::NoResult ? 1 : 0;
}

}  // namespace

void StartUpdateCheck(const UpdateCheckContext& context) {
  auto parameter = std::make_unique<UpdateCheckContext>(context);
  const HANDLE thread = CreateThread(nullptr, 0, UpdateCheckWorker, parameter.get(), 0, nullptr);
  if (thread == nullptr) return;  // no check this time; the window goes on
  parameter.release();            // the worker owns it now
  CloseHandle(thread);
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

void RunUpdatePrompt(HWND owner) { OfferUpdate(owner, g_latest_version_text, [] { return InstallUpdate(); }); }

}  // namespace hivemend
