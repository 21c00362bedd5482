// Built with HIVEMEND_UPDATE_HOST and HIVEMEND_DOWNLOAD_HOST set to narrow
// string literals. A copy built for the end-to-end tests also defines
// HIVEMEND_UPDATE_HOST_FROM_ENVIRONMENT and then takes both hosts from the
// environment variable HIVEMEND_TEST_UPDATE_HOST; the program itself is never
// built that way, so nothing outside the build can redirect its updates.
#include "update/UpdateServer.h"

#include <string_view>

#include "update/UpdateVersion.h"

#ifdef HIVEMEND_UPDATE_HOST_FROM_ENVIRONMENT
#include <cstdlib>
#endif

namespace hivemend {
namespace {

#ifdef HIVEMEND_UPDATE_HOST_FROM_ENVIRONMENT
std::u16string TestHost() {
  const char* host = std::getenv("HIVEMEND_TEST_UPDATE_HOST");
  return host ? std::u16string(host, host + std::char_traits<char>::length(host)) : std::u16string();
}
std::u16string UpdateHost() { return TestHost(); }
std::u16string DownloadHost() { return TestHost(); }
#else
std::u16string UpdateHost() { return std::u16string(u"" HIVEMEND_UPDATE_HOST); }
std::u16string DownloadHost() { return std::u16string(u"" HIVEMEND_DOWNLOAD_HOST); }
#endif

}  // namespace

std::u16string VersionInfoUrl() { return HttpsUrl(UpdateHost(), kVersionInfoPath); }
std::u16string InstallerUrl() { return HttpsUrl(DownloadHost(), kInstallerPath); }

}  // namespace hivemend
