// Figures of the IMAP session, natively.
//   imap_bench session HOST PORT USER PASSWORD ROUNDS [tls]
// Times one session (connect, login, EXAMINE, SEARCH, IDLE, DONE, LOGOUT)
// next to a minimal client sending the same commands (over OpenSSL with tls;
// SSL_CERT_FILE may name the CA to trust).
//   imap_bench push HOST USER DOVECOT_SH DOVECOT_DIR DELIVERIES
// A message delivered while both the session and a minimal IDLE client wait,
// to the changed count, for each; median and p99.
//   imap_bench soak SCRIPTED_ADDRESS SCRIPTED_DIR WAKEUPS
// IDLE wake-ups and recounts against the scripted server, with open
// descriptors and resident memory before and after.
#include <arpa/inet.h>
#include <dirent.h>
#include <netdb.h>
#include <openssl/ssl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "QuietHost.h"
#include "mailcheck/ImapCheck.h"
#include "posix/SocketPlatform_posix.h"
#include "posix/TlsEngine_openssl.h"
#include "text/Base64.h"
#include "support/MessageLoop.h"

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

void Report(const char* name, std::vector<double> times) {
  if (times.empty()) return;
  std::sort(times.begin(), times.end());
  const auto at = [&](double q) { return times[static_cast<std::size_t>(q * (times.size() - 1))]; };
  std::printf("%-34s median %8.2f ms  p10 %8.2f  p90 %8.2f  p99 %8.2f  (%zu)\n", name, at(0.5), at(0.1),
              at(0.9), at(0.99), times.size());
}

int ConnectTcp(const std::string& host, const std::string& port) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (getaddrinfo(host.c_str(), port.c_str(), &hints, &found) != 0) return -1;
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  if (connect(fd, found->ai_addr, found->ai_addrlen) != 0) {
    close(fd);
    fd = -1;
  }
  freeaddrinfo(found);
  return fd;
}

// A byte stream, plain or over OpenSSL, read up to line feeds.
struct Stream {
  int fd = -1;
  SSL* tls = nullptr;
  std::string pending;

  bool Send(const std::string& text) {
    return tls ? SSL_write(tls, text.data(), static_cast<int>(text.size())) > 0
               : send(fd, text.data(), text.size(), 0) == static_cast<ssize_t>(text.size());
  }
  // The next line; empty when the stream ended.
  std::string Line() {
    char buffer[4096];
    while (pending.find('\n') == std::string::npos) {
      const int n = tls ? SSL_read(tls, buffer, sizeof buffer) : static_cast<int>(recv(fd, buffer, sizeof buffer, 0));
      if (n <= 0) return {};
      pending.append(buffer, static_cast<std::size_t>(n));
    }
    const std::size_t lf = pending.find('\n');
    std::string line = pending.substr(0, lf + 1);
    pending.erase(0, lf + 1);
    return line;
  }
  bool Until(const std::string& prefix) {
    for (std::string line = Line(); !line.empty(); line = Line())
      if (line.rfind(prefix, 0) == 0) return true;
    return false;
  }
};

std::string PlainAuth(const std::string& user, const std::string& password) {
  return buzonix::Base64(std::string(1, '\0') + user + std::string(1, '\0') + password);
}

bool Open(Stream& s, SSL_CTX* context, const std::string& host, const std::string& port) {
  s.fd = ConnectTcp(host, port);
  if (s.fd < 0) return false;
  if (context != nullptr) {
    s.tls = SSL_new(context);
    SSL_set_fd(s.tls, s.fd);
    SSL_set1_host(s.tls, host.c_str());
    SSL_set_tlsext_host_name(s.tls, host.c_str());
    if (SSL_connect(s.tls) != 1) return false;
  }
  return !s.Line().empty();
}

void Close(Stream& s) {
  if (s.tls) {
    SSL_shutdown(s.tls);
    SSL_free(s.tls);
  }
  if (s.fd >= 0) close(s.fd);
}

