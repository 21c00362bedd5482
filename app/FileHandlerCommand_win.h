// The Settings menu's "Set Hivemend as .REG file handler" and "Remove Hivemend
// as .REG file handler", and their command-line switches /sethandler and
// /removehandler (FileHandler.h does the registry work).
#pragma once

#include <windows.h>

#include <string_view>

#include "msgbox/MessageBoxParams.h"
#include "platform/Registry.h"

namespace hivemend {

// "/sethandler" and "/removehandler" in any letter case, as whole arguments.
bool IsSetHandlerSwitch(std::u16string_view argument);
bool IsRemoveHandlerSwitch(std::u16string_view argument);

// The switches: no window, no message; the exit code, 0 on success and 1 on
// failure. Removing when not set succeeds.
int RunHandlerSwitch(Registry& registry, bool set);

// The menu commands: do it, then tell the user in the program's message box
// owned by owner. After a set that a choice of the user's overrides, a Yes
// opens the system's default-apps settings.
void SetHandlerCommand(HWND owner, Registry& registry, const MessageBoxParams* params);
void RemoveHandlerCommand(HWND owner, Registry& registry, const MessageBoxParams* params);

}  // namespace hivemend
