// The main form's start-up, commands and end, over recording platforms and
// the real socket layer of this build.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <utility>
#include <string>
#include <vector>

#include "signin/FakePorts.h"
#include "support/MemoryRegistry.h"
#include "text/HelpTopics.h"
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

// The registry store, with a password that can be made unreachable, as a
// locked keyring makes it.
class LockablePasswordStore final : public SettingsStore {
 public:
  explicit LockablePasswordStore(RegistryApi& api) : store_(api) {}
  bool FirstRun() override { return store_.FirstRun(); }
  MaybeFailure Read(Settings& settings, const std::string& path) override { return store_.Read(settings, path); }
  bool RegisterFirstRun(const std::string& path) override { return store_.RegisterFirstRun(path); }
  MaybeFailure Save(const Settings& settings, const std::string& path) override {
    return store_.Save(settings, path);
  }
  MaybeFailure SaveRefreshToken(const Settings& settings) override { return store_.SaveRefreshToken(settings); }
  bool PasswordAtHand(Settings&, std::string& problem) override {
    if (locked) problem = "Llavero cerrado";
    return !locked;
  }
  bool locked = false;

 private:
  RegistryStore store_;
};

// Records what the application asks of the platform.
class RecordingPlatform : public Platform {
 public:
  RecordingPlatform(TestPlatform& sockets, MemoryRegistry& registry, testing::ShellLog& shell,
                    FakeDigestLibrary& digest)
      : sockets_(sockets), store_(registry), shell_(shell), digest_(digest) {}

  void SetCheckTimer(unsigned ms) override {
    timer = ms > 0;
    if (ms > 0) interval = ms;
  }
  void ErrorBox(const std::string& text) override {
    events.push_back("error:" + text);
    if (auto handler = std::exchange(onErrorBox, nullptr)) handler();
  }
  void PlainMessage(const std::string& text) override { events.push_back("plain:" + text); }
  void Beep() override { events.push_back("beep"); }
  void StartupFailed(const Failure&) override { events.push_back("startup failed"); }
  void OpenHelpTopic(int context) override { events.push_back("help:" + std::to_string(context)); }
  void CreateNotice(Pop3Unit& unit) override {
    events.push_back("notice");
    unit.VentanasAbiertas |= kNoticeWindowOpen;
  }
  void ShowNotice(const std::string& caption) override {
    events.push_back("caption:" + caption);
    events.push_back("show");
  }
  void OpenConfigDialog(Pop3Unit& unit, ConfHost& host) override {
    dialog_host = &host;
    events.push_back("dialog");
    unit.VentanasAbiertas |= kConfigDialogOpen;
  }
  void BringConfigDialogToFront() override { events.push_back("dialog to front"); }
  void CloseWindows() override { events.push_back("close windows"); }
  std::unique_ptr<TrayShell> MakeTrayShell() override {
    return std::make_unique<testing::RecordingTrayShell>(shell_);
  }
  PopupMenuBase* BuildMenu(std::vector<MenuItem> items) override {
    menu = std::move(items);
    return nullptr;
  }
  void Terminate() override { events.push_back("terminate"); }
  void StartResumeTimer(unsigned ms) override { events.push_back("resume timer:" + std::to_string(ms)); }
  std::string ProgramPath() override { return "C:\\Buzonix\\Buzonix.exe"; }
  ShellHandle Picture(TrayPicture picture) override { return 100 + static_cast<int>(picture); }
  SocketPlatform& Sockets() override { return sockets_.Sockets(); }
  TlsEngineFactory TlsEngines() override { return {}; }
  DigestLibrary& Digest() override { return digest_; }
  SettingsStore& Store() override { return store_; }
  HttpsTransport& Https() override { return https; }
  SystemBrowser& Browser() override { return browser; }
  LoopbackListener& Listener() override { return listener; }
  OneShotTimer& SignInTimer() override { return sign_in_timer; }
  std::string RandomBytes(std::size_t count) override { return random_source(count); }
  std::int64_t MonotonicSeconds() override { return seconds; }
  FakeTransport https;
  FakeBrowser browser;
  FakeListener listener;
  FakeTimer sign_in_timer;
  buzonix::RandomBytes random_source = CountingRandom();
  std::int64_t seconds = 1000;

