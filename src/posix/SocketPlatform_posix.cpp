#include "posix/SocketPlatform_posix.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>

namespace buzonix {

int WinsockCodeFromErrno(int error) {
  switch (error) {
    case EINTR: return 10004;
    case EBADF: return 10038;  // a bad handle given to a socket call
    case EACCES: return 10013;
    case EFAULT: return 10014;
    case EINVAL: return 10022;
    case EMFILE: return 10024;
    case EAGAIN: return 10035;
    case EINPROGRESS: return 10036;
    case EALREADY: return 10037;
    case ENOTSOCK: return 10038;
    case EDESTADDRREQ: return 10039;
    case EMSGSIZE: return 10040;
    case EPROTOTYPE: return 10041;
    case ENOPROTOOPT: return 10042;
    case EPROTONOSUPPORT: return 10043;
    case ESOCKTNOSUPPORT: return 10044;
    case EOPNOTSUPP: return 10045;
    case EPFNOSUPPORT: return 10046;
    case EAFNOSUPPORT: return 10047;
    case EADDRINUSE: return 10048;
    case EADDRNOTAVAIL: return 10049;
    case ENETDOWN: return 10050;
    case ENETUNREACH: return 10051;
    case ENETRESET: return 10052;
    case ECONNABORTED: return 10053;
    case ECONNRESET: return 10054;
    case EPIPE: return 10054;  // writing to a connection the peer has reset
    case ENOBUFS: return 10055;
    case EISCONN: return 10056;
    case ENOTCONN: return 10057;
    case ESHUTDOWN: return 10058;
    case ETOOMANYREFS: return 10059;
    case ETIMEDOUT: return 10060;
    case ECONNREFUSED: return 10061;
    case ELOOP: return 10062;
    case ENAMETOOLONG: return 10063;
    case EHOSTDOWN: return 10064;
    case EHOSTUNREACH: return 10065;
    case ENOTEMPTY: return 10066;
    case EUSERS: return 10068;
    case EDQUOT: return 10069;
    case ESTALE: return 10070;
    case EREMOTE: return 10071;
    default: return error;
  }
}

PosixSocketPlatform::~PosixSocketPlatform() {
  loop_.KillTimer(kTimeoutTimerId);
  for (SocketHandle s : open_) {
    loop_.Unwatch(s);
    ::close(s);
  }
}

int PosixSocketPlatform::Fail(int winsock_code) {
  last_error_ = winsock_code;
  return -1;
}

int PosixSocketPlatform::FailFromErrno() { return Fail(WinsockCodeFromErrno(errno)); }

std::optional<std::uint16_t> PosixSocketPlatform::ServicePort(const std::string& name) {
  const servent* entry = ::getservbyname(name.c_str(), "tcp");
  if (entry == nullptr) return std::nullopt;
  return static_cast<std::uint16_t>(entry->s_port);
}

namespace {

// Only the resolver's definite "no such name" (an NXDOMAIN, or a name that
// has no address of any kind) counts as not found.
bool MeansNoSuchName(int gai_error) {
  if (gai_error == EAI_NONAME) return true;
#ifdef EAI_NODATA
  if (gai_error == EAI_NODATA) return true;
#endif
  return false;
}

LookUpResult LookUp(const std::string& host, std::uint16_t port_net) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  const int error = ::getaddrinfo(host.c_str(), nullptr, &hints, &found);
  if (error != 0)
    return {MeansNoSuchName(error) ? LookUpResult::kNoSuchName : LookUpResult::kFailed, {}};
  LookUpResult result{LookUpResult::kFound, {}};
  for (const addrinfo* a = found; a != nullptr; a = a->ai_next) {
    if (a->ai_family == AF_INET || a->ai_family == AF_INET6)
      result.addresses.push_back(AddressWithPort(a->ai_family, a->ai_addr, a->ai_addrlen, port_net));
  }
  ::freeaddrinfo(found);
  if (result.addresses.empty()) result.status = LookUpResult::kFailed;
  return result;
}

// A look-up on a thread of its own, which may outlive a wait that gave up.
struct PendingLookUp {
  int pipe[2] = {-1, -1};
  std::mutex lock;
  LookUpResult result;
  ~PendingLookUp() {
    for (int fd : pipe)
      if (fd >= 0) ::close(fd);
  }
};

}  // namespace

