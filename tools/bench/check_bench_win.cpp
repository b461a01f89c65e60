// Times full mailbox checks inside one Windows process: plain POP3 next to
// TLS from the first byte (Schannel, the server's certificate verified), so
// that the cost of TLS under this system shows by itself.
//   check_bench_win PLAIN_HOST TLS_HOST TLS_PORT USER PASSWORD ROUNDS
// Prints the first TLS check apart (it loads the system's trust store) and
// the median, 10th and 90th percentile of the rest, in ms.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "mailcheck/CheckMail.h"
#include "mailcheck/md5.h"
#include "QuietHost.h"
#include "win/SocketPlatform_win.h"
#include "win/TlsEngine_schannel.h"

namespace {

using bench::QuietHost;

double Now() {
  LARGE_INTEGER counter, frequency;
  QueryPerformanceCounter(&counter);
  QueryPerformanceFrequency(&frequency);
  return 1000.0 * static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

void Report(const char* name, std::vector<double> times) {
  std::sort(times.begin(), times.end());
  const auto at = [&](double q) { return times[static_cast<std::size_t>(q * (times.size() - 1))]; };
  std::printf("%-22s median %7.3f ms   p10 %7.3f   p90 %7.3f   (%zu rounds)\n", name, at(0.5), at(0.1), at(0.9),
              times.size());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 7) {
    std::fprintf(stderr, "usage: check_bench_win PLAIN_HOST TLS_HOST TLS_PORT USER PASSWORD ROUNDS\n");
    return 2;
  }
  buzonix::WinSocketPlatform platform;
  buzonix::TSockets sockets(platform);
  buzonix::CheckState state;
  buzonix::Settings settings;
  QuietHost host;
  buzonix::MailCheck check(sockets, state, settings, host);
  sockets.MaximumReceiveLength = 255;
  sockets.OnErrorOccurred = [&](buzonix::TSockets& s, buzonix::SocketHandle h, int e, const std::string& m) {
    check.Sockets1ErrorOccurred(s, h, e, m);
  };
  check.SetDigest(buzonix::Md5Hex);
  check.SetTlsEngineFactory(buzonix::MakeSchannelEngine);
  settings.Usuario = argv[4];
  settings.Clave = argv[5];
  const int rounds = std::atoi(argv[6]);

  auto timed = [&](bool secure) {
    settings.Host = secure ? argv[2] : argv[1];
    settings.Seguridad = secure ? buzonix::kSeguridadSslTls : buzonix::kSeguridadNinguna;
    settings.Puerto = secure ? argv[3] : "110";
    const double start = Now();
    check.CheckMail();
    return Now() - start;
  };
  std::printf("first TLS check       %7.3f ms\n", timed(true));
  std::vector<double> plain, secure;
  for (int i = 0; i < rounds; ++i) {
    plain.push_back(timed(false));
    secure.push_back(timed(true));
  }
  Report("plain check", plain);
  Report("TLS check", secure);
  std::printf("messages: %d, failures: %zu\n", state.NumMensajes, host.failures.size());
  return host.failures.empty() ? 0 : 1;
}