  std::function<void()> onErrorBox;
  ConfHost* dialog_host = nullptr;
  unsigned interval = 0;
  bool timer = false;
  std::vector<std::string> events;
  std::vector<MenuItem> menu;

 private:
  TestPlatform& sockets_;
  LockablePasswordStore store_;

 public:
  LockablePasswordStore& Lockable() { return store_; }
  testing::ShellLog& shell_;
  FakeDigestLibrary& digest_;
};

class MainFormTest : public ::testing::Test {
 protected:
  void StoreSettings(const std::string& host) {
    Settings stored;
    stored.Host = host;
    stored.Usuario = "alice";
    stored.Clave = "secret";
    stored.Frecuencia = "5";
    stored.Animacion = "Si";
    EXPECT_FALSE(RegistryStore(registry).Save(stored, form.ProgramPath()));
  }

  TestPlatform platform;
  MemoryRegistry registry;
  testing::ShellLog shell;
  FakeDigestLibrary digest;
  RecordingPlatform form{platform, registry, shell, digest};
  std::unique_ptr<TBuzel> buzel = std::make_unique<TBuzel>(form);
  Pop3Unit& unit = buzel->Unit();
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
  EXPECT_FALSE(buzel->FormShow());
  EXPECT_EQ(form.events, (std::vector<std::string>{"help:14", "dialog"}));
  EXPECT_FALSE(form.timer);
  EXPECT_EQ(buzel->TrayIcon1.ToolTip(), "No hay Mensajes");
}