// The minimal client: the session's commands, each answer read up to its tag.
bool RawSession(SSL_CTX* context, const std::string& host, const std::string& port, const std::string& user,
                const std::string& password) {
  Stream s;
  bool ok = Open(s, context, host, port) && s.Send("a AUTHENTICATE PLAIN " + PlainAuth(user, password) + "\r\n") &&
            s.Until("a OK") && s.Send("b EXAMINE INBOX\r\n") && s.Until("b OK") &&
            s.Send("c UID SEARCH UNSEEN\r\n") && s.Until("c OK") && s.Send("d IDLE\r\n") && s.Until("+") &&
            s.Send("DONE\r\n") && s.Until("d OK") && s.Send("e LOGOUT\r\n") && s.Until("e OK");
  Close(s);
  return ok;
}

struct SocketWakeTimer final : buzonix::WakeTimer {
  explicit SocketWakeTimer(buzonix::TSockets& s) : sockets(s) {}
  void Start(unsigned ms) override { sockets.StartWakeTimer(ms); }
  void Stop() override { sockets.StopWakeTimer(); }
  buzonix::TSockets& sockets;
};

struct Core {
  buzonix::MessageLoop loop;
  buzonix::PosixSocketPlatform platform{loop};
  buzonix::Settings settings;
  buzonix::CheckState state;
  bench::QuietHost host;
  buzonix::TSockets sockets{platform};
  SocketWakeTimer wake_timer{sockets};
  buzonix::ImapCheck check{sockets, state, settings, host};

  Core(const std::string& host_name, const std::string& port, const std::string& user, const std::string& password,
       bool tls) {
    settings.Host = host_name;
    settings.Puerto = port;
    settings.Usuario = user;
    settings.Clave = password;
    settings.Protocolo = "IMAP";
    settings.Seguridad = tls ? "SSL/TLS" : "Ninguna";
    sockets.OnErrorOccurred = [this](buzonix::TSockets& s, buzonix::SocketHandle h, int e, const std::string& m) {
      check.Sockets1ErrorOccurred(s, h, e, m);
    };
    sockets.OnDataAvailable = [this](buzonix::TSockets&, buzonix::SocketHandle) { check.DataAvailable(); };
    sockets.OnSessionClosed = [this](buzonix::TSockets&, buzonix::SocketHandle) { check.SessionClosed(); };
    sockets.OnWakeTimer = [this](buzonix::TSockets&, buzonix::SocketHandle) { check.WakeTimerFired(); };
    check.SetTlsEngineFactory(buzonix::MakeOpenSslEngine);
    check.SetWakeTimer(&wake_timer);
  }

  void PumpUntil(const std::function<bool()>& done, int limit_ms) {
    const auto end = Clock::now() + std::chrono::milliseconds(limit_ms);
    while (!done() && Clock::now() < end) {
      bool tick = false;
      loop.SetTimer(99, 5, [&] { tick = true; });
      loop.RunUntil([&] { return tick || done(); });
      loop.KillTimer(99);
    }
  }
};

long OpenDescriptors() {
  long n = 0;
  if (DIR* dir = opendir("/proc/self/fd")) {
    while (readdir(dir) != nullptr) ++n;
    closedir(dir);
  }
  return n - 2;
}

long ResidentKb() {
  std::ifstream status("/proc/self/status");
  std::string key;
  long value = 0;
  while (status >> key) {
    if (key == "VmRSS:") {
      status >> value;
      return value;
    }
    status.ignore(1 << 12, '\n');
  }
  return 0;
}

int Session(char** argv, int argc) {
  const std::string host = argv[2], port = argv[3], user = argv[4], password = argv[5];
  const int rounds = std::atoi(argv[6]);
  const bool tls = argc > 7 && std::string(argv[7]) == "tls";
  SSL_CTX* context = nullptr;
  if (tls) {
    context = SSL_CTX_new(TLS_client_method());
    SSL_CTX_set_default_verify_paths(context);
    SSL_CTX_set_verify(context, SSL_VERIFY_PEER, nullptr);
  }
  Core core(host, port, user, password, tls);
  std::vector<double> ours, raw;
  int failures = 0;
  for (int i = 0; i < rounds; ++i) {
    auto start = Clock::now();
    core.check.CheckMail();
    const bool counted = core.check.Idling();
    core.check.EndSession();
    ours.push_back(Ms(Clock::now() - start));
    start = Clock::now();
    const bool raw_ok = RawSession(context, host, port, user, password);
    raw.push_back(Ms(Clock::now() - start));
    failures += !counted + !raw_ok;
  }
  Report(tls ? "session over TLS, the program's core" : "session, the program's core", ours);
  Report(tls ? "session over TLS, minimal client" : "session, minimal client", raw);
  if (failures) std::printf("%d failures\n", failures);
  if (context) SSL_CTX_free(context);
  return failures ? 1 : 0;
}

