// The update server's two addresses and the publisher's keys, one of which an
// installer's signature must be made with. Only the https scheme and the paths
// are fixed; the hosts and the keys are chosen when the program is built.
#pragma once

#include <string>
#include <vector>

#include "platform/CodeSignature.h"

namespace hivemend {

std::u16string VersionInfoUrl();
std::u16string InstallerUrl();
// The SHA-256 of each public key the publisher signs installers with (more
// than one while a new key is brought in); none when the build names none,
// and then no installer is ever downloaded.
std::vector<KeyPin> PublisherKeys();

// How long the program waits after its start before it asks the server, so
// that the check never slows the start down.
constexpr unsigned kFirstCheckWaitMs = 5000;
unsigned FirstCheckWaitMs();

}  // namespace hivemend
