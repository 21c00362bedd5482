#include "platform/ShowInFolder.h"

namespace hivemend {

bool ShowInFolder(const std::u16string&, void*) { return false; }

}  // namespace hivemend
