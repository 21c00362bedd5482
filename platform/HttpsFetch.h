// One HTTPS download, with the system's proxy settings and full certificate
// checks, 30-second timeouts, a size limit and a stop; never from a cache, and
// every redirect must stay on https. Windows only: elsewhere every fetch gives
// NoInternet.
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
  NotHttps,      // the address, or a redirect (refused before it is followed), is not https
  NoInternet,    // the Internet functions could not be opened (InternetOpenW)
  NoConnection,  // no answer: no server at that name or port, or the connection was refused
  TimedOut,      // connecting, sending or a wait for data took longer than kFetchTimeoutMs
  Certificate,   // the server's certificate was refused (untrusted, expired, another name, revoked)
  NotOk,         // the server answered, but not with status 200 (FetchDetail::status), or redirected too often
  ReadFailed,    // the connection broke while the body was read
  TooLarge,      // the body, or the length the server announced, is above the limit
  Truncated,     // the body ended before the length the server announced
  NoLength,      // the request asked for an announced length and the server gave none
  WriteFailed,   // the receiver of the body refused a piece
  Stopped,       // the stop event was set
};

// What a failed fetch adds to its result.
struct FetchDetail {
  std::uint32_t status = 0;  // the HTTP status of the last answer; 0 before any
  std::uint32_t error = 0;   // the system's error code of a failed call; 0 for none
};

// Redirects followed at most (each one to an https address).
inline constexpr int kMaxRedirects = 10;

// Connecting, sending and each wait for data give up after this long.
inline constexpr unsigned kFetchTimeoutMs = 30000;

struct FetchRequest {
  std::u16string agent;
  std::u16string url;
  std::uint64_t max_bytes = 0;  // a longer body is TooLarge
  // A body without an announced length (Content-Length) is NoLength: only
  // then can a connection cut short be told from the end of the body.
  bool require_length = false;
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
// detail, when given, receives the status and error code behind the result.
FetchResult FetchHttps(const FetchRequest& request, FetchDetail* detail = nullptr);

// The whole body into *body, which is left empty on any result but Ok.
FetchResult FetchHttps(std::u16string_view agent, const std::u16string& url, std::uint64_t max_bytes,
                       std::vector<std::uint8_t>* body);

}  // namespace hivemend
