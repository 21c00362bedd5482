// The fetch uses WinINet in its asynchronous mode. A blocking read cannot be
// ended from another thread (closing the handle does not release it under
// Wine), so every call that may wait is started and then waited for together
// with the stop event. WinINet may still finish a call after the fetch has
// given up on it and written into the buffers it was given: those buffers live
// in a block that WinINet's status callback frees when the session handle is
// gone, which WinINet reports only after every handle below it is gone.
#include "platform/HttpsFetch.h"

#include <windows.h>
#include <wininet.h>

#include <atomic>
#include <cstdlib>

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

// Small enough that a stop is seen between pieces at once.
constexpr DWORD kPieceBytes = 16384;

// What one fetch shares with WinINet's worker threads.
struct Transfer {
  ScopedHandle done{CreateEventW(nullptr, FALSE, FALSE, nullptr)};  // a started call has completed
  HINTERNET session = nullptr;
  std::atomic<DWORD_PTR> result{0};
  std::atomic<DWORD> error{0};
  // Set when the fetch no longer waits for the request handle that opening
  // the address delivers; whoever then holds that handle closes it.
  std::atomic<bool> abandoned{false};
  std::atomic<HINTERNET> delivered{nullptr};
  std::atomic<bool> opening{true};  // set before each call is started
  DWORD got = 0;
  std::uint8_t piece[kPieceBytes];
};

void CloseDelivered(Transfer& transfer) {
  if (HINTERNET late = transfer.delivered.exchange(nullptr)) InternetCloseHandle(late);
}

void CALLBACK OnStatus(HINTERNET handle, DWORD_PTR context, DWORD status, void* info, DWORD) {
  auto* transfer = reinterpret_cast<Transfer*>(context);
  if (transfer == nullptr) return;
  if (status == INTERNET_STATUS_REQUEST_COMPLETE) {
    const auto* outcome = static_cast<const INTERNET_ASYNC_RESULT*>(info);
    transfer->error = outcome->dwError;
    transfer->result = outcome->dwResult;
    if (transfer->opening && outcome->dwResult != 0) {
      transfer->delivered = reinterpret_cast<HINTERNET>(outcome->dwResult);
      if (transfer->abandoned) CloseDelivered(*transfer);
    }
    SetEvent(transfer->done.get());
  } else if (status == INTERNET_STATUS_HANDLE_CLOSING && handle == transfer->session) {
    delete transfer;
  }
}

// The session and its Transfer. Once WinINet has taken the callback and the
// context, the Transfer is WinINet's to free; until then it is freed here.
class Session {
 public:
  Session() : transfer_(new Transfer) {}
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;
  ~Session() {
    transfer_->abandoned = true;
    CloseDelivered(*transfer_);
    const bool handed_over = handed_over_;
    Transfer* transfer = transfer_;
    if (handle_) InternetCloseHandle(handle_);  // may free transfer_ at once
    if (!handed_over) delete transfer;
  }

  bool Open(const std::u16string& agent) {
    if (!transfer_->done) return false;
    handle_ = InternetOpenW(AsWide(agent), INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, INTERNET_FLAG_ASYNC);
    if (!handle_) return false;
    transfer_->session = handle_;
    for (const DWORD option :
         {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT, INTERNET_OPTION_RECEIVE_TIMEOUT}) {
      DWORD ms = kFetchTimeoutMs;
      if (!InternetSetOptionW(handle_, option, &ms, sizeof(ms))) return false;
    }
    // WinINet calls back only for handles with a context other than 0.
    DWORD_PTR context = reinterpret_cast<DWORD_PTR>(transfer_);
    if (InternetSetStatusCallbackW(handle_, OnStatus) == INTERNET_INVALID_STATUS_CALLBACK) return false;
    if (!InternetSetOptionW(handle_, INTERNET_OPTION_CONTEXT_VALUE, &context, sizeof(context))) return false;
    handed_over_ = true;
    return true;
  }

  HINTERNET handle() const { return handle_; }
  Transfer& transfer() { return *transfer_; }

 private:
  Transfer* transfer_;
  HINTERNET handle_ = nullptr;
  bool handed_over_ = false;
};

