// One HTTPS download into memory through the Windows Internet functions, with
// the agent name "Hivemend", the system's proxy settings and full certificate
// checks.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace hivemend {

enum class FetchResult {
  kOk,
  kNotHttps,      // the address, or where a redirect led, is not https
  kNoInternet,    // InternetOpenW failed
  kNoConnection,  // InternetOpenUrlW failed: no server, name or certificate problems
  kNotOk,         // the server answered, but not with status 200
  kReadFailed,    // the connection broke while the body was read
};

// Fetches url and returns the whole body in *body, which is left empty on any
// result but kOk. Only an answer with HTTP status 200 counts.
FetchResult FetchHttps(const std::u16string& url, std::vector<std::uint8_t>* body);

}  // namespace hivemend
