// One HTTPS download, with the system's proxy settings and full certificate
// checks, 30-second timeouts, a size limit and a stop. Windows only: elsewhere
// every fetch gives NoInternet.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace hivemend {

enum class FetchResult {
  Ok,
  NotHttps,      // the address, or where a redirect led, is not https
  NoInternet,    // the Internet functions could not be opened (InternetOpenW)
  NoConnection,  // no answer (InternetOpenUrlW): no server, name or certificate problems, a time-out
  NotOk,         // the server answered, but not with status 200
  ReadFailed,    // the connection broke or timed out while the body was read
  TooLarge,      // the body, or the length the server announced, is above the limit
  Truncated,     // the body ended before the length the server announced
  WriteFailed,   // the receiver of the body refused a piece
  Stopped,       // the stop event was set
};

// Connecting, sending and each wait for data give up after this long.
inline constexpr unsigned kFetchTimeoutMs = 30000;

struct FetchRequest {
  std::u16string agent;
  std::u16string url;
  std::uint64_t max_bytes = 0;  // a longer body is TooLarge
  // A Windows event (HANDLE) that ends the fetch with Stopped as soon as it is
  // set, also while the server sends nothing; null: none.
  void* stop_event = nullptr;
  // Receives the body's pieces in order; false ends the fetch with WriteFailed.
  std::function<bool(const std::uint8_t* data, std::size_t size)> write;
  // After each piece, on the fetching thread: bytes received so far and the
  // length the server announced (0 when it announced none). May be empty.
  std::function<void(std::uint64_t received, std::uint64_t total)> progress;
};

// Fetches request.url, naming itself request.agent. Only an answer with HTTP
// status 200 counts; a body shorter than its Content-Length is Truncated.
FetchResult FetchHttps(const FetchRequest& request);

// The whole body into *body, which is left empty on any result but Ok.
FetchResult FetchHttps(std::u16string_view agent, const std::u16string& url, std::uint64_t max_bytes,
                       std::vector<std::uint8_t>* body);

}  // namespace hivemend
