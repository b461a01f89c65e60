// Times a full mailbox check (connect to QUIT) against a POP3 server on
// port 110, next to a minimal raw-socket client that sends the same bytes.
//   check_bench ADDRESS USER PASSWORD [ROUNDS]
// Prints the median, the 10th and the 90th percentile of each, in ms.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "mailcheck/CheckMail.h"
#include "mailcheck/md5.h"
#include "posix/MessageLoop.h"
#include "posix/SocketPlatform_posix.h"

namespace {

using buzonix::TrayPicture;

class QuietHost : public buzonix::CheckHost {
 public:
  void SetTrayIcon(TrayPicture) override {}
  void SetToolTip(const std::string& text) override { tooltip = text; }
  std::string ToolTip() const override { return tooltip; }
  void ErrorBox(const std::string& text) override { failures.push_back(text); }
  void PlainMessage(const std::string& text) override { failures.push_back(text); }
  void Beep() override {}
  void ShowNotice(std::int32_t) override {}
  void DisableTimer() override {}
  std::string tooltip;
  std::vector<std::string> failures;
};

// A client with no parsing beyond waiting for each reply's line feed.
bool RawCheck(const std::string& address, const std::string& user, const std::string& password) {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in peer{};
  peer.sin_family = AF_INET;
  peer.sin_port = htons(110);
  inet_pton(AF_INET, address.c_str(), &peer.sin_addr);
  bool ok = connect(fd, reinterpret_cast<sockaddr*>(&peer), sizeof peer) == 0;
  auto reply = [&] {
    char c;
    while (ok && recv(fd, &c, 1, 0) == 1)
      if (c == '\n') return;
    ok = false;
  };
  auto say = [&](const std::string& line) {
    ok = ok && send(fd, line.data(), line.size(), 0) == static_cast<ssize_t>(line.size());
    reply();
  };
  reply();
  say("USER " + user + "\r\n");
  say("PASS " + password + "\r\n");
  say("STAT\r\n");
  say("QUIT\r\n");
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

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: check_bench ADDRESS USER PASSWORD [ROUNDS]\n");
    return 2;
  }
  const int rounds = argc > 4 ? std::atoi(argv[4]) : 200;
  buzonix::MessageLoop loop;
  buzonix::PosixSocketPlatform platform(loop);
  buzonix::TSockets sockets(platform);
  sockets.MaximumReceiveLength = 255;
  buzonix::CheckState state;
  buzonix::Settings settings;
  settings.Host = argv[1];
  settings.Usuario = argv[2];
  settings.Clave = argv[3];
  QuietHost host;
  buzonix::MailCheck check(sockets, state, settings, host);
  check.SetDigest(buzonix::Md5Hex);
  sockets.OnErrorOccurred = [&](buzonix::TSockets& s, buzonix::SocketHandle h, int e, const std::string& m) {
    check.Sockets1ErrorOccurred(s, h, e, m);
  };

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
