// Asking the desktop shell: opening a document, folder or settings page with
// whatever the user has chosen for it, and telling the shell that file
// associations have changed.
#pragma once

#include <string>

namespace hivemend {

// Opens target with its default verb ("ms-settings:defaultapps", a folder, a
// file); owner (a native window, may be null) owns what the shell shows.
// True when the shell accepted it. Elsewhere: false.
bool OpenWithShell(const std::u16string& target, void* owner = nullptr);

// Tells the shell that file associations changed, so that it reads them
// afresh. Elsewhere: nothing.
void NotifyAssociationsChanged();

}  // namespace hivemend
