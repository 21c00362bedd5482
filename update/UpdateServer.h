// The update server's two addresses. Only the https scheme and the paths are
// fixed; the hosts are chosen when the program is built.
#pragma once

#include <string>

namespace hivemend {

std::u16string VersionInfoUrl();
std::u16string InstallerUrl();

}  // namespace hivemend
