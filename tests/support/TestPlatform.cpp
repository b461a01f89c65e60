#include "support/TestPlatform.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <thread>

#ifdef _WIN32
#include "support/RootStore_win.h"

#include "win/SocketPlatform_win.h"
#include "win/TlsEngine_schannel.h"
#else
#include "posix/TlsEngine_openssl.h"
#include "support/MessageLoop.h"
#include "posix/SocketPlatform_posix.h"
#endif

namespace buzonix::testing {
namespace {

std::string Env(const char* name, const char* fallback) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0' ? value : fallback;
}

// Unix paths reach the Windows test program through drive Z:.
std::string HostPath(std::string path) {
#ifdef _WIN32
  if (!path.empty() && path[0] == '/') {
    for (char& c : path)
      if (c == '/') c = '\\';
    path = "Z:" + path;
  }
#endif
  return path;
}

std::string ServerFile(const char* name) {
  return HostPath(Env("BUZONIX_SCRIPTED_DIR", BUZONIX_SERVERS_DIR_DEFAULT "/scripted")) + (
#ifdef _WIN32
    "\\"
#else
    "/"
#endif
  ) + name;
}

std::string UnescapeJson(const std::string& s, std::size_t& i) {
  std::string out;
  for (; i < s.size() && s[i] != '"'; ++i) {
    if (s[i] != '\\') {
      out.push_back(s[i]);
      continue;
    }
    const char c = s[++i];
    switch (c) {
      case 'r': out.push_back('\r'); break;
      case 'n': out.push_back('\n'); break;
      case 't': out.push_back('\t'); break;
      case 'u': {
        out.push_back(static_cast<char>(std::stoi(s.substr(i + 1, 4), nullptr, 16)));
        i += 4;
        break;
      }
      default: out.push_back(c);
    }
  }
  return out;
}

// The tag of the current script: log entries of older connections are not ours.
int& ScriptTag() {
  static int tag = 0;
  return tag;
}

std::vector<std::string> LogField(const char* key) {
  std::vector<std::string> values;
  std::ifstream log(ServerFile("log.jsonl"), std::ios::binary);
  const std::string needle = std::string("\"") + key + "\": \"";
  const std::string own = "\"tag\": " + std::to_string(ScriptTag()) + "}";
  for (std::string entry; std::getline(log, entry);) {
    if (entry.find(own) == std::string::npos) continue;
    std::size_t at = entry.find(needle);
    if (at == std::string::npos) continue;
    std::size_t i = at + needle.size();
    values.push_back(UnescapeJson(entry, i));
  }
  return values;
}

}  // namespace

// The platform of this build with the component's boxes recorded, its fatal
// exit thrown, look-ups answered by the test when it says so, and, once the
// test drives the clock, a time-out that passes only when the test says so.
template <class Real>
class Recording : public Real {
 public:
  using Real::Real;
  LookUpResult Resolve(const std::string& host, std::uint16_t port_net) override {
    return answer ? *answer : Real::Resolve(host, port_net);
  }
  LookUpResult RealResolve(const std::string& host, std::uint16_t port_net) { return Real::Resolve(host, port_net); }
  void ShowMessageBox(const std::string& text, const std::string& caption) override {
    boxes.push_back(caption + "|" + text);
  }
  // What a death test of the end can see: the boxes shown before it.
  [[noreturn]] void ExitProgram(int code) override {
    for (const std::string& box : boxes) std::fprintf(stderr, "box %s\n", box.c_str());
    std::fflush(stderr);
    std::_Exit(code);
  }
  void Attach(SocketWindowSink* sink) override {
    sink_ = sink;
    Real::Attach(sink);
  }
  void SetTimer(unsigned milliseconds) override {
    if (driven) {
      asked = milliseconds;
      return;
    }
    Real::SetTimer(milliseconds);
  }
  void KillTimer() override {
    if (driven) {
      asked = 0;
      return;
    }
    Real::KillTimer();
  }
  bool Expire() {
    if (asked == 0 || sink_ == nullptr) return false;
    asked = 0;
    sink_->OnTimerMessage();  // as the timer's message would, from the loop
    return true;
  }
  std::vector<std::string> boxes;
  std::optional<LookUpResult> answer;
  bool driven = false;
  unsigned asked = 0;  // the running time-out, in ms; 0 when none runs

