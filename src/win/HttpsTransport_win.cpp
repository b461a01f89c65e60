#include "win/HttpsTransport_win.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <winhttp.h>

#include <atomic>
#include <memory>
#include <optional>
#include <string>

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
  decltype(&WinHttpSetStatusCallback) SetStatusCallback =
      library.Bind<decltype(&WinHttpSetStatusCallback)>("WinHttpSetStatusCallback");

  bool Complete() const {
    return Open && Close && SetTimeouts && SetOption && QueryOption && Connect && OpenRequest && SendRequest &&
           WriteData && ReceiveResponse && QueryHeaders && ReadData && SetStatusCallback;
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
// cookies, no automatic sign-on. WinHTTP keeps its own certificate checks:
// they are the only ones that run before it writes the request line and
// headers (WinHttpSendRequest sends them before it returns, and no status
// callback can stop that). The program's checks, exactly those of the mail
// server, run after them and before the form, so that a certificate either
// refuses goes no further.
void RestrictRequest(const WinHttpApi& api, HINTERNET request) {
  SetDwordOption(api, request, WINHTTP_OPTION_DISABLE_FEATURE, WINHTTP_DISABLE_REDIRECTS | WINHTTP_DISABLE_COOKIES);
  SetDwordOption(api, request, WINHTTP_OPTION_AUTOLOGON_POLICY, WINHTTP_AUTOLOGON_SECURITY_LEVEL_HIGH);
}

// Windows reports a refused certificate as ERROR_WINHTTP_SECURE_FAILURE and
// says why only to a status callback; `context` points at the flags' DWORD.
void CALLBACK NoteSecureFailure(HINTERNET, DWORD_PTR context, DWORD status, void* information, DWORD length) {
  if (status != WINHTTP_CALLBACK_STATUS_SECURE_FAILURE || context == 0 || information == nullptr ||
      length < sizeof(DWORD))
    return;
  *reinterpret_cast<DWORD*>(context) = *static_cast<const DWORD*>(information);
}

// WinHTTP's refusal of the certificate in the program's terms; nullopt for
// a failure that is no refusal.
std::optional<TlsFailure> RefusalOf(DWORD error, DWORD secure_flags) {
  switch (error) {
    case ERROR_WINHTTP_SECURE_CERT_DATE_INVALID: return TlsFailure::kExpired;
    case ERROR_WINHTTP_SECURE_CERT_CN_INVALID: return TlsFailure::kNameMismatch;
    case ERROR_WINHTTP_SECURE_INVALID_CA:
    case ERROR_WINHTTP_SECURE_INVALID_CERT:
    case ERROR_WINHTTP_SECURE_CERT_REVOKED:
    case ERROR_WINHTTP_SECURE_CERT_REV_FAILED:
    case ERROR_WINHTTP_SECURE_CERT_WRONG_USAGE: return TlsFailure::kUntrusted;
    case ERROR_WINHTTP_SECURE_CHANNEL_ERROR: return TlsFailure::kHandshake;
    case ERROR_WINHTTP_SECURE_FAILURE:
      if (secure_flags & WINHTTP_CALLBACK_STATUS_FLAG_CERT_DATE_INVALID) return TlsFailure::kExpired;
      if (secure_flags & WINHTTP_CALLBACK_STATUS_FLAG_CERT_CN_INVALID) return TlsFailure::kNameMismatch;
      if (secure_flags == WINHTTP_CALLBACK_STATUS_FLAG_SECURITY_CHANNEL_ERROR) return TlsFailure::kHandshake;
      return TlsFailure::kUntrusted;
    default: return std::nullopt;
  }
}

TlsFailure CheckServer(const WinHttpApi& api, HINTERNET request, const std::string& host) {
  const CERT_CONTEXT* raw = nullptr;
  DWORD size = sizeof raw;
  if (!api.QueryOption(request, WINHTTP_OPTION_SERVER_CERT_CONTEXT, &raw, &size) || raw == nullptr)
    return TlsFailure::kUntrusted;
  const ServerCertificate certificate(raw);
  return VerifyServerCertificate(certificate.get(), host);
}

// A connected socket, closed with its owner; Winsock held meanwhile.
class ProbeSocket {
 public:
  ProbeSocket() : started_(WSAStartup(MAKEWORD(2, 2), &data_) == 0) {}
  ProbeSocket(const ProbeSocket&) = delete;
  ProbeSocket& operator=(const ProbeSocket&) = delete;
  ~ProbeSocket() {
    if (s_ != INVALID_SOCKET) closesocket(s_);
    if (started_) WSACleanup();
  }

  bool Connect(const UrlParts& url) {
    if (!started_) return false;
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    addrinfo* found = nullptr;
    if (getaddrinfo(url.host.c_str(), std::to_string(url.port).c_str(), &hints, &found) != 0) return false;
    for (const addrinfo* at = found; at != nullptr && s_ == INVALID_SOCKET; at = at->ai_next) {
      s_ = socket(at->ai_family, at->ai_socktype, at->ai_protocol);
      if (s_ == INVALID_SOCKET) continue;
      const DWORD timeout = kTimeoutMs;
      setsockopt(s_, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout), sizeof timeout);
      setsockopt(s_, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&timeout), sizeof timeout);
      if (connect(s_, at->ai_addr, static_cast<int>(at->ai_addrlen)) != 0) {
        closesocket(s_);
        s_ = INVALID_SOCKET;
      }
    }
    freeaddrinfo(found);
    return s_ != INVALID_SOCKET;
  }

  bool SendAll(const std::string& bytes) {
    for (std::size_t sent = 0; sent < bytes.size();) {
      const int n = send(s_, bytes.data() + sent, static_cast<int>(bytes.size() - sent), 0);
      if (n <= 0) return false;
      sent += static_cast<std::size_t>(n);
    }
    return true;
  }

  bool Receive(std::string& bytes) {
    char buffer[4096];
    const int n = recv(s_, buffer, sizeof buffer, 0);
    if (n <= 0) return false;
    bytes.assign(buffer, static_cast<std::size_t>(n));
    return true;
  }

 private:
  WSADATA data_{};
  bool started_;
  SOCKET s_ = INVALID_SOCKET;
};

