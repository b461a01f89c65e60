// The Windows ports of sign-in that need no server: the loopback listener
// with a real client on the same thread's messages, and the DPAPI sealer.
#ifdef _WIN32

#include <winsock2.h>
#include <windows.h>
#include <wincrypt.h>

#include <gtest/gtest.h>

#include <map>
#include <string>

#include "support/PumpUntil_win.h"
#include "win/LoopbackListener_win.h"
#include "win/SecretSealer_win.h"

namespace buzonix {
namespace {

using testing::PumpUntil;

// Answers the first request that carries `needle` and then, as the sign-in
// does, closes the whole listener from inside the handler.
class Redirects final : public ListenerEvents {
 public:
  explicit Redirects(WinLoopbackListener& listener) : listener_(listener) {}
  void ConnectionData(int connection, std::string_view bytes) override {
    std::string& seen = seen_[connection];
    seen.append(bytes);
    if (seen.find("GET /?code=") == std::string::npos || seen.find("\r\n\r\n") == std::string::npos) return;
    listener_.Respond(connection, "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok");
    listener_.Close();
    answered = true;
  }
  bool answered = false;

 private:
  WinLoopbackListener& listener_;
  std::map<int, std::string> seen_;
};

struct Winsock {
  Winsock() {
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
  }
  ~Winsock() { WSACleanup(); }
};

SOCKET ConnectTo(std::uint16_t port) {
  const SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(port);
  if (connect(s, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    closesocket(s);
    return INVALID_SOCKET;
  }
  u_long nonblocking = 1;
  ioctlsocket(s, FIONBIO, &nonblocking);
  return s;
}

// What the peer sent until it closed, while this thread's messages run.
std::string ReadToClose(SOCKET s) {
  std::string got;
  bool closed = false;
  PumpUntil([&] {
    char buffer[256];
    const int n = recv(s, buffer, sizeof buffer, 0);
    if (n > 0) got.append(buffer, static_cast<std::size_t>(n));
    closed = n == 0;
    return closed;
  });
  return closed ? got : "(still open) " + got;
}

TEST(LoopbackListener, SpareConnectionsWaitAndTheRedirectIsAnsweredBeforeEverythingCloses) {
  Winsock winsock;
  WinLoopbackListener listener;
  Redirects events(listener);
  const std::uint16_t port = listener.Listen(events);
  ASSERT_NE(port, 0);
  const SOCKET spare = ConnectTo(port);
  const SOCKET favicon = ConnectTo(port);
  const SOCKET redirect = ConnectTo(port);
  ASSERT_NE(spare, INVALID_SOCKET);
  ASSERT_NE(redirect, INVALID_SOCKET);
  const std::string icon = "GET /favicon.ico HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
  send(favicon, icon.data(), static_cast<int>(icon.size()), 0);
  // The request comes in two pieces, as a slow browser may send it.
  const std::string head = "GET /?code=abc&state=xyz HTTP/1.1\r\n";
  send(redirect, head.data(), static_cast<int>(head.size()), 0);
  PumpUntil([] { return false; }, 200);
  EXPECT_FALSE(events.answered);
  send(redirect, "Host: 127.0.0.1\r\n\r\n", 19, 0);
  ASSERT_TRUE(PumpUntil([&] { return events.answered; }));
  EXPECT_EQ(ReadToClose(redirect), "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok");
  // Closing the listener closed the spare connections too, and the port.
  EXPECT_EQ(ReadToClose(spare), "");
  EXPECT_EQ(ReadToClose(favicon), "");
  EXPECT_EQ(ConnectTo(port), INVALID_SOCKET);
  for (SOCKET s : {spare, favicon, redirect}) closesocket(s);
  // A new sign-in listens anew.
  EXPECT_NE(listener.Listen(events), 0);
  listener.Close();
}

std::string SealedWithEntropy(const std::string& plain, const std::string& entropy) {
  DATA_BLOB in{static_cast<DWORD>(plain.size()), reinterpret_cast<BYTE*>(const_cast<char*>(plain.data()))};
  DATA_BLOB extra{static_cast<DWORD>(entropy.size()), reinterpret_cast<BYTE*>(const_cast<char*>(entropy.data()))};
  DATA_BLOB out{};
  if (!CryptProtectData(&in, L"", &extra, nullptr, nullptr, CRYPTPROTECT_UI_FORBIDDEN, &out)) return {};
  std::string sealed(reinterpret_cast<const char*>(out.pbData), out.cbData);
  LocalFree(out.pbData);
  return sealed;
}

TEST(DpapiSealer, UnsealsOnlyItsOwnUndamagedSeal) {
  DpapiSealer sealer;
  const std::string token = "1//refresh-token-\x01\xFF-bytes";
  const std::optional<std::string> sealed = sealer.Seal(token);
  ASSERT_TRUE(sealed.has_value());
  EXPECT_EQ(sealed->find("refresh-token"), std::string::npos);
  EXPECT_EQ(sealer.Unseal(*sealed), token);

  // The seal's signature at its end: Wine's DPAPI leaves some header bytes
  // unchecked, as a truncated or altered signature never is.
  std::string damaged = *sealed;
  damaged.back() ^= 0x40;
  EXPECT_EQ(sealer.Unseal(damaged), std::nullopt);
  EXPECT_EQ(sealer.Unseal(sealed->substr(0, sealed->size() - 3)), std::nullopt);
  EXPECT_EQ(sealer.Unseal(""), std::nullopt);
  // What DPAPI seals for the same user without the program's entropy, or
  // with another, never unseals here.
  EXPECT_EQ(sealer.Unseal(SealedWithEntropy(token, "")), std::nullopt);
  EXPECT_EQ(sealer.Unseal(SealedWithEntropy(token, "other program")), std::nullopt);
}

}  // namespace
}  // namespace buzonix

#endif  // _WIN32
