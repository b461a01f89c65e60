// The real socket platform of this build for tests: POSIX natively, Winsock in
// the Windows test program. The component's own boxes are recorded, and its
// fatal exit writes them to stderr for a death test to see.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "network/SocketPlatform.h"
#include "network/TlsEngine.h"

namespace buzonix::testing {

class TestPlatform {
 public:
  TestPlatform();
  ~TestPlatform();
  SocketPlatform& Sockets();
  // Boxes the component showed, as "caption|text".
  const std::vector<std::string>& Boxes() const;
  // Runs `callback` once after `milliseconds`, from the message loop (so also
  // nested inside a waiting socket call).
  void After(unsigned milliseconds, std::function<void()> callback);
  // Runs the message loop for about `milliseconds`.
  void Pump(unsigned milliseconds);
  // From now on every name look-up gives `answer` without asking the resolver:
  // answers no resolver gives on demand, and address lists of the test's own.
  void AnswerLookUps(LookUpResult answer);
  // From now on the component's timer runs on the test's clock: it passes
  // only at PassTimeout() (false when none runs), which a callback of After()
  // may call while a socket call waits. TimeoutRunning() is what was asked,
  // in ms, or 0.
  void DriveTimeouts();
  unsigned TimeoutRunning() const;
  bool PassTimeout();
  // A literal IPv4 or IPv6 address with `port`, as this build's resolver gives it.
  SocketAddress LiteralAddress(const std::string& host, const std::string& port);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// Loopback servers started for the test run.
std::string ScriptedAddress();
std::string ApopDovecotAddress();
std::string PlainDovecotAddress();
// An address where nothing listens on port 110.
std::string DeadAddress();
// TLS servers, all on "localhost": the scripted server, and the two dovecots'
// STLS and TLS-from-the-first-byte ports.
inline constexpr char kTlsHost[] = "localhost";
std::string ScriptedTlsPort();
// The scripted server's port on ::1.
std::string ScriptedIpv6Port();
std::string ApopDovecotPort(bool implicit_tls);
std::string PlainDovecotPort(bool implicit_tls);
// The plain dovecot's IMAP: port 143 of its address, and on localhost its
// STARTTLS and TLS-from-the-first-byte ports.
std::string ImapDovecotPort(bool implicit_tls);
// dovecot.sh's actions on the plain dovecot: its output; empty text in the
// Windows tests, which cannot run it.
std::string PlainDovecot(const std::string& action);
// The test CA, trusted by this test program only (natively through
// SSL_CERT_FILE, under Wine in the prefix's root store).
void TrustTestCa();
// The TLS engines of this build: Schannel in the Windows test program,
// OpenSSL natively.
TlsEngineFactory PlatformTlsEngines();

// The scripted server: the script for the next connections, and what it saw.
void SetScript(const std::string& json);
void ClearServerLog();
// Lines received (with their line endings) in the order they arrived.
std::vector<std::string> ReceivedLines();
// How the connections ended ("closed", "reset", ...), waiting up to 5 s
// for `expected` of them.
std::vector<std::string> ConnectionEnds(std::size_t expected);
// JSON string literal for `text` (bytes as Latin-1 characters).
std::string JsonText(const std::string& text);

}  // namespace buzonix::testing
