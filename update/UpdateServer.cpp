// Built with HIVEMEND_UPDATE_HOST, HIVEMEND_DOWNLOAD_HOST and
// HIVEMEND_PUBLISHER_PINS set to narrow string literals. A copy built for the
// end-to-end tests (only in a build with the tests) defines
// HIVEMEND_UPDATE_HOST_FROM_ENVIRONMENT instead and then takes both hosts from
// the environment variable HIVEMEND_TEST_UPDATE_HOST and the keys from
// HIVEMEND_TEST_PUBLISHER_PINS (its test certificates are made when the tests
// run), and its wait before the first check may be shortened by
// HIVEMEND_TEST_FIRST_CHECK_WAIT_MS; the program itself is never built that way, so nothing outside the
// build can redirect its updates, and a test checks that its file does not
// even name those variables.
#include "update/UpdateServer.h"

#include <string_view>

#include "platform/Version.h"
#include "update/UpdateVersion.h"

#ifdef HIVEMEND_UPDATE_HOST_FROM_ENVIRONMENT
#if !HIVEMEND_TEST_BUILD
#error "The update server comes from the environment only in a build with the tests"
#endif
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
std::u16string PublisherText() { return FromEnvironment("HIVEMEND_TEST_PUBLISHER_PINS"); }
unsigned FirstWaitMs() {
  const char* value = std::getenv("HIVEMEND_TEST_FIRST_CHECK_WAIT_MS");
  return value && *value ? static_cast<unsigned>(std::strtoul(value, nullptr, 10)) : kFirstCheckWaitMs;
}
#else
std::u16string UpdateHost() { return std::u16string(u"" HIVEMEND_UPDATE_HOST); }
std::u16string DownloadHost() { return std::u16string(u"" HIVEMEND_DOWNLOAD_HOST); }
std::u16string PublisherText() { return std::u16string(u"" HIVEMEND_PUBLISHER_PINS); }
unsigned FirstWaitMs() { return kFirstCheckWaitMs; }
#endif

}  // namespace

std::u16string VersionInfoUrl() { return HttpsUrl(UpdateHost(), kVersionInfoPath); }
std::u16string InstallerUrl() { return HttpsUrl(DownloadHost(), kInstallerPath); }
std::vector<KeyPin> PublisherKeys() { return ParsePins(PublisherText()); }
unsigned FirstCheckWaitMs() { return FirstWaitMs(); }

}  // namespace hivemend
