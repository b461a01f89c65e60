// Times a full mailbox check (connect to QUIT) against a POP3 server on
// port 110, next to a minimal raw-socket client that sends the same bytes.
//   check_bench ADDRESS USER PASSWORD [ROUNDS]
// Prints the median, the 10th and the 90th percentile of each, in ms.
//   check_bench soak ADDRESS SCRIPTED_ADDRESS SCRIPTED_DIR USER PASSWORD CHECKS
// Runs CHECKS checks, alternately against both servers (the scripted one set
// to behave), and prints open descriptors and resident memory before and after.
//   check_bench tls HOST PORT USER PASSWORD ROUNDS
// Times a full check over TLS from the first byte next to a minimal OpenSSL
// client doing the same exchange (both verify the server; SSL_CERT_FILE may
// name the CA to trust).
#include <arpa/inet.h>
#include <netdb.h>
#include <openssl/ssl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "mailcheck/CheckMail.h"
#include "mailcheck/md5.h"
#include "QuietHost.h"
#include "support/MessageLoop.h"
#include "posix/SocketPlatform_posix.h"
#include "posix/TlsEngine_openssl.h"

#ifdef BUZONIX_BENCH_QT
#include <QCoreApplication>

#include "linux/QtEventLoop.h"
using BenchLoop = buzonix::QtEventLoop;
#else
using BenchLoop = buzonix::MessageLoop;
#endif

namespace {


using bench::QuietHost;

// The exchange both minimal clients play: the greeting, USER, PASS, STAT and
// QUIT, each reply read up to its line feed and no further.
bool PlayExchange(const std::function<bool(const std::string&)>& send_line,
                  const std::function<bool()>& read_reply, const std::string& user,
                  const std::string& password) {
  bool ok = read_reply();
  for (const std::string& line : {"USER " + user + "\r\n", "PASS " + password + "\r\n",
                                  std::string("STAT\r\n"), std::string("QUIT\r\n")})
    ok = ok && send_line(line) && read_reply();
  return ok;
}

// A client with no parsing beyond waiting for each reply's line feed.
bool RawCheck(const std::string& address, const std::string& user, const std::string& password) {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in peer{};
  peer.sin_family = AF_INET;
  peer.sin_port = htons(110);
  inet_pton(AF_INET, address.c_str(), &peer.sin_addr);
  bool ok = connect(fd, reinterpret_cast<sockaddr*>(&peer), sizeof peer) == 0;
  ok = ok && PlayExchange(
                 [&](const std::string& line) {
                   return send(fd, line.data(), line.size(), 0) == static_cast<ssize_t>(line.size());
                 },
                 [&] {
                   char c;
                   while (recv(fd, &c, 1, 0) == 1)
                     if (c == '\n') return true;
                   return false;
                 },
                 user, password);
  close(fd);
  return ok;
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

// The same exchange over OpenSSL on a blocking socket, the server verified.
bool RawTlsCheck(SSL_CTX* context, const std::string& host, const std::string& port, const std::string& user,
                 const std::string& password) {
  const int fd = ConnectTcp(host, port);
  if (fd < 0) return false;
  SSL* session = SSL_new(context);
  SSL_set_fd(session, fd);
  SSL_set1_host(session, host.c_str());
  SSL_set_tlsext_host_name(session, host.c_str());
  std::string pending;
  const bool ok = SSL_connect(session) == 1 &&
                  PlayExchange(
                      [&](const std::string& line) {
                        return SSL_write(session, line.data(), static_cast<int>(line.size())) > 0;
                      },
                      [&] {
                        char buffer[512];
                        while (pending.find('\n') == std::string::npos) {
                          const int n = SSL_read(session, buffer, sizeof buffer);
                          if (n <= 0) return false;
                          pending.append(buffer, static_cast<std::size_t>(n));
                        }
                        pending.erase(0, pending.find('\n') + 1);
                        return true;
                      },
                      user, password);
  SSL_shutdown(session);
  SSL_free(session);
  close(fd);
  return ok;
}

double Milliseconds(const std::function<bool()>& run, bool& ok) {
  const auto start = std::chrono::steady_clock::now();
  ok = run() && ok;
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

void Report(const char* name, std::vector<double> times) {
  std::sort(times.begin(), times.end());
  const auto at = [&](double q) { return times[static_cast<size_t>(q * (times.size() - 1))]; };
  std::printf("%-22s median %7.3f ms   p10 %7.3f   p90 %7.3f   (%zu rounds)\n", name, at(0.5), at(0.1),
              at(0.9), times.size());
}

int OpenDescriptors() {
  int n = 0;
  if (DIR* dir = opendir("/proc/self/fd")) {
    while (readdir(dir) != nullptr) ++n;
    closedir(dir);
  }
  return n - 3;  // ".", ".." and the directory's own descriptor
}

long ResidentKiB() {
  std::ifstream statm("/proc/self/statm");
  long pages = 0, resident = 0;
  statm >> pages >> resident;
  return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

// A mailbox check over the POSIX socket layer, as the program wires it.
struct CheckRig {
  CheckRig(const std::string& user, const std::string& password) : sockets(platform), check(sockets, state, settings, host) {
    sockets.MaximumReceiveLength = 255;
    settings.Usuario = user;
    settings.Clave = password;
    check.SetDigest(buzonix::Md5Hex);
    sockets.OnErrorOccurred = [this](buzonix::TSockets& s, buzonix::SocketHandle h, int e, const std::string& m) {
      check.Sockets1ErrorOccurred(s, h, e, m);
    };
  }
  BenchLoop loop;
  buzonix::PosixSocketPlatform platform{loop};
  buzonix::TSockets sockets;
  buzonix::CheckState state;
  buzonix::Settings settings;
  QuietHost host;
  buzonix::MailCheck check;
};

int Soak(char** argv) {
  const std::string dovecot = argv[2], scripted = argv[3], dir = argv[4];
  const long checks = std::atol(argv[7]);
  std::ofstream(dir + "/script.json") << R"({"mode": "pop3", "greeting": "+OK hi", "users": {")" << argv[5]
                                      << R"(": ")" << argv[6] << R"("}, "count": 2, "size": 9})";
  CheckRig rig(argv[5], argv[6]);
  buzonix::Settings& settings = rig.settings;
  buzonix::CheckState& state = rig.state;
  buzonix::MailCheck& check = rig.check;
  QuietHost& host = rig.host;
  auto run = [&](long n) {
    long wrong = 0;
    for (long i = 0; i < n; ++i) {
      settings.Host = i % 2 == 0 ? dovecot : scripted;
      check.CheckMail();
      if (state.NumMensajes <= 0) ++wrong;
    }
    return wrong;
  };
  run(100);  // warm up: the allocator and the servers settle
  const int fds = OpenDescriptors();
  const long rss = ResidentKiB();
  const auto start = std::chrono::steady_clock::now();
  const long wrong = run(checks);
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("checks %ld in %.1f s (%.2f ms each), failed %ld, boxes %zu\n", checks, seconds,
              1000 * seconds / checks, wrong, host.failures.size());
  std::printf("open descriptors  before %d  after %d\n", fds, OpenDescriptors());
  std::printf("resident KiB      before %ld  after %ld\n", rss, ResidentKiB());
  return wrong == 0 && OpenDescriptors() == fds ? 0 : 1;
}

