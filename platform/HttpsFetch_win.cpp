#include "platform/HttpsFetch.h"

#include <windows.h>
#include <wininet.h>

#include <utility>

#include "platform/Text.h"
#include "platform/UniqueHandle_win.h"
#include "platform/WinString.h"

namespace hivemend {
namespace {

struct InternetHandleTraits {
  using Type = HINTERNET;
  static Type Invalid() { return nullptr; }
  static bool IsValid(Type h) { return h != nullptr; }
  static void Close(Type h) { InternetCloseHandle(h); }
};
using ScopedInternet = UniqueHandle<InternetHandleTraits>;

constexpr DWORD kReadChunk = 4096;

bool IsHttpsUrl(std::u16string_view url) {
  constexpr std::u16string_view kScheme = u"https://";
  return url.size() > kScheme.size() && EqualsNoCase(url.substr(0, kScheme.size()), kScheme);
}

// Where the request ended up after any redirects WinINet followed.
bool FinalUrlIsHttps(HINTERNET request) {
  DWORD bytes = 0;
  InternetQueryOptionW(request, INTERNET_OPTION_URL, nullptr, &bytes);
  if (bytes == 0) return false;
  std::wstring url(bytes / sizeof(wchar_t) + 1, L'\0');
  if (!InternetQueryOptionW(request, INTERNET_OPTION_URL, url.data(), &bytes)) return false;
  return IsHttpsUrl(AsU16(url.c_str()));
}

}  // namespace

FetchResult FetchHttps(std::u16string_view agent_name, const std::u16string& url, std::vector<std::uint8_t>* body) {
  body->clear();
  if (!IsHttpsUrl(url)) return FetchResult::NotHttps;

  const std::u16string agent(agent_name);
  ScopedInternet session(
      InternetOpenW(AsWide(agent), INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
  if (!session) return FetchResult::NoInternet;
  // No flag that relaxes certificate checks may ever be added here.
  ScopedInternet request(
      InternetOpenUrlW(session.get(), AsWide(url), nullptr, 0, INTERNET_FLAG_NO_CACHE_WRITE, 0));
  if (!request) return FetchResult::NoConnection;
  if (!FinalUrlIsHttps(request.get())) return FetchResult::NotHttps;

  // WinINet hands over an error page like any other body; only 200 is a result.
  DWORD status = 0;
  DWORD status_size = sizeof(status);
  if (!HttpQueryInfoW(request.get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status,
                      &status_size, nullptr) ||
      status != HTTP_STATUS_OK) {
    return FetchResult::NotOk;
  }

  std::vector<std::uint8_t> data;
  for (;;) {
    const size_t received = data.size();
    data.resize(received + kReadChunk);
    DWORD got = 0;
    if (!InternetReadFile(request.get(), data.data() + received, kReadChunk, &got)) {
      return FetchResult::ReadFailed;
    }
    data.resize(received + got);
    if (got == 0) break;
  }
  *body = std::move(data);
  return FetchResult::Ok;
}

}  // namespace hivemend
