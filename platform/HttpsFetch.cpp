#include "platform/HttpsFetch.h"

#include <utility>

namespace hivemend {

FetchResult FetchHttps(std::u16string_view agent, const std::u16string& url, std::uint64_t max_bytes,
                       std::vector<std::uint8_t>* body) {
  body->clear();
  std::vector<std::uint8_t> data;
  FetchRequest request;
  request.agent = std::u16string(agent);
  request.url = url;
  request.max_bytes = max_bytes;
  request.write = [&data](const std::uint8_t* bytes, std::size_t size) {
    data.insert(data.end(), bytes, bytes + size);
    return true;
  };
  const FetchResult result = FetchHttps(request);
  if (result == FetchResult::Ok) *body = std::move(data);
  return result;
}

}  // namespace hivemend
