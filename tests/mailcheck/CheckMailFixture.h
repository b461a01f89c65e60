// A mailbox check wired to the real socket layer of this build, with a host
// that records what the check asks of the main form.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "mailcheck/CheckMail.h"
#include "mailcheck/md5.h"
#include "support/TestPlatform.h"

namespace buzonix::testing {

inline const char* PictureName(TrayPicture p) {
  switch (p) {
    case TrayPicture::bandera0: return "bandera0";
    case TrayPicture::bandera1: return "bandera1";
    case TrayPicture::Bandera2: return "Bandera2";
    case TrayPicture::Bandera5: return "Bandera5";
  }
  return "?";
}

// Records what the check asks of the main form.
class RecordingCheckHost : public CheckHost {
 public:
  void SetTrayIcon(TrayPicture p) override { icon = PictureName(p); }
  void SetToolTip(const std::string& text) override { tooltip = text; }
  std::string ToolTip() const override { return tooltip; }
  void ErrorBox(const std::string& text) override { boxes.push_back("error:" + text); }
  void PlainMessage(const std::string& text) override { boxes.push_back("plain:" + text); }
  void Beep() override { ++beeps; }
  void ShowNotice(std::int32_t count) override { notices.push_back(count); }
  void FollowNotice(std::int32_t count) override { followed.push_back(count); }
  void DisableTimer() override { timer_enabled = false; }

  std::string icon = "none";
  std::string tooltip = "No hay Mensajes";
  std::vector<std::string> boxes;
  int beeps = 0;
  std::vector<std::int32_t> notices;
  std::vector<std::int32_t> followed;
  bool timer_enabled = true;
};

class CheckMailFixture : public ::testing::Test {
 protected:
  CheckMailFixture() : sockets(platform.Sockets()), check(sockets, state, settings, host) {
    sockets.MaximumReceiveLength = 255;
    sockets.OnErrorOccurred = [this](TSockets& s, SocketHandle h, int e, const std::string& m) {
      check.Sockets1ErrorOccurred(s, h, e, m);
    };
    check.SetDigest(Md5Hex);
    settings.Usuario = "alice";
    settings.Clave = "secret";
    settings.Sonido = "Beep";
    settings.Animacion = "No";
  }

  void UseScript(const std::string& json) {
    testing::SetScript(json);
    settings.Host = testing::ScriptedAddress();
  }
  void UseServer(const std::string& greeting, int count) {
    UseScript(R"({"mode": "pop3", "greeting": ")" + greeting +
              R"(", "users": {"alice": "secret"}, "count": )" + std::to_string(count) +
              R"(, "size": 726})");
  }

  TestPlatform platform;
  Settings settings;
  CheckState state;
  RecordingCheckHost host;
  TSockets sockets;
  MailCheck check;
};

}  // namespace buzonix::testing
