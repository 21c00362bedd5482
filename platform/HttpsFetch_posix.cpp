#include "platform/HttpsFetch.h"

namespace hivemend {

// The program reaches its update server only on Windows.
FetchResult FetchHttps(std::u16string_view, const std::u16string&, std::vector<std::uint8_t>* body) {
  body->clear();
  return FetchResult::NoInternet;
}

}  // namespace hivemend
