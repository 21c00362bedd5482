// The details view of one row (dialog 130): its names, status and types, and
// both sides' data in full (engine/ValueDetails.h). The registry's side is
// read when the view opens. Resizable; Escape and Close end it; Copy puts
// everything it shows on the clipboard as text.
#pragma once

#include <windows.h>

#include "engine/ChangeEntry.h"
#include "platform/Registry.h"

namespace hivemend {

// Shows the view modally, owned by owner; registry may be null (nothing
// exists). The entry is read only while the view opens.
INT_PTR ShowDetailsDialog(HWND owner, const ChangeEntry& entry, Registry* registry);

}  // namespace hivemend