LookUpResult PosixSocketPlatform::Resolve(const std::string& host, std::uint16_t port_net) {
  auto pending = std::make_shared<PendingLookUp>();
  if (::pipe(pending->pipe) != 0) return LookUp(host, port_net);
  std::thread([pending, host, port_net] {
    LookUpResult result = LookUp(host, port_net);
    {
      const std::lock_guard<std::mutex> hold(pending->lock);
      pending->result = std::move(result);
    }
    const char done = 1;
    if (::write(pending->pipe[1], &done, 1) < 0) return;
  }).detach();
  blocking_ = true;
  cancelled_ = false;
  loop_.WaitFor(pending->pipe[0], POLLIN, [this] { return cancelled_; });
  blocking_ = false;
  if (cancelled_) {
    cancelled_ = false;
    return {};
  }
  const std::lock_guard<std::mutex> hold(pending->lock);
  return pending->result;
}

std::optional<int> PosixSocketPlatform::TcpProtocolNumber() {
  const protoent* entry = ::getprotobyname("tcp");
  if (entry == nullptr) return std::nullopt;
  return entry->p_proto;
}

SocketHandle PosixSocketPlatform::OpenSocket(int family, int protocol) {
  const int fd = ::socket(family, SOCK_STREAM, protocol);
  if (fd < 0) return FailFromErrno();
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
  open_.insert(fd);
  return fd;
}

void PosixSocketPlatform::Notify(SocketHandle s, short revents) {
  if (sink_ == nullptr) return;
  if (connect_pending_.count(s) != 0 && (revents & (POLLOUT | POLLERR | POLLHUP))) {
    connect_pending_.erase(s);
    int error = 0;
    socklen_t size = sizeof error;
    ::getsockopt(s, SOL_SOCKET, SO_ERROR, &error, &size);
    sink_->OnSocketNotification(s, kFdConnect, error ? WinsockCodeFromErrno(error) : 0);
    if (error == 0) sink_->OnSocketNotification(s, kFdWrite, 0);
    loop_.Watch(s, POLLIN, [this, s](short r) { Notify(s, r); });
    return;
  }
  if (revents & POLLIN) {
    char probe;
    const ssize_t n = ::recv(s, &probe, 1, MSG_PEEK | MSG_DONTWAIT);
    if (n == 0) {
      loop_.Unwatch(s);
      sink_->OnSocketNotification(s, kFdClose, 0);
    } else {
      // Like Winsock, one FD_READ until the next receive re-enables it.
      loop_.Unwatch(s);
      sink_->OnSocketNotification(s, kFdRead, 0);
    }
  } else if (revents & (POLLERR | POLLHUP)) {
    loop_.Unwatch(s);
    sink_->OnSocketNotification(s, kFdClose, 0);
  }
}

int PosixSocketPlatform::AsyncSelect(SocketHandle s, long mask) {
  if (open_.count(s) == 0) return Fail(kWsaEnotsock);
  pseudo_blocking_.erase(s);
  if (mask == 0) {
    loop_.Unwatch(s);
    connect_pending_.erase(s);
    return 0;
  }
  // A socket connected earlier tells of its data from now on, as Winsock
  // does for one that already holds some.
  sockaddr_storage peer{};
  socklen_t size = sizeof peer;
  if ((mask & (kFdRead | kFdClose)) != 0 && connect_pending_.count(s) == 0 &&
      ::getpeername(s, reinterpret_cast<sockaddr*>(&peer), &size) == 0)
    loop_.Watch(s, POLLIN, [this, s](short r) { Notify(s, r); });
  return 0;
}

void PosixSocketPlatform::SetBlocking(SocketHandle s) {
  if (open_.count(s) == 0) return;
  pseudo_blocking_.insert(s);
  // Its waits take over: no notification may run inside one.
  if (connect_pending_.count(s) == 0) loop_.Unwatch(s);
}

