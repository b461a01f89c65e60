#include "win/SocketPlatform_win.h"

#include <atomic>
#include <cstring>
#include <memory>
#include <utility>

#include "win/MessagePump_win.h"
#include "win/Text_win.h"
#include "win/WinWindow.h"

namespace buzonix {
namespace {

constexpr UINT kNotificationMessage = WM_USER;        // the component's events
constexpr UINT kWakeMessage = WM_USER + 1;            // readiness of a waiting call
constexpr UINT_PTR kTimeoutTimerId = 10;
constexpr long kAllEvents = FD_READ | FD_WRITE | FD_CONNECT | FD_CLOSE;
constexpr char kWindowClass[] = "BuzonixSocketWindow";

std::function<void(int)>& QuitHandler() {
  static std::function<void(int)> handler;
  return handler;
}

std::function<void(int)>& ExitHandler() {
  static std::function<void(int)> handler;
  return handler;
}

SOCKET AsSocket(SocketHandle s) { return static_cast<SOCKET>(s); }

}  // namespace

void WinSocketPlatform::SetQuitHandler(std::function<void(int)> handler) {
  QuitHandler() = std::move(handler);
}

void WinSocketPlatform::SetExitHandler(std::function<void(int)> handler) {
  ExitHandler() = std::move(handler);
}

class WinSocketPlatform::MessageWindow final : public WinWindow {
 public:
  explicit MessageWindow(WinSocketPlatform& platform) : platform_(platform) { CreateMessageOnly(kWindowClass); }
  ~MessageWindow() override { Destroy(); }

 private:
  LRESULT HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) override {
    if (platform_.HandleMessage(message, wparam, lparam)) return 0;
    return WinWindow::HandleMessage(message, wparam, lparam);
  }

  WinSocketPlatform& platform_;
};

WinSocketPlatform::WinSocketPlatform() = default;

WinSocketPlatform::~WinSocketPlatform() = default;

bool WinSocketPlatform::HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_TIMER:
      if (sink_ != nullptr) sink_->OnTimerMessage();
      return true;
    case kNotificationMessage:
      if (sink_ != nullptr)
        sink_->OnSocketNotification(static_cast<SocketHandle>(wparam), WSAGETSELECTEVENT(lparam),
                                    WSAGETSELECTERROR(lparam));
      return true;
    case kWakeMessage:
      if (WSAGETSELECTEVENT(lparam) == FD_CONNECT) {
        auto it = connects_.find(static_cast<SocketHandle>(wparam));
        if (it != connects_.end()) it->second = {true, WSAGETSELECTERROR(lparam)};
      }
      return true;
    default:
      return false;
  }
}

// Winsock starts with the first call that needs it rather than with the
// component: a start shows its tray icon before the library has loaded.
int WinSocketPlatform::Startup() {
  startup_wanted_ = true;
  return 0;
}

bool WinSocketPlatform::Started() {
  if (startup_wanted_ && !started_ && startup_error_ == 0) {
    WSADATA data;
    startup_error_ = WSAStartup(0x0101, &data);
    started_ = startup_error_ == 0;
  }
  return started_;
}

int WinSocketPlatform::Cleanup() {
  startup_wanted_ = false;
  startup_error_ = 0;
  if (!std::exchange(started_, false)) return 0;
  return WSACleanup();
}

std::optional<std::uint16_t> WinSocketPlatform::ServicePort(const std::string& name) {
  if (!Started()) return std::nullopt;
  const servent* entry = getservbyname(name.c_str(), "tcp");
  if (entry == nullptr) return std::nullopt;
  return static_cast<std::uint16_t>(entry->s_port);
}

namespace {

// Only the resolver's definite "no such name" counts as not found; "try
// again" and every other failure do not.
LookUpResult LookUp(const std::wstring& host, std::uint16_t port_net, int flags = 0) {
  ADDRINFOW hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = flags;
  ADDRINFOW* found = nullptr;
  const int error = GetAddrInfoW(host.c_str(), nullptr, &hints, &found);
  if (error != 0)
    return {error == WSAHOST_NOT_FOUND ? LookUpResult::kNoSuchName : LookUpResult::kFailed, {}};
  LookUpResult result{LookUpResult::kFound, {}};
  for (const ADDRINFOW* a = found; a != nullptr; a = a->ai_next) {
    if (a->ai_family == AF_INET || a->ai_family == AF_INET6)
      result.addresses.push_back(AddressWithPort(a->ai_family, a->ai_addr, a->ai_addrlen, port_net));
  }
  FreeAddrInfoW(found);
  if (result.addresses.empty()) result.status = LookUpResult::kFailed;
  return result;
}

// A look-up on a thread of its own, which may outlive a wait that gave up.
// The thread is a plain Windows one: the standard library's threads would
// bring their whole runtime into the program for this one job.
struct PendingLookUp {
  std::atomic<bool> done{false};
  LookUpResult result;  // written before done, read after
};

struct LookUpJob {
  std::shared_ptr<PendingLookUp> pending;
  std::wstring name;
  std::uint16_t port_net;
  HWND window;
};

DWORD WINAPI RunLookUp(void* parameter) {
  const std::unique_ptr<LookUpJob> job(static_cast<LookUpJob*>(parameter));
  job->pending->result = LookUp(job->name, job->port_net);
  job->pending->done.store(true, std::memory_order_release);
  PostMessageW(job->window, kWakeMessage, 0, 0);  // the waiting loop looks again
  return 0;
}

// Starts the look-up; false when no thread could be made.
bool StartLookUp(std::unique_ptr<LookUpJob> job) {
  const HANDLE thread = CreateThread(nullptr, 0, RunLookUp, job.get(), 0, nullptr);
  if (thread == nullptr) return false;
  job.release();  // the thread owns it now
  CloseHandle(thread);  // nobody joins it
  return true;
}

}  // namespace

