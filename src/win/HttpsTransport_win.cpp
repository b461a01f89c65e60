#include "win/HttpsTransport_win.h"

#include <windows.h>
#include <winhttp.h>

#include <atomic>
#include <memory>
#include <optional>

#include "signin/Json.h"
#include "signin/Provider.h"
#include "win/MessagePump_win.h"
#include "win/SystemLibrary_win.h"
#include "win/Text_win.h"
#include "win/TlsEngine_schannel.h"

namespace buzonix {
namespace {

constexpr int kTimeoutMs = 30000;
constexpr DWORD kWaitLimitMs = kTimeoutMs + 2000;  // WinHTTP's own limits come first
constexpr UINT kDeadlineTickMs = 500;

// WinHTTP's functions, bound on the first request. Never freed: a request
// that outlived its wait may still be running on its thread at the end.
struct WinHttpApi {
  SystemLibrary library{L"winhttp.dll"};
  decltype(&WinHttpOpen) Open = library.Bind<decltype(&WinHttpOpen)>("WinHttpOpen");
  decltype(&WinHttpCloseHandle) Close = library.Bind<decltype(&WinHttpCloseHandle)>("WinHttpCloseHandle");
  decltype(&WinHttpSetTimeouts) SetTimeouts = library.Bind<decltype(&WinHttpSetTimeouts)>("WinHttpSetTimeouts");
  decltype(&WinHttpSetOption) SetOption = library.Bind<decltype(&WinHttpSetOption)>("WinHttpSetOption");
  decltype(&WinHttpQueryOption) QueryOption = library.Bind<decltype(&WinHttpQueryOption)>("WinHttpQueryOption");
  decltype(&WinHttpConnect) Connect = library.Bind<decltype(&WinHttpConnect)>("WinHttpConnect");
  decltype(&WinHttpOpenRequest) OpenRequest = library.Bind<decltype(&WinHttpOpenRequest)>("WinHttpOpenRequest");
  decltype(&WinHttpSendRequest) SendRequest = library.Bind<decltype(&WinHttpSendRequest)>("WinHttpSendRequest");
  decltype(&WinHttpWriteData) WriteData = library.Bind<decltype(&WinHttpWriteData)>("WinHttpWriteData");
  decltype(&WinHttpReceiveResponse) ReceiveResponse =
      library.Bind<decltype(&WinHttpReceiveResponse)>("WinHttpReceiveResponse");
  decltype(&WinHttpQueryHeaders) QueryHeaders = library.Bind<decltype(&WinHttpQueryHeaders)>("WinHttpQueryHeaders");
  decltype(&WinHttpReadData) ReadData = library.Bind<decltype(&WinHttpReadData)>("WinHttpReadData");

  bool Complete() const {
    return Open && Close && SetTimeouts && SetOption && QueryOption && Connect && OpenRequest && SendRequest &&
           WriteData && ReceiveResponse && QueryHeaders && ReadData;
  }
};

const WinHttpApi* Api() {
  static const WinHttpApi* const api = new WinHttpApi;
  return api->Complete() ? api : nullptr;
}

// One WinHTTP handle, closed with its owner.
class InternetHandle {
 public:
  explicit InternetHandle(HINTERNET handle) : handle_(handle) {}
  InternetHandle(const InternetHandle&) = delete;
  InternetHandle& operator=(const InternetHandle&) = delete;
  ~InternetHandle() {
    if (handle_ != nullptr) Api()->Close(handle_);
  }
  HINTERNET get() const { return handle_; }
  explicit operator bool() const { return handle_ != nullptr; }

