// One HTTPS download into memory, with the system's proxy settings and full
// certificate checks. Windows only: elsewhere every fetch gives NoInternet.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace hivemend {

enum class FetchResult {
  Ok,
  NotHttps,      // the address, or where a redirect led, is not https
  NoInternet,    // the Internet functions could not be opened (InternetOpenW)
  NoConnection,  // no answer (InternetOpenUrlW): no server, name or certificate problems
  NotOk,         // the server answered, but not with status 200
  ReadFailed,    // the connection broke while the body was read
};

// Fetches url, naming itself agent, and returns the whole body in *body, which
// is left empty on any result but Ok. Only an answer with HTTP status 200
// counts.
FetchResult FetchHttps(std::u16string_view agent, const std::u16string& url, std::vector<std::uint8_t>* body);

}  // namespace hivemend
