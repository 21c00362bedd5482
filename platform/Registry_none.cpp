#include "platform/Registry.h"

namespace hivemend {

// Systems other than Windows have no registry of their own.
Registry* SystemRegistry() { return nullptr; }

}  // namespace hivemend
