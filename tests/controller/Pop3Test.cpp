// The main form's start-up, commands and end, over recording platforms and
// the real socket layer of this build.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <utility>
#include <string>
#include <vector>

#include "config/MemoryRegistry.h"
#include "controller/help_topics.h"
#include "controller/pop3.h"
#include "mailcheck/md5.h"
#include "notify/RecordingTrayShell.h"
#include "support/TestPlatform.h"

namespace buzonix {
namespace {

using testing::TestPlatform;

class FakeDigestLibrary : public DigestLibrary {
 public:
  bool Load() override {
    trace.push_back("load");
    return loads;
  }
  DigestFunction Bind() override {
    if (!binds) return {};
    return [](const std::string& text) { return Md5Hex(text); };
  }
  void Release() override { trace.push_back("release"); }

  bool loads = true;
  bool binds = true;
  std::vector<std::string> trace;
};

// Records what the form asks of the windowing layer.
class RecordingForm : public FormPlatform {
 public:
  void SetTimerInterval(unsigned ms) override { interval = ms; }
  unsigned TimerInterval() const override { return interval; }
  void SetTimerEnabled(bool on) override { timer = on; }
  bool TimerEnabled() const override { return timer; }
  void ErrorBox(const std::string& text) override {
    events.push_back("error:" + text);
    if (auto handler = std::exchange(onErrorBox, nullptr)) handler();
  }
  void PlainMessage(const std::string& text) override { events.push_back("plain:" + text); }
  void Beep() override { events.push_back("beep"); }
  void OpenHelpTopic(int context) override { events.push_back("help:" + std::to_string(context)); }
  void CreateNotice() override {
    events.push_back("notice");
    *windows |= kNoticeWindowOpen;
  }
  void SetNoticeCaption(const std::string& caption) override { events.push_back("caption:" + caption); }
  void ShowNotice() override { events.push_back("show"); }
  void CreateAndShowConfigDialog() override {
    events.push_back("dialog");
    *windows |= kConfigDialogOpen;
  }
  void Terminate() override { events.push_back("terminate"); }
  void StartResumeTimer(unsigned ms) override { events.push_back("resume timer:" + std::to_string(ms)); }
  std::string ProgramPath() override { return "C:\\Buzonix\\Buzonix.exe"; }
  ShellHandle Picture(TrayPicture picture) override { return 100 + static_cast<int>(picture); }

  std::function<void()> onErrorBox;
  std::uint8_t* windows = nullptr;
  unsigned interval = 0;
  bool timer = false;
  std::vector<std::string> events;
};

class MainFormTest : public ::testing::Test {
 protected:
  MainFormTest() {
    form.windows = &unit.VentanasAbiertas;
    buzel = std::make_unique<TBuzel>(unit, form, registry, platform.Sockets(),
                                     std::make_unique<testing::RecordingTrayShell>(shell), digest);
  }

  void StoreSettings(const std::string& host) {
    Settings stored;
    stored.Host = host;
    stored.Usuario = "alice";
    stored.Clave = "secret";
    stored.Frecuencia = "5";
    stored.Animacion = "Si";
    SaveSettings(registry, stored, form.ProgramPath());
  }