int Tls(char** argv) {
  const std::string host = argv[2], port = argv[3];
  const int rounds = std::atoi(argv[6]);
  CheckRig rig(argv[4], argv[5]);
  rig.settings.Host = host;
  rig.settings.Seguridad = buzonix::kSeguridadSslTls;
  rig.settings.Puerto = port;
  rig.check.SetTlsEngineFactory(buzonix::MakeOpenSslEngine);
  SSL_CTX* context = SSL_CTX_new(TLS_client_method());
  SSL_CTX_set_min_proto_version(context, TLS1_2_VERSION);
  SSL_CTX_set_default_verify_paths(context);
  SSL_CTX_set_verify(context, SSL_VERIFY_PEER, nullptr);
  std::vector<double> checks, raws;
  bool ok = true;
  for (int i = 0; i < rounds; ++i) {
    checks.push_back(Milliseconds([&] {
      rig.check.CheckMail();
      return rig.host.failures.empty() && rig.state.NumMensajes >= 0;
    }, ok));
    raws.push_back(Milliseconds([&] { return RawTlsCheck(context, host, port, argv[4], argv[5]); }, ok));
  }
  SSL_CTX_free(context);
  Report("CheckMail over TLS", checks);
  Report("minimal OpenSSL client", raws);
  std::printf("messages: %d\n", rig.state.NumMensajes);
  if (!ok) std::fprintf(stderr, "some rounds failed\n");
  return ok ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
#ifdef BUZONIX_BENCH_QT
  QCoreApplication application(argc, argv);
#endif
  if (argc >= 8 && std::string(argv[1]) == "soak") return Soak(argv);
  if (argc >= 7 && std::string(argv[1]) == "tls") return Tls(argv);
  if (argc < 4) {
    std::fprintf(stderr, "usage: check_bench ADDRESS USER PASSWORD [ROUNDS]\n");
    return 2;
  }
  const int rounds = argc > 4 ? std::atoi(argv[4]) : 200;
  CheckRig rig(argv[2], argv[3]);
  rig.settings.Host = argv[1];
  buzonix::Settings& settings = rig.settings;
  buzonix::CheckState& state = rig.state;
  buzonix::MailCheck& check = rig.check;
  QuietHost& host = rig.host;

  std::vector<double> checks, raws;
  bool ok = true;
  for (int i = 0; i < rounds; ++i) {
    checks.push_back(Milliseconds([&] {
      check.CheckMail();
      return host.failures.empty() && state.NumMensajes >= 0;
    }, ok));
    raws.push_back(Milliseconds([&] { return RawCheck(settings.Host, settings.Usuario, settings.Clave); }, ok));
  }
  Report("CheckMail", checks);
  Report("raw socket client", raws);
  std::printf("messages: %d\n", state.NumMensajes);
  if (!ok) std::fprintf(stderr, "some rounds failed\n");
  return ok ? 0 : 1;
}