 private:
  SocketWindowSink* sink_ = nullptr;
};

#ifdef _WIN32
using RecordingPlatform = Recording<WinSocketPlatform>;

namespace {
std::map<UINT_PTR, std::function<void()>>& PendingCallbacks() {
  static std::map<UINT_PTR, std::function<void()>> callbacks;
  return callbacks;
}
void CALLBACK RunPending(HWND, UINT, UINT_PTR id, DWORD) {
  ::KillTimer(nullptr, id);
  auto it = PendingCallbacks().find(id);
  if (it == PendingCallbacks().end()) return;
  auto callback = std::move(it->second);
  PendingCallbacks().erase(it);
  callback();
}
}  // namespace

struct TestPlatform::Impl {
  RecordingPlatform platform;
};

void TestPlatform::After(unsigned milliseconds, std::function<void()> callback) {
  const UINT_PTR id = ::SetTimer(nullptr, 0, milliseconds, RunPending);
  PendingCallbacks()[id] = std::move(callback);
}

void TestPlatform::Pump(unsigned milliseconds) {
  const DWORD end = GetTickCount() + milliseconds;
  while (GetTickCount() < end) {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
  }
}
#else
using RecordingPlatform = Recording<PosixSocketPlatform>;

struct TestPlatform::Impl {
  MessageLoop loop;
  RecordingPlatform platform{loop};
  int next_timer = 1000;
};

void TestPlatform::After(unsigned milliseconds, std::function<void()> callback) {
  const int id = impl_->next_timer++;
  MessageLoop& loop = impl_->loop;
  loop.SetTimer(id, milliseconds, [&loop, id, callback = std::move(callback)] {
    loop.KillTimer(id);
    callback();
  });
}

void TestPlatform::Pump(unsigned milliseconds) {
  bool done = false;
  After(milliseconds, [&done] { done = true; });  // also wakes a loop waiting on sockets
  impl_->loop.RunUntil([&done] { return done; });
}
#endif

TestPlatform::TestPlatform() : impl_(std::make_unique<Impl>()) {}
TestPlatform::~TestPlatform() = default;
SocketPlatform& TestPlatform::Sockets() { return impl_->platform; }
const std::vector<std::string>& TestPlatform::Boxes() const { return impl_->platform.boxes; }
void TestPlatform::AnswerLookUps(LookUpResult answer) { impl_->platform.answer = std::move(answer); }
void TestPlatform::DriveTimeouts() { impl_->platform.driven = true; }
unsigned TestPlatform::TimeoutRunning() const { return impl_->platform.asked; }
bool TestPlatform::PassTimeout() { return impl_->platform.Expire(); }

SocketAddress TestPlatform::LiteralAddress(const std::string& host, const std::string& port) {
  const auto number = static_cast<std::uint16_t>(std::stoi(port));
  const unsigned char bytes[2] = {static_cast<unsigned char>(number >> 8),
                                  static_cast<unsigned char>(number & 0xFF)};
  std::uint16_t port_net;
  std::memcpy(&port_net, bytes, 2);
  LookUpResult found = impl_->platform.RealResolve(host, port_net);
  if (found.addresses.empty()) {
    std::fprintf(stderr, "not a literal address: %s\n", host.c_str());
    std::abort();
  }
  return found.addresses.front();
}

