// The update decision and prompt on the window's thread, apart from the
// process-wide version text, so that tests can run it with a text of their own.
#pragma once

#include <windows.h>

#include <functional>
#include <string_view>

namespace hivemend {

// When latest_text names a version above the program's own, asks the user
// through AppMessageBox (Yes/No, question icon, "Don't ask me again", no
// settings record, so no answer is ever stored) and calls install on Yes,
// whether or not the box was ticked. Returns whether install was called.
bool OfferUpdate(HWND owner, std::u16string_view latest_text, const std::function<bool()>& install);

}  // namespace hivemend