 private:
  HINTERNET handle_;
};

struct CertificateRelease {
  void operator()(const CERT_CONTEXT* certificate) const { FreeServerCertificate(certificate); }
};
using ServerCertificate = std::unique_ptr<const CERT_CONTEXT, CertificateRelease>;

HttpsAnswer Unreachable() { return {}; }

HttpsAnswer BadCertificate(TlsFailure failure) {
  HttpsAnswer answer;
  answer.outcome = HttpsAnswer::Outcome::kBadCertificate;
  answer.failure = failure;
  return answer;
}

bool IsLoopbackName(const std::string& host) {
  return host == "127.0.0.1" || host == "::1" || host == "localhost";
}

void SetDwordOption(const WinHttpApi& api, HINTERNET handle, DWORD option, DWORD value) {
  api.SetOption(handle, option, &value, sizeof value);
}

// No redirect (a 307 would carry the form to a server nobody checked), no
// cookies, no automatic sign-on. WinHTTP's own certificate checks are left
// to the program's, which run before the form leaves, exactly as for the
// mail server, so that every system refuses the same certificates alike.
void RestrictRequest(const WinHttpApi& api, HINTERNET request, bool https) {
  SetDwordOption(api, request, WINHTTP_OPTION_DISABLE_FEATURE, WINHTTP_DISABLE_REDIRECTS | WINHTTP_DISABLE_COOKIES);
  SetDwordOption(api, request, WINHTTP_OPTION_AUTOLOGON_POLICY, WINHTTP_AUTOLOGON_SECURITY_LEVEL_HIGH);
  if (https)
    SetDwordOption(api, request, WINHTTP_OPTION_SECURITY_FLAGS,
                   SECURITY_FLAG_IGNORE_UNKNOWN_CA | SECURITY_FLAG_IGNORE_CERT_DATE_INVALID |
                       SECURITY_FLAG_IGNORE_CERT_CN_INVALID | SECURITY_FLAG_IGNORE_CERT_WRONG_USAGE);
}

TlsFailure CheckServer(const WinHttpApi& api, HINTERNET request, const std::string& host) {
  const CERT_CONTEXT* raw = nullptr;
  DWORD size = sizeof raw;
  if (!api.QueryOption(request, WINHTTP_OPTION_SERVER_CERT_CONTEXT, &raw, &size) || raw == nullptr)
    return TlsFailure::kUntrusted;
  const ServerCertificate certificate(raw);
  return VerifyServerCertificate(certificate.get(), host);
}

bool WriteForm(const WinHttpApi& api, HINTERNET request, const std::string& form) {
  std::size_t sent = 0;
  while (sent < form.size()) {
    DWORD written = 0;
    if (!api.WriteData(request, form.data() + sent, static_cast<DWORD>(form.size() - sent), &written) ||
        written == 0)
      return false;
    sent += written;
  }
  return true;
}

std::optional<int> StatusCode(const WinHttpApi& api, HINTERNET request) {
  DWORD status = 0;
  DWORD size = sizeof status;
  if (!api.QueryHeaders(request, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                        WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX))
    return std::nullopt;
  return static_cast<int>(status);
}

// The body, cut after kHttpsBodyKept: more than a token answer ever holds.
bool ReadBody(const WinHttpApi& api, HINTERNET request, std::string& body) {
  char buffer[4096];
  while (body.size() < kHttpsBodyKept) {
    DWORD read = 0;
    if (!api.ReadData(request, buffer, sizeof buffer, &read)) return false;
    if (read == 0) return true;
    body.append(buffer, read);
  }
  body.resize(kHttpsBodyKept);
  return true;
}

// The whole exchange, on the request's own thread. For https the headers go
// first with the length of a body not yet sent; the form follows only once
// the server's certificate passed.
HttpsAnswer Post(const WinHttpApi& api, const UrlParts& url, const std::string& form) {
  const std::optional<std::wstring> host = WideFromUtf8(url.host);
  const std::optional<std::wstring> path = WideFromUtf8(url.path_and_query);
  if (!host || !path) return Unreachable();
  const bool loopback = IsLoopbackName(url.host);
  const InternetHandle session(api.Open(L"Buzonix", loopback ? WINHTTP_ACCESS_TYPE_NO_PROXY
                                                             : WINHTTP_ACCESS_TYPE_DEFAULT_PROXY,
                                        WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0));
  if (!session) return Unreachable();
  api.SetTimeouts(session.get(), kTimeoutMs, kTimeoutMs, kTimeoutMs, kTimeoutMs);
  const InternetHandle connection(api.Connect(session.get(), host->c_str(), url.port, 0));
  if (!connection) return Unreachable();
  const InternetHandle request(api.OpenRequest(connection.get(), L"POST", path->c_str(), nullptr,
                                               WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES,
                                               url.https ? WINHTTP_FLAG_SECURE : 0));
  if (!request) return Unreachable();
  RestrictRequest(api, request.get(), url.https);
  const wchar_t headers[] = L"Content-Type: application/x-www-form-urlencoded\r\nAccept: application/json\r\n";
  if (!api.SendRequest(request.get(), headers, static_cast<DWORD>(-1), WINHTTP_NO_REQUEST_DATA, 0,
                       static_cast<DWORD>(form.size()), 0))
    return Unreachable();
  if (url.https) {
    if (const TlsFailure failure = CheckServer(api, request.get(), url.host); failure != TlsFailure::kNone)
      return BadCertificate(failure);  // the handles close: nothing of the form went out
  }
  if (!WriteForm(api, request.get(), form) || !api.ReceiveResponse(request.get(), nullptr)) return Unreachable();
  const std::optional<int> status = StatusCode(api, request.get());
  HttpsAnswer answer;
  if (!status || !ReadBody(api, request.get(), answer.body)) return Unreachable();
  answer.outcome = HttpsAnswer::Outcome::kAnswered;
  answer.status = *status;
  return answer;
}

// A request on a thread of its own, which may outlive a wait that gave up.
// A plain Windows thread, as the socket layer's look-ups.
struct PendingPost {
  std::atomic<bool> done{false};
  HttpsAnswer answer;  // written before done, read after
};

struct PostJob {
  std::shared_ptr<PendingPost> pending;
  const WinHttpApi* api;
  UrlParts url;
  std::string form;
  DWORD waiter;  // the thread to wake
};

DWORD WINAPI RunPost(void* parameter) {
  const std::unique_ptr<PostJob> job(static_cast<PostJob*>(parameter));
  job->pending->answer = Post(*job->api, job->url, job->form);
  job->pending->done.store(true, std::memory_order_release);
  PostThreadMessageW(job->waiter, WM_NULL, 0, 0);
  return 0;
}

bool StartPost(std::unique_ptr<PostJob> job) {
  const HANDLE thread = CreateThread(nullptr, 0, RunPost, job.get(), 0, nullptr);
  if (thread == nullptr) return false;
  job.release();  // the thread owns it now
  CloseHandle(thread);
  return true;
}

// A thread timer that wakes the wait now and then to look at the clock.
class DeadlineTicks {
 public:
  DeadlineTicks() : id_(SetTimer(nullptr, 0, kDeadlineTickMs, nullptr)) {}
  DeadlineTicks(const DeadlineTicks&) = delete;
  DeadlineTicks& operator=(const DeadlineTicks&) = delete;
  ~DeadlineTicks() {
    if (id_ != 0) KillTimer(nullptr, id_);
  }