// After a call returned ERROR_IO_PENDING: true when it completed, false when
// the stop came first.
bool WaitForCompletion(Transfer& transfer, HANDLE stop) {
  if (stop == nullptr) return WaitForSingleObject(transfer.done.get(), INFINITE) == WAIT_OBJECT_0;
  const HANDLE events[2] = {stop, transfer.done.get()};
  return WaitForMultipleObjects(2, events, FALSE, INFINITE) == WAIT_OBJECT_0 + 1;
}

bool IsSet(HANDLE event) { return event != nullptr && WaitForSingleObject(event, 0) == WAIT_OBJECT_0; }

bool IsHttpsUrl(std::u16string_view url) {
  constexpr std::u16string_view kScheme = u"https://";
  return url.size() > kScheme.size() && EqualsNoCase(url.substr(0, kScheme.size()), kScheme);
}

// WinINet's error codes for a server certificate it refused.
bool IsCertificateError(DWORD error) {
  switch (error) {
    case ERROR_INTERNET_SEC_CERT_DATE_INVALID:
    case ERROR_INTERNET_SEC_CERT_CN_INVALID:
    case ERROR_INTERNET_CLIENT_AUTH_CERT_NEEDED:
    case ERROR_INTERNET_INVALID_CA:
    case ERROR_INTERNET_SEC_CERT_ERRORS:
    case ERROR_INTERNET_SEC_CERT_NO_REV:
    case ERROR_INTERNET_SEC_CERT_REV_FAILED:
    case ERROR_INTERNET_SEC_INVALID_CERT:
    case ERROR_INTERNET_SEC_CERT_REVOKED:
      return true;
    default:
      return false;
  }
}

FetchResult ConnectionFailure(DWORD error) {
  if (error == ERROR_INTERNET_TIMEOUT) return FetchResult::TimedOut;
  return IsCertificateError(error) ? FetchResult::Certificate : FetchResult::NoConnection;
}

bool IsRedirect(DWORD status) {
  return status == HTTP_STATUS_MOVED || status == HTTP_STATUS_REDIRECT || status == HTTP_STATUS_REDIRECT_METHOD ||
         status == HTTP_STATUS_REDIRECT_KEEP_VERB || status == HTTP_STATUS_PERMANENT_REDIRECT;
}

// Where a redirect leads: its Location resolved against the address that
// answered. Empty when there is none.
std::u16string RedirectTarget(HINTERNET request, const std::u16string& from) {
  DWORD bytes = 0;
  HttpQueryInfoW(request, HTTP_QUERY_LOCATION, nullptr, &bytes, nullptr);
  if (bytes == 0) return {};
  std::wstring location(bytes / sizeof(wchar_t) + 1, L'\0');
  if (!HttpQueryInfoW(request, HTTP_QUERY_LOCATION, location.data(), &bytes, nullptr)) return {};
  location.resize(bytes / sizeof(wchar_t));
  DWORD length = 0;
  InternetCombineUrlW(AsWide(from), location.c_str(), nullptr, &length, ICU_NO_ENCODE);
  if (length == 0) return {};
  std::wstring combined(length + 1, L'\0');
  if (!InternetCombineUrlW(AsWide(from), location.c_str(), combined.data(), &length, ICU_NO_ENCODE)) return {};
  combined.resize(length);
  return AsU16(combined.c_str());
}

// Opens one address without following redirects and without any cache. Null
// with *result set on failure.
HINTERNET OpenAddress(Session& session, const std::u16string& url, HANDLE stop, FetchResult* result,
                      FetchDetail* detail) {
  Transfer& transfer = session.transfer();
  // No flag that relaxes certificate checks may ever be added here.
  constexpr DWORD kFlags = INTERNET_FLAG_NO_AUTO_REDIRECT | INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE |
                           INTERNET_FLAG_PRAGMA_NOCACHE;
  ResetEvent(transfer.done.get());
  transfer.opening = true;
  HINTERNET opened = InternetOpenUrlW(session.handle(), AsWide(url), nullptr, 0, kFlags,
                                      reinterpret_cast<DWORD_PTR>(&transfer));
  if (opened == nullptr) {
    DWORD error = GetLastError();
    if (error == ERROR_IO_PENDING) {
      if (!WaitForCompletion(transfer, stop)) {
        *result = FetchResult::Stopped;
        return nullptr;
      }
      opened = transfer.delivered.exchange(nullptr);
      error = transfer.error;
    }
    if (opened == nullptr) {
      detail->error = error;
      *result = ConnectionFailure(error);
      return nullptr;
    }
  }
  transfer.opening = false;
  return opened;
}

