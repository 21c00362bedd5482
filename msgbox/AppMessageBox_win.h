// The program's own message box. Called like MessageBoxW, with one more,
// optional argument: the settings record of MessageBoxParams.h. Windows only.
#pragma once

#include <windows.h>

#include "msgbox/MessageBoxParams.h"

namespace hivemend {

// Shows the box on the calling (user-interface) thread and returns the result
// word of MessageBoxParams.h; callers test its low 16 bits.
//  owner:   a window, or none for the last active pop-up of the thread's
//           active window (no owner when there is none). Disabled while the
//           box is up.
//  text, caption: wide strings, or string-table ids (MAKEINTRESOURCEW) looked
//           up in params->string_module; text none = empty, caption none = "Error".
//  type:    the style word (MB_ bits plus the AMB_ bits).
//  params:  none for the defaults; the box works on its own copy.
// With MB_SYSTEMMODAL and the hand-icon bit the platform's MessageBoxW answers
// instead. A question with a check box and params->module_name answered before
// with the box ticked returns that saved answer without showing anything.
int AppMessageBox(HWND owner, const wchar_t* text, const wchar_t* caption, UINT type,
                  const MessageBoxParams* params = nullptr);

}  // namespace hivemend