std::string ScriptedAddress() { return Env("BUZONIX_SCRIPTED_ADDR", BUZONIX_SCRIPTED_ADDR_DEFAULT); }
std::string ApopDovecotAddress() { return Env("BUZONIX_APOP_ADDR", BUZONIX_APOP_ADDR_DEFAULT); }
std::string PlainDovecotAddress() { return Env("BUZONIX_PLAIN_ADDR", BUZONIX_PLAIN_ADDR_DEFAULT); }
std::string DeadAddress() { return "127.0.0.99"; }

namespace {
std::string TlsPort(int offset) {
  const int base = std::atoi(Env("BUZONIX_TLS_PORT_BASE", std::to_string(BUZONIX_TLS_PORT_BASE_DEFAULT).c_str()).c_str());
  return std::to_string(base + offset);
}
std::string CaFile() {
  return HostPath(Env("BUZONIX_SERVERS_DIR", BUZONIX_SERVERS_DIR_DEFAULT) + "/certs/ca.pem");
}
}  // namespace

std::string ScriptedTlsPort() { return TlsPort(0); }
std::string ScriptedIpv6Port() { return TlsPort(5); }
std::string ApopDovecotPort(bool implicit_tls) { return TlsPort(implicit_tls ? 2 : 1); }
std::string PlainDovecotPort(bool implicit_tls) { return TlsPort(implicit_tls ? 4 : 3); }
std::string ImapDovecotPort(bool implicit_tls) { return TlsPort(implicit_tls ? 7 : 6); }

std::string PlainDovecot(const std::string& action) {
#if defined(BUZONIX_DOVECOT_SH) && !defined(_WIN32)
  const std::string command = std::string(BUZONIX_DOVECOT_SH) + " " + action.substr(0, action.find(' ')) +
                              " " + Env("BUZONIX_SERVERS_DIR", BUZONIX_SERVERS_DIR_DEFAULT) +
                              "/dovecot-plain" +
                              (action.find(' ') == std::string::npos ? "" : action.substr(action.find(' ')));
  std::string out;
  if (FILE* pipe = popen(command.c_str(), "r")) {
    char buffer[4096];
    while (std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe)) out.append(buffer, n);
    pclose(pipe);
  }
  return out;
#else
  (void)action;
  return {};
#endif
}

#ifdef _WIN32
void TrustTestCa() {
  static const bool trusted = AddToRootStore(CaFile());
  (void)trusted;
}
TlsEngineFactory PlatformTlsEngines() { return MakeSchannelEngine; }
#else
void TrustTestCa() { setenv("SSL_CERT_FILE", CaFile().c_str(), 1); }
TlsEngineFactory PlatformTlsEngines() { return MakeOpenSslEngine; }
#endif

void SetScript(const std::string& json) {
  const std::string path = ServerFile("script.json");
  {
    std::ofstream out(path + ".tmp", std::ios::binary | std::ios::trunc);
    // The script object with a fresh tag as its first member.
    const std::size_t brace = json.find('{');
    out << json.substr(0, brace + 1) << "\"tag\": " << ++ScriptTag() << ", " << json.substr(brace + 1);
  }
  std::remove(path.c_str());
  std::rename((path + ".tmp").c_str(), path.c_str());
  ClearServerLog();
}

void ClearServerLog() { std::ofstream(ServerFile("log.jsonl"), std::ios::trunc); }

std::vector<std::string> ReceivedLines() { return LogField("line"); }

std::vector<std::string> ConnectionEnds(std::size_t expected) {
  for (int i = 0; i < 500; ++i) {
    auto ends = LogField("end");
    if (ends.size() >= expected) return ends;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return LogField("end");
}

std::string JsonText(const std::string& text) {
  std::ostringstream out;
  out << '"';
  for (unsigned char c : text) {
    if (c == '"' || c == '\\') {
      out << '\\' << c;
    } else if (c < 0x20 || c >= 0x7F) {
      static const char* hex = "0123456789abcdef";
      out << "\\u00" << hex[c >> 4] << hex[c & 15];
    } else {
      out << c;
    }
  }
  out << '"';
  return out.str();
}

}  // namespace buzonix::testing