// An address literal is read at once: no thread, no wait.
LookUpResult WinSocketPlatform::Resolve(const std::string& host, std::uint16_t port_net) {
  if (!Started()) return {};
  const std::wstring name = Wide(host);
  LookUpResult literal = LookUp(name, port_net, AI_NUMERICHOST);
  if (literal.status == LookUpResult::kFound) return literal;
  auto pending = std::make_shared<PendingLookUp>();
  if (!StartLookUp(std::make_unique<LookUpJob>(LookUpJob{pending, name, port_net, Window()})))
    return {};
  while (!pending->done.load(std::memory_order_acquire)) {
    if (!WaitForAnyMessage()) {
      cancelled_ = false;
      return {};
    }
  }
  return pending->result;
}

std::optional<int> WinSocketPlatform::TcpProtocolNumber() {
  if (!Started()) return std::nullopt;
  const protoent* entry = getprotobyname("tcp");
  if (entry == nullptr) return std::nullopt;
  return entry->p_proto;
}

SocketHandle WinSocketPlatform::OpenSocket(int family, int protocol) {
  if (!Started()) return kNoSocket;
  const SOCKET s = socket(family, SOCK_STREAM, protocol);
  if (s == INVALID_SOCKET) return kNoSocket;
  return static_cast<SocketHandle>(s);
}

int WinSocketPlatform::AsyncSelect(SocketHandle s, long mask) {
  connects_.erase(s);
  return WSAAsyncSelect(AsSocket(s), Window(), kNotificationMessage, mask);
}

void WinSocketPlatform::SetBlocking(SocketHandle s) {
  // The wake-up messages make the socket non-blocking underneath; the waits
  // below give the caller blocking behaviour on top of it.
  WSAAsyncSelect(AsSocket(s), Window(), kWakeMessage, kAllEvents);
  connects_[s] = PendingConnect{};
}

bool WinSocketPlatform::WaitForAnyMessage() {
  blocking_ = true;
  cancelled_ = false;
  int exit_code = 0;
  const bool quit = !PumpOneMessage(exit_code);
  blocking_ = false;
  if (quit) {
    if (QuitHandler()) QuitHandler()(exit_code);
    PostQuitMessage(exit_code);  // let the caller's loop see it
    cancelled_ = true;
  }
  return !cancelled_;
}

int WinSocketPlatform::Cancelled() {
  cancelled_ = false;
  WSASetLastError(WSAEINTR);
  return -1;
}

int WinSocketPlatform::Connect(SocketHandle s, const SocketAddress& address) {
  const auto* remote = reinterpret_cast<const sockaddr*>(address.bytes.data());
  if (connect(AsSocket(s), remote, static_cast<int>(address.bytes.size())) == 0) return 0;
  if (WSAGetLastError() != WSAEWOULDBLOCK || connects_.count(s) == 0) return -1;
  while (!connects_[s].done) {
    if (!WaitForAnyMessage()) return Cancelled();
  }
  const int error = connects_[s].error;
  if (error == 0) return 0;
  WSASetLastError(error);
  return -1;
}

int WinSocketPlatform::WhenReady(SocketHandle s, const std::function<int()>& call) {
  const bool waits = connects_.count(s) != 0;
  for (;;) {
    const int n = call();
    if (n >= 0 || !waits || WSAGetLastError() != WSAEWOULDBLOCK) return n;
    if (!WaitForAnyMessage()) return Cancelled();
  }
}

int WinSocketPlatform::Send(SocketHandle s, const char* data, int length) {
  return WhenReady(s, [&] { return send(AsSocket(s), data, length, 0); });
}

int WinSocketPlatform::Recv(SocketHandle s, char* buffer, int length) {
  return WhenReady(s, [&] { return recv(AsSocket(s), buffer, length, 0); });
}

void WinSocketPlatform::Shutdown(SocketHandle s) { shutdown(AsSocket(s), 2); }

void WinSocketPlatform::SetAbortiveClose(SocketHandle s) {
  linger option{1, 0};
  setsockopt(AsSocket(s), SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&option),
             sizeof option);
}

int WinSocketPlatform::CloseSocket(SocketHandle s) {
  connects_.erase(s);
  return closesocket(AsSocket(s));
}

void WinSocketPlatform::SetTimer(unsigned milliseconds) {
  ::SetTimer(Window(), kTimeoutTimerId, milliseconds, nullptr);
}

void WinSocketPlatform::KillTimer() {
  if (message_window_) ::KillTimer(message_window_->Handle(), kTimeoutTimerId);
}

HWND WinSocketPlatform::Window() {
  if (!message_window_) message_window_ = std::make_unique<MessageWindow>(*this);
  return message_window_->Handle();
}

void WinSocketPlatform::ShowMessageBox(const std::string& text, const std::string& caption) {
  MessageBoxW(nullptr, Wide(text).c_str(), Wide(caption).c_str(), MB_OKCANCEL);
}

void WinSocketPlatform::ExitProgram(int code) {
  if (ExitHandler()) ExitHandler()(code);
  ExitProcess(static_cast<UINT>(code));
}

}  // namespace buzonix
