#include "win/LoopbackListener_win.h"

#include "win/WinWindow.h"

namespace buzonix {
namespace {

constexpr UINT kSocketMessage = WM_USER;
constexpr char kWindowClass[] = "BuzonixRedirectWindow";
// A browser opens a few spare connections; more than this at once is no
// browser, and each one past it is closed at once.
constexpr std::size_t kMaxConnections = 16;

}  // namespace

class WinLoopbackListener::Socket {
 public:
  explicit Socket(SOCKET s) : s_(s) {}
  Socket(const Socket&) = delete;
  Socket& operator=(const Socket&) = delete;
  ~Socket() { closesocket(s_); }
  SOCKET get() const { return s_; }

 private:
  SOCKET s_;
};

class WinLoopbackListener::EventWindow final : public WinWindow {
 public:
  explicit EventWindow(WinLoopbackListener& owner) : owner_(owner) { CreateMessageOnly(kWindowClass); }
  ~EventWindow() override { Destroy(); }

 private:
  LRESULT HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) override {
    if (message != kSocketMessage) return WinWindow::HandleMessage(message, wparam, lparam);
    owner_.SocketEvent(static_cast<SOCKET>(wparam), WSAGETSELECTEVENT(lparam));
    return 0;
  }

  WinLoopbackListener& owner_;
};

WinLoopbackListener::WinLoopbackListener() = default;

WinLoopbackListener::~WinLoopbackListener() { Close(); }

std::uint16_t WinLoopbackListener::Listen(ListenerEvents& events) {
  Close();
  WSADATA data;
  if (WSAStartup(MAKEWORD(2, 2), &data) != 0) return 0;
  started_ = true;
  if (!window_) window_ = std::make_unique<EventWindow>(*this);
  const SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (s == INVALID_SOCKET) return 0;
  listening_ = std::make_unique<Socket>(s);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = 0;
  int length = sizeof address;
  if (bind(s, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 || listen(s, SOMAXCONN) != 0 ||
      getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) != 0 ||
      WSAAsyncSelect(s, window_->Handle(), kSocketMessage, FD_ACCEPT) != 0) {
    Close();
    return 0;
  }
  events_ = &events;
  return ntohs(address.sin_port);
}

// What the redirect answer is needs no more than one send on loopback; what
// does not go at once is given up with the connection.
void WinLoopbackListener::Respond(int connection, const std::string& response) {
  const auto found = connections_.find(connection);
  if (found == connections_.end()) return;
  const SOCKET s = found->second->get();
  WSAAsyncSelect(s, window_->Handle(), 0, 0);
  u_long blocking = 0;
  ioctlsocket(s, FIONBIO, &blocking);
  std::size_t sent = 0;
  while (sent < response.size()) {
    const int n = send(s, response.data() + sent, static_cast<int>(response.size() - sent), 0);
    if (n <= 0) break;
    sent += static_cast<std::size_t>(n);
  }
  shutdown(s, SD_SEND);
  connections_.erase(found);
}

void WinLoopbackListener::Close() {
  events_ = nullptr;
  connections_.clear();
  listening_.reset();
  if (started_) WSACleanup();
  started_ = false;
}

void WinLoopbackListener::SocketEvent(SOCKET s, WORD event) {
  if (events_ == nullptr) return;
  if (listening_ && s == listening_->get()) {
    if (event == FD_ACCEPT) Accept();
    return;
  }
  if (event == FD_READ) Receive(s);
  else if (event == FD_CLOSE) Drop(s);
}

void WinLoopbackListener::Accept() {
  const SOCKET s = accept(listening_->get(), nullptr, nullptr);
  if (s == INVALID_SOCKET) return;
  auto socket = std::make_unique<Socket>(s);
  if (connections_.size() >= kMaxConnections ||
      WSAAsyncSelect(s, window_->Handle(), kSocketMessage, FD_READ | FD_CLOSE) != 0)
    return;
  connections_[next_connection_++] = std::move(socket);
}

// The handler may respond, close everything or start a sign-in anew: nothing
// of this connection is touched after it.
void WinLoopbackListener::Receive(SOCKET s) {
  const int connection = ConnectionOf(s);
  if (connection == 0) return;
  char buffer[2048];
  const int n = recv(s, buffer, sizeof buffer, 0);
  if (n <= 0) {
    if (n == 0 || WSAGetLastError() != WSAEWOULDBLOCK) Drop(s);
    return;
  }
  events_->ConnectionData(connection, std::string_view(buffer, static_cast<std::size_t>(n)));
}

void WinLoopbackListener::Drop(SOCKET s) {
  if (const int connection = ConnectionOf(s); connection != 0) connections_.erase(connection);
}

int WinLoopbackListener::ConnectionOf(SOCKET s) const {
  for (const auto& [connection, socket] : connections_)
    if (socket->get() == s) return connection;
  return 0;
}

}  // namespace buzonix