 private:
  UINT_PTR id_;
};

class WaitFlag {
 public:
  explicit WaitFlag(bool& flag) : flag_(flag) { flag_ = true; }
  WaitFlag(const WaitFlag&) = delete;
  WaitFlag& operator=(const WaitFlag&) = delete;
  ~WaitFlag() { flag_ = false; }

 private:
  bool& flag_;
};

}  // namespace

HttpsAnswer WinHttpsTransport::PostForm(const std::string& url, const std::string& form) {
  const std::optional<UrlParts> parts = SplitUrl(url);
  if (!EndpointAllowed(url) || !parts) return Unreachable();
  const WinHttpApi* api = Api();
  // The certificate functions load here, on the program's thread, before the
  // request's thread needs them.
  if (api == nullptr || (parts->https && !ServerCertificateChecksAvailable())) return Unreachable();
  auto pending = std::make_shared<PendingPost>();
  if (!StartPost(std::make_unique<PostJob>(PostJob{pending, api, *parts, form, GetCurrentThreadId()})))
    return Unreachable();
  const WaitFlag waiting(waiting_);
  const DeadlineTicks ticks;
  const DWORD start = GetTickCount();
  while (!pending->done.load(std::memory_order_acquire)) {
    if (GetTickCount() - start >= kWaitLimitMs) return Unreachable();
    int exit_code = 0;
    if (!PumpOneMessage(exit_code)) {
      PostQuitMessage(exit_code);  // the loop that owns it ends the program
      return Unreachable();
    }
  }
  return pending->answer;
}

}  // namespace buzonix
