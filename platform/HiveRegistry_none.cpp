#include "platform/HiveRegistry.h"

namespace hivemend {

// Hive files are reached through the hivex library, which this system's
// build does not have.
std::unique_ptr<HiveRegistry> OpenHiveRegistry(HiveMapping, bool, std::u16string* problem) {
  *problem = u"hive files cannot be opened on this system";
  return nullptr;
}

}  // namespace hivemend