bool PosixSocketPlatform::WaitReady(SocketHandle s, short events) {
  blocking_ = true;
  cancelled_ = false;
  loop_.WaitFor(s, events, [this] { return cancelled_; });
  blocking_ = false;
  if (cancelled_) {
    cancelled_ = false;
    Fail(kWsaEintr);
    return false;
  }
  return true;
}

int PosixSocketPlatform::Connect(SocketHandle s, const SocketAddress& address) {
  if (open_.count(s) == 0) return Fail(kWsaEnotsock);
  const auto* remote = reinterpret_cast<const sockaddr*>(address.bytes.data());
  if (::connect(s, remote, static_cast<socklen_t>(address.bytes.size())) == 0) return 0;
  if (errno != EINPROGRESS) return FailFromErrno();
  if (pseudo_blocking_.count(s) == 0) {
    connect_pending_.insert(s);
    loop_.Watch(s, POLLOUT, [this, s](short r) { Notify(s, r); });
    return Fail(kWsaEwouldblock);
  }
  if (!WaitReady(s, POLLOUT)) return -1;
  int error = 0;
  socklen_t size = sizeof error;
  ::getsockopt(s, SOL_SOCKET, SO_ERROR, &error, &size);
  if (error != 0) return Fail(WinsockCodeFromErrno(error));
  return 0;
}

int PosixSocketPlatform::Send(SocketHandle s, const char* data, int length) {
  if (open_.count(s) == 0) return Fail(kWsaEnotsock);
  for (;;) {
    const ssize_t n = ::send(s, data, static_cast<std::size_t>(length), MSG_NOSIGNAL);
    if (n >= 0) return static_cast<int>(n);
    if (errno != EAGAIN || pseudo_blocking_.count(s) == 0) return FailFromErrno();
    if (!WaitReady(s, POLLOUT)) return -1;
  }
}

int PosixSocketPlatform::Recv(SocketHandle s, char* buffer, int length) {
  if (open_.count(s) == 0) return Fail(kWsaEnotsock);
  for (;;) {
    const ssize_t n = ::recv(s, buffer, static_cast<std::size_t>(length), 0);
    if (n >= 0) {
      if (pseudo_blocking_.count(s) == 0 && open_.count(s) != 0)
        loop_.Watch(s, POLLIN, [this, s](short r) { Notify(s, r); });
      return static_cast<int>(n);
    }
    if (errno != EAGAIN || pseudo_blocking_.count(s) == 0) return FailFromErrno();
    if (!WaitReady(s, POLLIN)) return -1;
  }
}

void PosixSocketPlatform::Shutdown(SocketHandle s) {
  if (open_.count(s) != 0) ::shutdown(s, SHUT_RDWR);
}

void PosixSocketPlatform::SetAbortiveClose(SocketHandle s) {
  if (open_.count(s) == 0) return;
  const linger option{1, 0};
  ::setsockopt(s, SOL_SOCKET, SO_LINGER, &option, sizeof option);
}

int PosixSocketPlatform::CloseSocket(SocketHandle s) {
  if (open_.count(s) == 0) return Fail(kWsaEnotsock);  // never hand an unknown fd to close()
  loop_.Unwatch(s);
  open_.erase(s);
  pseudo_blocking_.erase(s);
  connect_pending_.erase(s);
  if (::close(s) != 0) return FailFromErrno();
  return 0;
}

void PosixSocketPlatform::SetTimer(unsigned milliseconds) {
  loop_.SetTimer(kTimeoutTimerId, milliseconds, [this] {
    if (sink_ != nullptr) sink_->OnTimerMessage();
  });
}

void PosixSocketPlatform::KillTimer() { loop_.KillTimer(kTimeoutTimerId); }

void PosixSocketPlatform::ShowMessageBox(const std::string& text, const std::string& caption) {
  std::fprintf(stderr, "[%s] %s\n", caption.c_str(), text.c_str());
}

void PosixSocketPlatform::ExitProgram(int code) { std::exit(code); }

}  // namespace buzonix
