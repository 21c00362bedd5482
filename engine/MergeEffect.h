// Whether merging a row would change the registry: the test behind
// `hivemend-cli diff --exit-code` and `merge --rule differ`. Decided from the
// row's typed fields, never from its status: SAME ignores the letter case of
// strings and the bytes of some types, this test does not.
#pragma once

#include "engine/ChangeEntry.h"

namespace hivemend {

// True when merging the row would change the registry:
//  - a value write, unless the value exists with the row's type and exactly the
//    bytes the merge writes (a string's data includes its NUL);
//  - a value deletion, when the value exists.
// False for rows a merge refuses to write (no root, unknown type).
bool WouldChange(const ChangeEntry& entry);

}  // namespace hivemend