int Push(char** argv) {
  const std::string host = argv[2], user = argv[3], dovecot_sh = argv[4], dir = argv[5];
  const int deliveries = std::atoi(argv[6]);
  Core core(host, "143", user, "secret", false);
  core.check.CheckMail();
  if (!core.check.Idling()) {
    std::printf("the session did not reach IDLE\n");
    return 1;
  }
  // The minimal client idles in a thread of its own and stamps each EXISTS.
  std::atomic<long long> raw_seen{0};
  std::atomic<bool> stop{false};
  Stream s;
  if (!Open(s, nullptr, host, "143") ||
      !s.Send("a AUTHENTICATE PLAIN " + PlainAuth(user, "secret") + "\r\n") || !s.Until("a OK") ||
      !s.Send("b EXAMINE INBOX\r\n") || !s.Until("b OK") || !s.Send("c IDLE\r\n") || !s.Until("+"))
    return 1;
  std::thread raw([&] {
    for (std::string line = s.Line(); !line.empty() && !stop; line = s.Line())
      if (line.find(" EXISTS") != std::string::npos)
        raw_seen = Clock::now().time_since_epoch().count();
  });
  std::vector<double> ours, minimal;
  for (int i = 0; i < deliveries; ++i) {
    const std::int32_t before = core.state.NumMensajes;
    const long long raw_before = raw_seen;
    const auto start = Clock::now();
    if (std::system((dovecot_sh + " deliver " + dir + " " + user + " 1").c_str()) != 0) return 1;
    core.PumpUntil([&] { return core.state.NumMensajes != before; }, 5000);
    ours.push_back(Ms(Clock::now() - start));
    const auto limit = Clock::now() + std::chrono::seconds(5);
    while (raw_seen == raw_before && Clock::now() < limit) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    minimal.push_back(Ms(Clock::time_point(Clock::duration(raw_seen.load())) - start));
  }
  Report("push, the program's core", ours);
  Report("push, minimal IDLE client", minimal);
  std::printf("polling at the 1-minute interval: 30000 ms expected\n");
  stop = true;
  s.Send("DONE\r\nd LOGOUT\r\n");
  raw.join();
  Close(s);
  core.check.EndSession();
  return 0;
}

int Soak(char** argv) {
  const std::string address = argv[2], dir = argv[3];
  const int wakeups = std::atoi(argv[4]);
  {
    std::ofstream script(dir + "/script.json");
    script << R"({"mode": "imap", "users": {"alice": "secret"}, "tag": "soak",)"
           << R"( "idle": [[{"send": "* 3 EXISTS\r\n"}]]})";
  }
  Core core(address, "110", "alice", "secret", false);
  core.check.CheckMail();
  core.PumpUntil([&] { return core.check.Recounts() >= 100; }, 60000);
  const long fds = OpenDescriptors(), rss = ResidentKb();
  const auto start = Clock::now();
  core.PumpUntil([&] { return core.check.Recounts() >= 100 + wakeups; }, 600000);
  const double seconds = Ms(Clock::now() - start) / 1000;
  std::printf("%d wake-ups and recounts in %.1f s, %d logins\n", core.check.Recounts() - 100, seconds,
              core.check.Logins());
  std::printf("open descriptors %ld -> %ld, resident %ld KB -> %ld KB\n", fds, OpenDescriptors(), rss, ResidentKb());
  core.check.EndSession();
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "session" && argc >= 7) return Session(argv, argc);
  if (mode == "push" && argc >= 7) return Push(argv);
  if (mode == "soak" && argc >= 5) return Soak(argv);
  std::fprintf(stderr, "usage: see the head of imap_bench.cpp\n");
  return 2;
}
