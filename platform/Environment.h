// The process's environment: expanding REG_EXPAND_SZ text as the system would.
#pragma once

#include <string>
#include <string_view>

namespace hivemend {

// Replaces every %NAME% whose variable is set with its value; an unset name,
// and a lone %, stay as they are. On Windows this is the system's own
// expansion; elsewhere $NAME and ${NAME} are expanded too.
std::u16string ExpandEnvironmentText(std::u16string_view text);

// The user's folder for temporary files, without a separator at its end;
// empty when there is none.
std::u16string TempFolder();

}  // namespace hivemend