  TestPlatform platform;
  MemoryRegistry registry;
  testing::ShellLog shell;
  FakeDigestLibrary digest;
  RecordingForm form;
  Pop3Unit unit;
  std::unique_ptr<TBuzel> buzel;
};

TEST_F(MainFormTest, MissingLibraryEndsTheProgramWithBothMessages) {
  digest.loads = false;
  buzel->FormCreate();
  EXPECT_EQ(form.events, (std::vector<std::string>{"plain:No se encuentra libreria APOP.DLL", "terminate",
                                                   "plain:Funcion no enlazada. Esta la DLL cargada?"}));
  buzel->FormDestroy();
  EXPECT_EQ(digest.trace, std::vector<std::string>{"load"});  // nothing loaded, nothing released
}

TEST_F(MainFormTest, LibraryWithoutTheFunctionOnlySaysSoAndTheProgramGoesOn) {
  digest.binds = false;
  buzel->FormCreate();
  EXPECT_EQ(form.events, std::vector<std::string>{"plain:Funcion no enlazada. Esta la DLL cargada?"});
  buzel->FormDestroy();
  EXPECT_EQ(digest.trace, (std::vector<std::string>{"load", "release"}));
}

TEST_F(MainFormTest, FirstRunOpensHelpAndDialogWithoutChecking) {
  buzel->FormCreate();
  buzel->FormShow();
  EXPECT_EQ(form.events, (std::vector<std::string>{"help:14", "dialog"}));
  EXPECT_FALSE(form.timer);
  EXPECT_EQ(buzel->TrayIcon1.ToolTip(), "No hay Mensajes");
}

TEST_F(MainFormTest, StartChecksAtOnceAndATrayClickReopensTheNoticeOnlyWhenNothingIsOpen) {
  testing::SetScript(R"({"mode": "pop3", "greeting": "+OK hi", "users": {"alice": "secret"}, "count": 4})");
  StoreSettings(testing::ScriptedAddress());
  buzel->FormCreate();
  buzel->FormShow();
  EXPECT_TRUE(form.timer);
  EXPECT_EQ(form.interval, 5u * 60000u);
  EXPECT_EQ(buzel->TrayIcon1.ToolTip(), "4 Mensajes");
  EXPECT_EQ(form.events, (std::vector<std::string>{"notice", "caption:4 Mensajes", "show"}));

  form.events.clear();
  buzel->TrayIcon1Click();  // the notice is still open
  EXPECT_TRUE(form.events.empty());
  unit.VentanasAbiertas = 0;
  buzel->TrayIcon1Click();
  EXPECT_EQ(form.events, (std::vector<std::string>{"notice", "caption:4 Mensajes", "show"}));
}

TEST_F(MainFormTest, CommandsOpenTheDialogOnlyOnceAndCheckOnlyWithAServer) {
  buzel->FormCreate();
  buzel->ChequearCorreoAhora1Click();  // no server yet
  EXPECT_EQ(form.events, (std::vector<std::string>{"help:14", "dialog"}));
  buzel->ChequearCorreoAhora1Click();
  buzel->ConfiguracionClick();
  EXPECT_EQ(form.events.size(), 2u);
  unit.VentanasAbiertas = 0;
  buzel->ConfiguracionClick();
  buzel->Ayuda1Click();
  EXPECT_EQ(form.events, (std::vector<std::string>{"help:14", "dialog", "dialog", "help:1"}));
  buzel->CerrarClick();
  EXPECT_EQ(form.events.back(), "terminate");
}

TEST_F(MainFormTest, EndingDuringAStalledCheckSendsQuit) {
  testing::SetScript(R"({"steps": [{"send": "+OK hi\r\n"}, {"read": 1}, {"stall": 30}]})");
  StoreSettings(testing::ScriptedAddress());
  buzel->FormCreate();
  bool ended = false;
  // The quit command arrives while the check waits for the reply to USER.
  platform.After(500, [&] {
    buzel->FormDestroy();
    ended = true;
    EXPECT_FALSE(unit.check.Chequeando);
  });
  buzel->FormShow();
  EXPECT_TRUE(ended);
  testing::ConnectionEnds(1);
  const auto lines = testing::ReceivedLines();
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines[0], "USER alice\r\n");
  EXPECT_EQ(lines[1], "QUIT\r\n");
  for (const auto& event : form.events) EXPECT_NE(event, "plain:El Servidor no Responde");
}

TEST_F(MainFormTest, EndingFromTheTimeOutsBoxSendsQuitAndSaysTheServerDoesNotAnswer) {
  testing::SetScript(R"({"steps": [{"send": "+OK hi\r\n"}, {"read": 1}, {"stall": 30}]})");
  StoreSettings(testing::ScriptedAddress());
  buzel->FormCreate();
  buzel->Sockets1.Timeout = 1;
  // The user ends the program while the time-out's box is up.
  form.onErrorBox = [&] { buzel->FormDestroy(); };
  buzel->FormShow();
  testing::ConnectionEnds(1);
  const auto lines = testing::ReceivedLines();
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines[1], "QUIT\r\n");
  EXPECT_NE(std::find(form.events.begin(), form.events.end(), "plain:El Servidor no Responde"),
            form.events.end());
}

TEST_F(MainFormTest, EndingWhileIdleSendsNothing) {
  testing::SetScript(R"({"mode": "pop3", "greeting": "+OK hi", "users": {"alice": "secret"}, "count": 0})");
  StoreSettings(testing::ScriptedAddress());
  buzel->FormCreate();
  buzel->FormShow();
  const auto lines = testing::ReceivedLines();
  buzel->FormDestroy();
  platform.Pump(100);
  EXPECT_EQ(testing::ReceivedLines(), lines);
  EXPECT_EQ(digest.trace, (std::vector<std::string>{"load", "release"}));
}

TEST_F(MainFormTest, AfterAWakeTheCheckIsRetriedQuietlyAndOnlyTheLastTryReports) {
  testing::SetScript(R"({"mode": "pop3", "greeting": "+OK hi", "users": {"alice": "secret"}, "count": 4})");
  StoreSettings(testing::ScriptedAddress());
  buzel->FormCreate();
  buzel->FormShow();
  form.events.clear();

  testing::SetScript(R"({"steps": [{"close": 1}]})");  // the network is not back yet
  buzel->Resumed();
  for (int quiet = 0; quiet < 3; ++quiet) buzel->ResumeTimerTimer();
  EXPECT_EQ(form.events, (std::vector<std::string>{"resume timer:5000", "resume timer:10000",
                                                    "resume timer:10000", "resume timer:10000"}));
  EXPECT_EQ(buzel->TrayIcon1.ToolTip(), "4 Mensajes");
  buzel->ResumeTimerTimer();
  EXPECT_EQ(form.events.size(), 5u);
  EXPECT_EQ(form.events.back(), "plain:El servidor no responde");

  form.events.clear();
  buzel->Resumed();
  buzel->ResumeTimerTimer();  // a quiet failure first, then the server answers
  testing::SetScript(R"({"mode": "pop3", "greeting": "+OK hi", "users": {"alice": "secret"}, "count": 6})");
  buzel->ResumeTimerTimer();
  EXPECT_EQ(buzel->TrayIcon1.ToolTip(), "6 Mensajes");
  EXPECT_EQ(form.events, (std::vector<std::string>{"resume timer:5000", "resume timer:10000",
                                                    "caption:6 Mensajes", "show"}));
  EXPECT_TRUE(form.timer);

  form.events.clear();
  form.timer = false;  // checks stopped: nothing to refresh
  buzel->Resumed();
  EXPECT_TRUE(form.events.empty());
}

TEST(HelpTopics, ThePasswordIsNotSaidToBeSafeWhereAnyoneCanUndoIt) {
  const std::string text = FindHelpTopic(14).text;
  EXPECT_EQ(text.find("se guarda cifrada"), std::string::npos);
  EXPECT_NE(text.find("quien pueda leer su registro puede recuperarla"), std::string::npos);
}

}  // namespace
}  // namespace buzonix
