// The update server's two addresses and the publisher whose signature an
// installer must carry. Only the https scheme and the paths are fixed; the
// hosts and the publisher are chosen when the program is built.
#pragma once

#include <optional>
#include <string>

#include "platform/CodeSignature.h"

namespace hivemend {

std::u16string VersionInfoUrl();
std::u16string InstallerUrl();
// The SHA-256 of the publisher's signing certificate; none when the build
// names no publisher, and then no installer is ever downloaded.
std::optional<CertificateHash> PublisherCertificate();

}  // namespace hivemend