// Why the certificate WinHTTP refused fails the program's own checks: a
// handshake of the program's engine alone, after which the connection closes
// with nothing sent inside it. WinHTTP under Wine names no reason of its
// own. kNone when the probe learnt nothing (or the certificate passed there).
TlsFailure ProgramVerdict(const UrlParts& url) {
  const std::unique_ptr<TlsEngine> engine = MakeSchannelEngine(url.host);
  ProbeSocket probe;
  if (!engine || !probe.Connect(url)) return TlsFailure::kNone;
  for (int round = 0; round < 16; ++round) {
    const TlsEngine::State state = engine->Handshake();
    if (state == TlsEngine::State::kFailed) return engine->Failure();
    if (state != TlsEngine::State::kHandshaking || !probe.SendAll(engine->TakeOutput())) return TlsFailure::kNone;
    std::string bytes;
    if (!probe.Receive(bytes)) return TlsFailure::kNone;
    engine->Feed(bytes);
  }
  return TlsFailure::kNone;
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
// only after WinHTTP's certificate checks, with the length of a body not yet
// sent; the form follows only once the program's own checks passed too.
HttpsAnswer Post(const WinHttpApi& api, const UrlParts& url, const std::string& form) {
  const std::optional<std::wstring> host = WideFromUtf8(url.host);
  const std::optional<std::wstring> path = WideFromUtf8(url.path_and_query);
  if (!host || !path) return Unreachable();
  const bool loopback = IsLoopbackName(url.host);
  DWORD secure_flags = 0;  // the status callback's; outlives the handles
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
  RestrictRequest(api, request.get());
  if (url.https &&
      api.SetStatusCallback(request.get(), NoteSecureFailure, WINHTTP_CALLBACK_FLAG_SECURE_FAILURE, 0) ==
          WINHTTP_INVALID_STATUS_CALLBACK)
    return Unreachable();
  const wchar_t headers[] = L"Content-Type: application/x-www-form-urlencoded\r\nAccept: application/json\r\n";
  if (!api.SendRequest(request.get(), headers, static_cast<DWORD>(-1), WINHTTP_NO_REQUEST_DATA, 0,
                       static_cast<DWORD>(form.size()), reinterpret_cast<DWORD_PTR>(&secure_flags))) {
    const DWORD error = GetLastError();
    if (const std::optional<TlsFailure> refusal = RefusalOf(error, secure_flags); url.https && refusal) {
      const TlsFailure verdict = ProgramVerdict(url);
      return BadCertificate(verdict != TlsFailure::kNone ? verdict : *refusal);
    }
    return Unreachable();
  }
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
