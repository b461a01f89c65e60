// An IMAP check wired to the real socket layer of this build and its TLS,
// with a host that records what the check asks of the main form and a wake
// timer the test fires itself.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "mailcheck/CheckMailFixture.h"
#include "mailcheck/ImapCheck.h"
#include "support/TestPlatform.h"

namespace buzonix::testing {

class TestWakeTimer final : public WakeTimer {
 public:
  void Start(unsigned milliseconds) override { started = milliseconds; }
  void Stop() override { started = 0; }
  unsigned started = 0;
};

class ImapFixture : public ::testing::Test {
 protected:
  ImapFixture() : sockets(platform.Sockets()), check(sockets, state, settings, host) {
    sockets.MaximumReceiveLength = 255;
    sockets.OnErrorOccurred = [this](TSockets& s, SocketHandle h, int e, const std::string& m) {
      check.Sockets1ErrorOccurred(s, h, e, m);
    };
    sockets.OnDataAvailable = [this](TSockets&, SocketHandle) { check.DataAvailable(); };
    sockets.OnSessionClosed = [this](TSockets&, SocketHandle) { check.SessionClosed(); };
    TrustTestCa();
    check.SetTlsEngineFactory(PlatformTlsEngines());
    check.SetWakeTimer(&timer);
    settings.Protocolo = "IMAP";
    settings.Usuario = "alice";
    settings.Clave = "secret";
    settings.Sonido = "Beep";
    settings.Animacion = "Si";
  }
  ~ImapFixture() override { check.EndSession(); }

  void UseScript(const std::string& json) {
    SetScript(json);
    settings.Host = ScriptedAddress();
    settings.Puerto = "110";
    settings.Seguridad = "Ninguna";
  }
  void UseDovecot(const std::string& seguridad) {
    settings.Seguridad = seguridad;
    if (seguridad == "Ninguna") {
      settings.Host = PlainDovecotAddress();
      settings.Puerto = "143";
    } else {
      settings.Host = kTlsHost;
      settings.Puerto = ImapDovecotPort(seguridad == "SSL/TLS");
    }
  }
  // Runs the message loop until `done`, at most `ms`; false on the limit.
  bool PumpUntil(const std::function<bool()>& done, unsigned ms = 5000) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!done()) {
      if (std::chrono::steady_clock::now() > end) return false;
      platform.Pump(10);
    }
    return true;
  }
  // The commands the server received, without their tags.
  std::vector<std::string> Commands() {
    std::vector<std::string> out;
    for (std::string line : ReceivedLines()) {
      while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
      const std::size_t space = line.find(' ');
      out.push_back(space == std::string::npos ? line : line.substr(space + 1));
    }
    return out;
  }
  bool Sent(const std::string& prefix) {
    for (const std::string& command : Commands())
      if (command.rfind(prefix, 0) == 0) return true;
    return false;
  }
  // With the clock driven: once the server has received a command starting
  // with `prefix`, the time-out then running passes; `waited` is what it was
  // asked to be (ms). Runs from the loop, inside the waiting call.
  void PassTimeoutAfter(const std::string& prefix, unsigned& waited) {
    platform.After(20, [this, prefix, &waited] {
      if (!Sent(prefix)) return PassTimeoutAfter(prefix, waited);
      waited = platform.TimeoutRunning();
      platform.PassTimeout();
    });
  }
  // Nothing the session sent could change the mailbox.
  void ExpectReadOnly() {
    for (const std::string& command : Commands())
      for (const char* verb : {"SELECT", "STORE", "FETCH", "COPY", "MOVE", "EXPUNGE", "UID STORE",
                               "UID FETCH", "UID COPY", "UID MOVE", "UID EXPUNGE", "APPEND"})
        EXPECT_NE(command.rfind(verb, 0), 0u) << command;
  }

  TestPlatform platform;
  Settings settings;
  CheckState state;
  RecordingCheckHost host;
  TestWakeTimer timer;
  TSockets sockets;
  ImapCheck check;
};

}  // namespace buzonix::testing
