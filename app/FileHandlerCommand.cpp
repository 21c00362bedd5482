#include "app/FileHandlerCommand_win.h"

#include "app/FileHandler.h"
#include "msgbox/AppMessageBox_win.h"
#include "platform/Process.h"
#include "platform/Shell.h"
#include "platform/Text.h"
#include "platform/WinString.h"

namespace hivemend {
namespace {

constexpr wchar_t kCaption[] = L"Hivemend";
constexpr char16_t kDefaultAppsSettings[] = u"ms-settings:defaultapps";

HandlerOutcome Apply(Registry& registry, bool set) {
  HandlerOutcome outcome = set ? SetFileHandler(registry, ProgramPath()) : RemoveFileHandler(registry);
  if (outcome.changed) NotifyAssociationsChanged();
  return outcome;
}

}  // namespace

bool IsSetHandlerSwitch(std::u16string_view argument) { return EqualsNoCase(argument, u"/sethandler"); }
bool IsRemoveHandlerSwitch(std::u16string_view argument) { return EqualsNoCase(argument, u"/removehandler"); }

int RunHandlerSwitch(Registry& registry, bool set) { return Apply(registry, set).ok() ? 0 : 1; }

void SetHandlerCommand(HWND owner, Registry& registry, const MessageBoxParams* params) {
  const HandlerOutcome outcome = Apply(registry, true);
  const std::u16string text = SetHandlerMessage(outcome);
  if (!outcome.ok()) {
    AppMessageBox(owner, AsWide(text), kCaption, MB_OK | MB_ICONERROR, params);
  } else if (outcome.overriding_choice) {
    if ((AppMessageBox(owner, AsWide(text), kCaption, MB_YESNO | MB_ICONEXCLAMATION, params) & 0xFFFF) == IDYES)
      OpenWithShell(kDefaultAppsSettings);
  } else {
    AppMessageBox(owner, AsWide(text), kCaption, MB_OK | MB_ICONINFORMATION, params);
  }
}

void RemoveHandlerCommand(HWND owner, Registry& registry, const MessageBoxParams* params) {
  const HandlerOutcome outcome = Apply(registry, false);
  AppMessageBox(owner, AsWide(RemoveHandlerMessage(outcome)), kCaption,
                MB_OK | (outcome.ok() ? MB_ICONINFORMATION : MB_ICONERROR), params);
}

}  // namespace hivemend