TEST_F(MainFormTest, StartChecksAtOnceAndATrayClickReopensTheNoticeOnlyWhenNothingIsOpen) {
  testing::SetScript(R"({"mode": "pop3", "greeting": "+OK hi", "users": {"alice": "secret"}, "count": 4})");
  StoreSettings(testing::ScriptedAddress());
  buzel->FormCreate();
  EXPECT_FALSE(buzel->FormShow());
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

TEST_F(MainFormTest, ASecondStartsRequestOpensTheDialogOrBringsTheOpenOneToTheFront) {
  buzel->ConfiguracionPedida();
  buzel->ConfiguracionPedida();
  EXPECT_EQ(form.events, (std::vector<std::string>{"dialog", "dialog to front"}));
  buzel->SalirPedido();
  EXPECT_EQ(form.events.back(), "terminate");
  EXPECT_TRUE(buzel->Terminating());
}

// In IMAP mode the session stays open between ticks: a tick recounts on it,
// accepting the dialog closes it and opens one with the new settings once
// the accept is through, and the end says DONE and LOGOUT.
TEST_F(MainFormTest, TheImapSessionLivesFromTickToTickUntilTheDialogOrTheEnd) {
  testing::SetScript(R"({"mode": "imap", "users": {"alice": "secret"},)"
                     R"( "folders": {"INBOX": {"uidvalidity": 1, "unseen": [1, 2, 3]},)"
                     R"( "Otra": {"uidvalidity": 2, "unseen": [4]}}})");
  Settings stored;
  stored.Host = testing::ScriptedAddress();
  stored.Usuario = "alice";
  stored.Clave = "secret";
  stored.Animacion = "Si";
  stored.Protocolo = "IMAP";
  stored.Puerto = "110";
  EXPECT_FALSE(RegistryStore(registry).Save(stored, form.ProgramPath()));
  buzel->FormCreate();
  EXPECT_FALSE(buzel->FormShow());
  EXPECT_TRUE(buzel->Imap().Idling());
  EXPECT_EQ(buzel->TrayIcon1.ToolTip(), "3 Mensajes sin leer");
  EXPECT_EQ(form.events, (std::vector<std::string>{"notice", "caption:3 Mensajes sin leer", "show"}));
  buzel->Timer1Timer();
  EXPECT_TRUE(buzel->Imap().Idling());
  EXPECT_EQ(buzel->Imap().Logins(), 1);
  EXPECT_EQ(buzel->Imap().Recounts(), 2);

  unit.VentanasAbiertas = 0;
  buzel->ConfiguracionClick();
  ASSERT_NE(form.dialog_host, nullptr);
  unit.settings.Carpeta = "Otra";
  form.events.clear();
  EXPECT_FALSE(form.dialog_host->Save(unit.settings));
  EXPECT_FALSE(buzel->Imap().Open());
  EXPECT_EQ(form.events, std::vector<std::string>{"resume timer:1"});
  buzel->ResumeTimerTimer();
  EXPECT_TRUE(buzel->Imap().Idling());
  EXPECT_EQ(buzel->TrayIcon1.ToolTip(), "1 Mensaje sin leer");
  EXPECT_EQ(buzel->Imap().Logins(), 2);

  buzel->End();
  EXPECT_FALSE(buzel->Imap().Open());
  testing::ConnectionEnds(2);
  std::vector<std::string> ends;
  for (const std::string& line : testing::ReceivedLines())
    if (line == "DONE\r\n" || line.find(" LOGOUT") != std::string::npos) ends.push_back(line.substr(line.find(' ') + 1));
  EXPECT_EQ(ends, (std::vector<std::string>{"DONE\r\n", "DONE\r\n", "LOGOUT\r\n", "DONE\r\n", "LOGOUT\r\n"}));
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
  EXPECT_FALSE(buzel->FormShow());
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
  EXPECT_FALSE(buzel->FormShow());
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
  EXPECT_FALSE(buzel->FormShow());
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
  EXPECT_FALSE(buzel->FormShow());
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
  testing::SetScript(R"({"mode": "pop3", "greeting": "+OK hi", "users": {"alice": "other"}, "count": 6})");
  buzel->Timer1Timer();  // a refused password stops the checks: nothing to refresh
  ASSERT_FALSE(form.timer);
  form.events.clear();
  buzel->Resumed();
  EXPECT_TRUE(form.events.empty());
}

TEST_F(MainFormTest, TheMenuHasTheCommandsInOrder) {
  std::vector<std::string> labels;
  for (const MenuItem& item : form.menu) labels.push_back(item.label);
  EXPECT_EQ(labels, (std::vector<std::string>{"Chequear Correo &Ahora", "&Configuraci\xF3n", "A&yuda", "",
                                              "&Salir"}));
  form.menu[2].command();
  form.menu[4].command();
  EXPECT_EQ(form.events, (std::vector<std::string>{"help:1", "terminate"}));
  EXPECT_TRUE(buzel->Terminating());
}

TEST_F(MainFormTest, APasswordThatCannotBeHadIsToldOnceAndNoLoginIsTried) {
  testing::SetScript(R"({"mode": "pop3", "greeting": "+OK hi", "users": {"alice": "secret"}, "count": 2})");
  StoreSettings(testing::ScriptedAddress());
  form.Lockable().locked = true;
  buzel->Start();
  buzel->Timer1Timer();
  buzel->ChequearCorreoAhora1Click();
  EXPECT_EQ(form.events, std::vector<std::string>{"error:Llavero cerrado."});
  EXPECT_TRUE(testing::ReceivedLines().empty());
  EXPECT_TRUE(form.timer) << "the checks go on";

  form.Lockable().locked = false;
  buzel->Timer1Timer();
  EXPECT_EQ(buzel->TrayIcon1.ToolTip(), "2 Mensajes");
  form.Lockable().locked = true;
  buzel->Timer1Timer();
  EXPECT_EQ(form.events.back(), "error:Llavero cerrado.") << "a new run of failures is told again";
}

TEST(HelpTopics, ThePasswordIsNotSaidToBeSafeWhereAnyoneCanUndoIt) {
  const std::string text = FindHelpTopic(14).text;
  EXPECT_EQ(text.find("se guarda cifrada"), std::string::npos);
  EXPECT_NE(text.find("quien pueda leer su registro puede recuperarla"), std::string::npos);
}

}  // namespace
}  // namespace buzonix
