// Built with HIVEMEND_UPDATE_HOST, HIVEMEND_DOWNLOAD_HOST and
// HIVEMEND_PUBLISHER_SHA256 set to narrow string literals. A copy built for the
// end-to-end tests also defines HIVEMEND_UPDATE_HOST_FROM_ENVIRONMENT and then
// takes both hosts from the environment variable HIVEMEND_TEST_UPDATE_HOST and
// the publisher from HIVEMEND_TEST_PUBLISHER_SHA256 (its test certificate is
// made when the tests run); the program itself is never built that way, so
// nothing outside the build can redirect its updates.
#include "update/UpdateServer.h"

#include <string_view>

#include "update/UpdateVersion.h"

#ifdef HIVEMEND_UPDATE_HOST_FROM_ENVIRONMENT
#include <cstdlib>
#endif

namespace hivemend {
namespace {

#ifdef HIVEMEND_UPDATE_HOST_FROM_ENVIRONMENT
std::u16string FromEnvironment(const char* name) {
  const char* value = std::getenv(name);
  return value ? std::u16string(value, value + std::char_traits<char>::length(value)) : std::u16string();
}
std::u16string UpdateHost() { return FromEnvironment("HIVEMEND_TEST_UPDATE_HOST"); }
std::u16string DownloadHost() { return FromEnvironment("HIVEMEND_TEST_UPDATE_HOST"); }
std::u16string PublisherText() { return FromEnvironment("HIVEMEND_TEST_PUBLISHER_SHA256"); }
#else
std::u16string UpdateHost() { return std::u16string(u"" HIVEMEND_UPDATE_HOST); }
std::u16string DownloadHost() { return std::u16string(u"" HIVEMEND_DOWNLOAD_HOST); }
std::u16string PublisherText() { return std::u16string(u"" HIVEMEND_PUBLISHER_SHA256); }
#endif

}  // namespace

std::u16string VersionInfoUrl() { return HttpsUrl(UpdateHost(), kVersionInfoPath); }
std::u16string InstallerUrl() { return HttpsUrl(DownloadHost(), kInstallerPath); }
std::optional<CertificateHash> PublisherCertificate() { return ParseCertificateHash(PublisherText()); }

}  // namespace hivemend
