#include "platform/Shell.h"

namespace hivemend {

bool OpenWithShell(const std::u16string&, void*) { return false; }

void NotifyAssociationsChanged() {}

}  // namespace hivemend