// The announced Content-Length: 0 and *present false when there is none;
// false when it is not a number.
bool ContentLength(HINTERNET request, std::uint64_t* length, bool* present) {
  *length = 0;
  *present = false;
  wchar_t text[32] = {};
  DWORD size = sizeof(text) - sizeof(wchar_t);
  if (!HttpQueryInfoW(request, HTTP_QUERY_CONTENT_LENGTH, text, &size, nullptr))
    return GetLastError() == ERROR_HTTP_HEADER_NOT_FOUND;
  *present = true;
  std::uint64_t value = 0;
  const wchar_t* c = text;
  if (*c == 0) return false;
  for (; *c; ++c) {
    if (*c < L'0' || *c > L'9' || value > (UINT64_MAX - 9) / 10) return false;
    value = value * 10 + static_cast<std::uint64_t>(*c - L'0');
  }
  *length = value;
  return true;
}

}  // namespace

FetchResult FetchHttps(const FetchRequest& fetch, FetchDetail* detail) {
  FetchDetail ignored;
  if (detail == nullptr) detail = &ignored;
  *detail = {};
  if (!IsHttpsUrl(fetch.url)) return FetchResult::NotHttps;
  const HANDLE stop = static_cast<HANDLE>(fetch.stop_event);

  Session session;
  if (!session.Open(fetch.agent)) return FetchResult::NoInternet;
  Transfer& transfer = session.transfer();
  if (IsSet(stop)) return FetchResult::Stopped;

  // Redirects are followed here, one by one, so that each new address is
  // checked before anything is sent to it.
  std::u16string url = fetch.url;
  ScopedInternet request;
  for (int redirects = 0;; ++redirects) {
    FetchResult failure = FetchResult::NoConnection;
    request.reset(OpenAddress(session, url, stop, &failure, detail));
    if (!request) return failure;
    // WinINet hands over an error page like any other body; only 200 is a result.
    DWORD status = 0;
    DWORD status_size = sizeof(status);
    if (!HttpQueryInfoW(request.get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &status_size,
                        nullptr)) {
      return FetchResult::NotOk;
    }
    detail->status = status;
    if (status == HTTP_STATUS_OK) break;
    if (!IsRedirect(status) || redirects >= kMaxRedirects) return FetchResult::NotOk;
    url = RedirectTarget(request.get(), url);
    if (!IsHttpsUrl(url)) return FetchResult::NotHttps;
    if (IsSet(stop)) return FetchResult::Stopped;
  }

  std::uint64_t announced = 0;
  bool has_length = false;
  if (!ContentLength(request.get(), &announced, &has_length)) return FetchResult::ReadFailed;
  if (fetch.require_length && !has_length) return FetchResult::NoLength;
  if (announced > fetch.max_bytes) return FetchResult::TooLarge;

  std::uint64_t received = 0;
  for (;;) {
    if (IsSet(stop)) return FetchResult::Stopped;
    ResetEvent(transfer.done.get());
    transfer.got = 0;
    if (!InternetReadFile(request.get(), transfer.piece, kPieceBytes, &transfer.got)) {
      DWORD error = GetLastError();
      if (error == ERROR_IO_PENDING) {
        if (!WaitForCompletion(transfer, stop)) return FetchResult::Stopped;
        error = transfer.result == 0 ? transfer.error.load() : ERROR_SUCCESS;
      }
      if (error != ERROR_SUCCESS) {
        detail->error = error;
        return error == ERROR_INTERNET_TIMEOUT ? FetchResult::TimedOut : FetchResult::ReadFailed;
      }
    }
    const DWORD got = transfer.got;
    if (got == 0) break;
    if (got > fetch.max_bytes - received) return FetchResult::TooLarge;
    received += got;
    if (fetch.write && !fetch.write(transfer.piece, got)) return FetchResult::WriteFailed;
    if (fetch.progress) fetch.progress(received, announced);
  }
  if (announced != 0 && received < announced) return FetchResult::Truncated;
  return FetchResult::Ok;
}

}  // namespace hivemend
