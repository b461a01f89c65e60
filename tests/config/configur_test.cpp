// The configuration dialog's handlers over a fake view and a recording host.
#include "config/configur.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "config/RecordingConfHost.h"
#include "text/Cp1252.h"

namespace buzonix {
namespace {

using testing::RecordingConfHost;

const std::string kDescriptionTitle = "Buzonix Electr\xF3nico versi\xF3n 1.01";

// The controls as the form description creates them.
class FakeView final : public ConfView {
 public:
  std::string HostText() const override { return host; }
  void SetHostText(const std::string& text) override { host = text; }
  std::string UserText() const override { return user; }
  void SetUserText(const std::string& text) override { user = text; }
  std::string PasswordText() const override { return password; }
  void SetPasswordText(const std::string& text) override { password = text; }
  std::string SpinText() const override { return spin; }
  void SetSpinText(const std::string& text) override { spin = text; }
  std::string SecurityText() const override { return security; }
  void SetSecurityText(const std::string& text) override { security = text; }
  std::string PortText() const override { return port; }
  void SetPortText(const std::string& text) override { port = text; }
  std::string ProtocolText() const override { return protocol; }
  void SetProtocolText(const std::string& text) override { protocol = text; }
  std::string FolderText() const override { return folder; }
  void SetFolderText(const std::string& text) override { folder = text; }
  void SetFolderEnabled(bool enabled) override { folderEnabled = enabled; }
  bool Checked(ConfCheck box) const override { return checks.at(box); }
  void SetChecked(ConfCheck box, bool checked) override { checks[box] = checked; }
  void SetTitle(const std::string& text) override { title = text; }
  void Release() override { ++releases; }
  bool FieldFitsWestern(ConfControl field) const override {
    const auto typed = typedUtf8.find(field);
    return typed == typedUtf8.end() || FitsCp1252Utf8(typed->second);
  }
  void SelectField(ConfControl field) override { selected.push_back(field); }
  void ShowStop(const std::string& text) override { stops.push_back(text); }
  void SetSignInChoices(const std::vector<std::string>& texts) override { signInChoices = texts; }
  std::string SignInText() const override { return signIn; }
  void SetSignInText(const std::string& text) override { signIn = text; }
  std::string ProviderFieldText(ConfControl field) const override {
    const auto found = providerFields.find(field);
    return found == providerFields.end() ? std::string() : found->second;
  }
  void SetProviderFieldText(ConfControl field, const std::string& text) override {
    providerFields[field] = text;
  }
  void SetProviderFieldsVisible(bool visible) override { providerFieldsVisible = visible; }
  void SetPasswordShown(bool shown) override { passwordShown = shown; }
  void SetSignInButtonText(const std::string& text) override { signInButton = text; }
  void SetSignInStatus(const std::string& text) override { signInStatus = text; }

  // Types UTF-8 text into a field, as a Unicode control holds it.
  void Type(ConfControl field, const std::string& utf8) {
    typedUtf8[field] = utf8;
    const std::string bytes = Cp1252FromUtf8(utf8);
    if (field == ConfControl::dHost) host = bytes;
    if (field == ConfControl::dusuario) user = bytes;
    if (field == ConfControl::dclave) password = bytes;
    if (field == ConfControl::dcarpeta) folder = bytes;
  }

  std::map<ConfControl, std::string> typedUtf8;
  std::vector<ConfControl> selected;
  std::vector<std::string> stops;
  std::string host, user, password, spin = "1", title = kDescriptionTitle;
  std::string security = "Ninguna", port = "110";
  std::string protocol = "POP3", folder;
  bool folderEnabled = true;
  std::map<ConfCheck, bool> checks = {
      {ConfCheck::AnimaSobre, true}, {ConfCheck::CheckBox1, true}, {ConfCheck::CheckBox2, true}};
  int releases = 0;
  std::vector<std::string> signInChoices;
  std::string signIn, signInButton, signInStatus;
  std::map<ConfControl, std::string> providerFields;
  bool providerFieldsVisible = false, passwordShown = true;
};

class ConfDialog : public ::testing::Test {
 protected:
  void Create() { logic.FormCreate(); }
  void Fill(const std::string& server, const std::string& user, const std::string& password,
            const std::string& spin) {
    view.host = server;
    view.user = user;
    view.password = password;
    view.spin = spin;
  }
  bool Open() const { return (unit.VentanasAbiertas & kConfigDialogOpen) != 0; }

  Pop3Unit unit;
  RecordingConfHost host;
  FakeView view;
  TConfLogic logic{unit, host, view};
};

TEST_F(ConfDialog, CreateFillsTheControlsFromTheSettings) {
  unit.VentanasAbiertas = kNoticeWindowOpen;
  unit.settings.Host = "pop.example.org";
  unit.settings.Usuario = "ana";
  unit.settings.Clave = "s3cr\xE9t";
  unit.settings.Frecuencia = "15";
  unit.settings.Sonido = "Beep";
  unit.settings.Animacion = "No";
  unit.settings.EjecutarSiempre = false;
  Create();
  EXPECT_EQ(unit.VentanasAbiertas, kNoticeWindowOpen | kConfigDialogOpen);
  EXPECT_EQ(view.host, "pop.example.org");
  EXPECT_EQ(view.user, "ana");
  EXPECT_EQ(view.password, "s3cr\xE9t");
  EXPECT_EQ(view.spin, "15");
  EXPECT_EQ(view.title, kDescriptionTitle);
  EXPECT_FALSE(view.checks[ConfCheck::CheckBox1]);
  EXPECT_TRUE(view.checks[ConfCheck::CheckBox2]);
  EXPECT_FALSE(view.checks[ConfCheck::AnimaSobre]);
  EXPECT_TRUE(host.calls.empty());
}

TEST_F(ConfDialog, CreateTestsSoundAndAnimationByteForByte) {
  unit.settings.Sonido = "beep";
  unit.settings.Animacion = "si";
  unit.settings.EjecutarSiempre = true;
  Create();
  EXPECT_TRUE(view.checks[ConfCheck::CheckBox1]);
  EXPECT_FALSE(view.checks[ConfCheck::CheckBox2]);
  EXPECT_FALSE(view.checks[ConfCheck::AnimaSobre]);
}

TEST_F(ConfDialog, CreateSetsTheTitleFromTheVersion) {
  unit.settings.NumeroVersion = "2.5";
  Create();
  EXPECT_EQ(view.title, "Buzonix Electr\xF3nico versi\xF3n 2.5");
}

TEST_F(ConfDialog, CreateBringsAStoredFrequencyIntoRange) {
  unit.settings.Frecuencia = "0";
  Create();
  EXPECT_EQ(view.spin, "1");
  unit.settings.Frecuencia = "9000";
  Create();
  EXPECT_EQ(view.spin, "720");
  unit.settings.Frecuencia = "-3";
  Create();
  EXPECT_EQ(view.spin, "1");
}

TEST_F(ConfDialog, CreateWithErrorFrequencyShowsTheErrorAndStopsAtThatStep) {
  unit.settings.Host = "pop.example.org";
  unit.settings.Usuario = "ana";
  unit.settings.Clave = "x";
  unit.settings.Frecuencia = "Error";
  unit.settings.Sonido = "";
  unit.settings.Animacion = "No";
  unit.settings.NumeroVersion = "9.99";
  view.spin = "1";
  Create();
  EXPECT_TRUE(Open());
  EXPECT_EQ(host.calls, (std::vector<std::string>{"error 'Error' is not a valid integer value"}));
  EXPECT_EQ(view.host, "pop.example.org");
  EXPECT_EQ(view.user, "ana");
  EXPECT_EQ(view.password, "x");
  EXPECT_EQ(view.spin, "1");
  EXPECT_EQ(view.title, kDescriptionTitle);  // step 4 did not run
  EXPECT_TRUE(view.checks[ConfCheck::CheckBox1]);
  EXPECT_TRUE(view.checks[ConfCheck::CheckBox2]);
  EXPECT_TRUE(view.checks[ConfCheck::AnimaSobre]);
  EXPECT_EQ(view.releases, 0);
}

TEST_F(ConfDialog, AcceptCopiesTheFieldsExactlyAndSaves) {
  Create();
  Fill(" pop.example.org ", "ana ", " cl@ve", "15");
  view.checks = {{ConfCheck::AnimaSobre, false}, {ConfCheck::CheckBox1, true}, {ConfCheck::CheckBox2, false}};
  logic.BitBtn1Click();
  const Settings& s = unit.settings;
  EXPECT_EQ(s.Host, " pop.example.org ");
  EXPECT_EQ(s.Usuario, "ana ");
  EXPECT_EQ(s.Clave, " cl@ve");
  EXPECT_EQ(s.Frecuencia, "15");
  EXPECT_EQ(s.Sonido, "");
  EXPECT_EQ(s.Animacion, "No");
  EXPECT_TRUE(s.EjecutarSiempre);
  EXPECT_EQ(host.calls, (std::vector<std::string>{"interval 900000", "save", "enable"}));
  ASSERT_EQ(host.saved.size(), 1u);
  EXPECT_EQ(host.saved[0].Host, " pop.example.org ");
  EXPECT_EQ(host.saved[0].Frecuencia, "15");
  EXPECT_FALSE(Open());
  EXPECT_EQ(view.releases, 1);
}

TEST_F(ConfDialog, AcceptWithTheBoxesCheckedWritesBeepAndSi) {
  Create();
  Fill("h", "u", "", "1");
  view.checks = {{ConfCheck::AnimaSobre, true}, {ConfCheck::CheckBox1, true}, {ConfCheck::CheckBox2, true}};
  logic.BitBtn1Click();
  EXPECT_EQ(unit.settings.Sonido, "Beep");
  EXPECT_EQ(unit.settings.Animacion, "Si");
  EXPECT_TRUE(unit.settings.EjecutarSiempre);
  EXPECT_EQ(unit.settings.Clave, "");
  ASSERT_EQ(host.saved.size(), 1u);
}

TEST_F(ConfDialog, AcceptSetsTheIntervalForOneAndForSevenHundredTwenty) {
  Create();
  Fill("h", "u", "p", "1");
  logic.BitBtn1Click();
  EXPECT_EQ(host.interval, 60000u);
  EXPECT_EQ(unit.settings.Frecuencia, "1");

  RecordingConfHost second;
  FakeView view2;
  TConfLogic logic2(unit, second, view2);
  logic2.FormCreate();
  view2.host = "h";
  view2.user = "u";
  view2.spin = "720";
  logic2.BitBtn1Click();
  EXPECT_EQ(second.interval, 720u * 60000u);
  EXPECT_EQ(unit.settings.Frecuencia, "720");
  ASSERT_EQ(second.saved.size(), 1u);
  EXPECT_EQ(second.saved[0].Frecuencia, "720");
}

TEST_F(ConfDialog, AcceptResetsTheTrayOnlyAfterAConnectionError) {
  host.toolTip = "Error en Conexion";
  Create();
  Fill("h", "u", "p", "5");
  logic.BitBtn1Click();
  EXPECT_EQ(host.calls, (std::vector<std::string>{"interval 300000", "save", "enable", "reset tray"}));
  EXPECT_EQ(host.toolTip, "No Hay Mensajes");

  for (const char* tip : {"3 Mensajes", "Clave incorrecta", "No Hay Mensajes", "Error en conexion"}) {
    RecordingConfHost other;
    other.toolTip = tip;
    FakeView otherView;
    TConfLogic otherLogic(unit, other, otherView);
    otherLogic.FormCreate();
    otherLogic.BitBtn1Click();
    EXPECT_EQ(other.toolTip, tip);
    EXPECT_EQ(other.calls, (std::vector<std::string>{"interval 300000", "save", "enable"})) << tip;
  }
}

TEST_F(ConfDialog, AcceptWithAnEmptyServerOrUserKeepsTheDialogWithTheTimerDisabled) {
  host.timerEnabled = true;
  host.toolTip = "Error en Conexion";
  Create();
  Fill("", "ana", "p", "30");
  view.checks[ConfCheck::CheckBox2] = false;
  logic.BitBtn1Click();
  EXPECT_EQ(host.calls, (std::vector<std::string>{"interval 1800000", "disable"}));
  EXPECT_FALSE(host.timerEnabled);
  EXPECT_TRUE(Open());
  EXPECT_EQ(view.releases, 0);
  // The settings keep what was copied.
  EXPECT_EQ(unit.settings.Host, "");
  EXPECT_EQ(unit.settings.Usuario, "ana");
  EXPECT_EQ(unit.settings.Frecuencia, "30");
  EXPECT_EQ(unit.settings.Sonido, "");

  host.calls.clear();
  Fill("pop", "", "p", "30");
  logic.BitBtn1Click();
  EXPECT_EQ(host.calls, (std::vector<std::string>{"interval 1800000", "disable"}));
  EXPECT_TRUE(Open());
  EXPECT_TRUE(host.saved.empty());
}

TEST_F(ConfDialog, CancelAfterARefusedAcceptKeepsTheCopiedValues) {
  unit.settings.Host = "old";
  unit.settings.Usuario = "old";
  Create();
  Fill("new", "", "pw", "42");
  logic.BitBtn1Click();
  host.calls.clear();
  logic.BitBtn2Click();
  EXPECT_TRUE(host.calls.empty());
  EXPECT_FALSE(Open());
  EXPECT_EQ(view.releases, 1);
  EXPECT_EQ(unit.settings.Host, "new");
  EXPECT_EQ(unit.settings.Usuario, "");
  EXPECT_EQ(unit.settings.Clave, "pw");
  EXPECT_EQ(unit.settings.Frecuencia, "42");
  EXPECT_FALSE(host.timerEnabled);
  EXPECT_EQ(host.interval, 42u * 60000u);
}

TEST_F(ConfDialog, EveryOtherWayOutClearsTheBitAndSavesNothing) {
  for (void (TConfLogic::*handler)() : {&TConfLogic::BitBtn2Click, &TConfLogic::Button1Click,
                                        &TConfLogic::FormClose}) {
    unit.VentanasAbiertas = kNoticeWindowOpen;
    unit.settings = Settings{};
    FakeView v;
    RecordingConfHost h;
    TConfLogic l(unit, h, v);
    l.FormCreate();
    v.host = "changed";
    (l.*handler)();
    EXPECT_EQ(unit.VentanasAbiertas, kNoticeWindowOpen);
    EXPECT_EQ(v.releases, 1);
    EXPECT_TRUE(h.calls.empty());
    EXPECT_EQ(unit.settings.Host, "");
  }
}

TEST_F(ConfDialog, ASaveErrorIsShownAndKeepsTheDialogOpenWithTheBitSet) {
  host.saveError = "Failed to set data for 'Buzonix Electronico'";
  host.toolTip = "Error en Conexion";
  Create();
  Fill("h", "u", "p", "2");
  logic.BitBtn1Click();
  EXPECT_EQ(host.calls, (std::vector<std::string>{"interval 120000", "save",
                                                  "error Failed to set data for 'Buzonix Electronico'"}));
  EXPECT_TRUE(Open());
  EXPECT_EQ(view.releases, 0);
  EXPECT_FALSE(host.timerEnabled);
  EXPECT_EQ(host.toolTip, "Error en Conexion");
  // A later accept that saves closes it.
  host.saveError.clear();
  logic.BitBtn1Click();
  EXPECT_FALSE(Open());
  EXPECT_EQ(view.releases, 1);
}

TEST_F(ConfDialog, EnterWithAValueAboveTheRangeTakesItUnchanged) {
  Create();
  Fill("h", "u", "p", "1000");
  logic.BitBtn1Click();
  EXPECT_EQ(unit.settings.Frecuencia, "1000");
  EXPECT_EQ(host.interval, 60000000u);
}

TEST_F(ConfDialog, EnterWithZeroOrLessLeavesFrequencyAndIntervalUnchanged) {
  unit.settings.Frecuencia = "7";
  host.interval = 7 * 60000;
  Create();
  Fill("h", "u", "p", "0");
  logic.BitBtn1Click();
  EXPECT_EQ(unit.settings.Frecuencia, "7");
  EXPECT_EQ(host.calls, (std::vector<std::string>{"save", "enable"}));
  EXPECT_EQ(host.interval, 7u * 60000u);
}

TEST_F(ConfDialog, ZeroWithNoIntervalYetIsRefused) {
  // A first run: the timer's interval is still 0.
  Create();
  Fill("h", "u", "p", "-5");
  logic.BitBtn1Click();
  EXPECT_EQ(host.calls, (std::vector<std::string>{"disable"}));
  EXPECT_TRUE(Open());
  EXPECT_EQ(unit.settings.Frecuencia, "1");
}

TEST_F(ConfDialog, TextThatIsNoNumberCountsAsOne) {
  Create();
  Fill("h", "u", "p", "1.5");
  logic.BitBtn1Click();
  EXPECT_EQ(unit.settings.Frecuencia, "1");
  EXPECT_EQ(host.interval, 60000u);
}

TEST_F(ConfDialog, SpinExitClampsOnlyValuesOutsideTheRange) {
  Create();
  view.spin = "900";
  logic.SpinExit();
  EXPECT_EQ(view.spin, "720");
  view.spin = "0";
  logic.SpinExit();
  EXPECT_EQ(view.spin, "1");
  view.spin = "-40";
  logic.SpinExit();
  EXPECT_EQ(view.spin, "1");
  view.spin = "+007";
  logic.SpinExit();
  EXPECT_EQ(view.spin, "+007");
  view.spin = "abc";  // reads as 1, inside: left as typed
  logic.SpinExit();
  EXPECT_EQ(view.spin, "abc");
}

TEST(SpinField, ValueOfItsText) {
  EXPECT_EQ(SpinValue("1"), 1);
  EXPECT_EQ(SpinValue("720"), 720);
  EXPECT_EQ(SpinValue("721"), 721);
  EXPECT_EQ(SpinValue("0"), 0);
  EXPECT_EQ(SpinValue("-12"), -12);
  EXPECT_EQ(SpinValue("+12"), 12);
  EXPECT_EQ(SpinValue("  12"), 12);
  EXPECT_EQ(SpinValue("007"), 7);
  EXPECT_EQ(SpinValue("2147483647"), 2147483647);
  EXPECT_EQ(SpinValue("-2147483648"), -2147483647 - 1);
  for (const char* text : {"", " ", "+", "-", "1.5", "1,5", "12 ", "1e3", "abc", "2147483648", "99999999999999999999", "--1"})
    EXPECT_EQ(SpinValue(text), 1) << '"' << text << '"';
}

TEST(SpinField, TextOnLeavingTheField) {
  EXPECT_EQ(SpinTextOnExit("721"), "720");
  EXPECT_EQ(SpinTextOnExit("0"), "1");
  EXPECT_EQ(SpinTextOnExit("-1"), "1");
  EXPECT_EQ(SpinTextOnExit("1"), std::nullopt);
  EXPECT_EQ(SpinTextOnExit("720"), std::nullopt);
  EXPECT_EQ(SpinTextOnExit(""), std::nullopt);
}

TEST(SpinField, KeyFilter) {
  for (char c = '0'; c <= '9'; ++c) EXPECT_TRUE(SpinKeyAllowed(c, ','));
  EXPECT_TRUE(SpinKeyAllowed('+', ','));
  EXPECT_TRUE(SpinKeyAllowed('-', ','));
  EXPECT_TRUE(SpinKeyAllowed(',', ','));
  EXPECT_FALSE(SpinKeyAllowed('.', ','));
  EXPECT_TRUE(SpinKeyAllowed('.', '.'));
  EXPECT_TRUE(SpinKeyAllowed('\b', ','));
  EXPECT_TRUE(SpinKeyAllowed('\x16', ','));  // Ctrl+V
  EXPECT_TRUE(SpinKeyAllowed('\x03', ','));  // Ctrl+C
  EXPECT_FALSE(SpinKeyAllowed('\r', ','));
  for (char c : {'a', 'Z', ' ', '$', 'e', '\xF3', '\x7F'}) EXPECT_FALSE(SpinKeyAllowed(c, ',')) << int(c);
}

TEST(SpinField, IntervalForMinutes) {
  EXPECT_EQ(IntervalForMinutes(1), 60000u);
  EXPECT_EQ(IntervalForMinutes(720), 43200000u);
  EXPECT_EQ(IntervalForMinutes(71582), 4294920000u);
  EXPECT_EQ(IntervalForMinutes(71583), 4294967295u);
  EXPECT_EQ(IntervalForMinutes(2147483647), 4294967295u);
}

TEST(ConfHelp, ContextOfTheFocusedControlOrTheNearestAround) {
  EXPECT_EQ(HelpContextFor(ConfControl::dHost), 14);
  EXPECT_EQ(HelpContextFor(ConfControl::dusuario), 14);
  EXPECT_EQ(HelpContextFor(ConfControl::dclave), 14);
  EXPECT_EQ(HelpContextFor(ConfControl::dfrecuencia), 14);
  EXPECT_EQ(HelpContextFor(ConfControl::BitBtn1), 14);
  EXPECT_EQ(HelpContextFor(ConfControl::BitBtn2), 14);
  EXPECT_EQ(HelpContextFor(ConfControl::dprotocolo), 14);
  EXPECT_EQ(HelpContextFor(ConfControl::dcarpeta), 14);
  // The check boxes have none of their own: the panel's.
  EXPECT_EQ(OwnHelpContext(ConfControl::AnimaSobre), 0);
  EXPECT_EQ(HelpContextFor(ConfControl::AnimaSobre), 14);
  EXPECT_EQ(HelpContextFor(ConfControl::CheckBox1), 14);
  EXPECT_EQ(HelpContextFor(ConfControl::CheckBox2), 14);
  EXPECT_EQ(HelpContextFor(ConfControl::PageControl1), 13);
  EXPECT_EQ(HelpContextFor(ConfControl::TabSheet2), 13);
  EXPECT_EQ(HelpContextFor(ConfControl::Button1), 1);
  EXPECT_EQ(HelpContextFor(ConfControl::Conf), 0);
}

TEST_F(ConfDialog, SecurityModeMovesOnlyADefaultPort) {
  unit.settings.Seguridad = "SSL/TLS";
  unit.settings.Puerto = "995";
  Create();
  EXPECT_EQ(view.security, "SSL/TLS");
  EXPECT_EQ(view.port, "995");
  for (auto [mode, port] : {std::pair{"STARTTLS", "110"}, std::pair{"Ninguna", "110"},
                            std::pair{"SSL/TLS", "995"}}) {
    view.security = mode;
    logic.SecurityChange();
    EXPECT_EQ(view.port, port) << mode;
  }
  view.port = "2995";  // typed by the user
  view.security = "STARTTLS";
  logic.SecurityChange();
  EXPECT_EQ(view.port, "2995");
}

// Both choices go through one rule: the default of the pair shown before.
TEST_F(ConfDialog, ThePortFollowsProtocolAndSecurityTogetherAndTheFolderIMAP) {
  Create();
  EXPECT_EQ(view.protocol, "POP3");
  EXPECT_FALSE(view.folderEnabled);
  view.protocol = "IMAP";
  logic.ProtocolChange();
  EXPECT_EQ(view.port, "143");
  EXPECT_TRUE(view.folderEnabled);
  view.security = "SSL/TLS";
  logic.SecurityChange();
  EXPECT_EQ(view.port, "993");
  view.protocol = "POP3";
  logic.ProtocolChange();
  EXPECT_EQ(view.port, "995");
  EXPECT_FALSE(view.folderEnabled);
  view.port = "1143";  // typed
  view.protocol = "IMAP";
  logic.ProtocolChange();
  EXPECT_EQ(view.port, "1143");
  EXPECT_TRUE(view.folderEnabled);
  // The default of the protocol shown, not of the one stored, is the one that moves.
  view.port = "993";
  view.security = "Ninguna";
  logic.SecurityChange();
  EXPECT_EQ(view.port, "143");
}

TEST_F(ConfDialog, CreateShowsTheStoredProtocolAndFolderAndAcceptStoresThem) {
  unit.settings.Protocolo = "IMAP";
  unit.settings.Carpeta = "Correo/Recibido";
  unit.settings.Puerto = "143";
  Create();
  EXPECT_EQ(view.protocol, "IMAP");
  EXPECT_EQ(view.folder, "Correo/Recibido");
  EXPECT_TRUE(view.folderEnabled);
  Fill("imap.example.org", "ana", "pw", "5");
  view.Type(ConfControl::dcarpeta, "Archivo 2026");
  logic.BitBtn1Click();
  ASSERT_EQ(host.saved.size(), 1u);
  EXPECT_EQ(host.saved[0].Protocolo, "IMAP");
  EXPECT_EQ(host.saved[0].Carpeta, "Archivo 2026");

  // An empty folder is stored as the one the stores read it as.
  FakeView second;
  RecordingConfHost secondHost;
  TConfLogic secondLogic(unit, secondHost, second);
  secondLogic.FormCreate();
  second.protocol = "POP3";
  second.folder = "";
  second.host = "h";
  second.user = "u";
  secondLogic.BitBtn1Click();
  ASSERT_EQ(secondHost.saved.size(), 1u);
  EXPECT_EQ(secondHost.saved[0].Protocolo, "POP3");
  EXPECT_EQ(secondHost.saved[0].Carpeta, "INBOX");
}

TEST_F(ConfDialog, AcceptTakesTheSecurityAndRefusesABadPort) {
  Create();
  Fill("pop.example.org", "ana", "pw", "5");
  view.security = "STARTTLS";
  for (const char* bad : {"", "0", "65536", "99999999999", "12a"}) {
    view.port = bad;
    host.calls.clear();
    logic.BitBtn1Click();
    EXPECT_EQ(host.calls, std::vector<std::string>{std::string("error ") + kPuertoNoValido}) << bad;
    EXPECT_TRUE(Open()) << bad;
    EXPECT_EQ(unit.settings.Host, "") << "nothing is taken from a refused accept";
  }
  view.port = "1110";
  host.calls.clear();
  logic.BitBtn1Click();
  EXPECT_EQ(host.calls, (std::vector<std::string>{"interval 300000", "save", "enable"}));
  EXPECT_EQ(unit.settings.Seguridad, "STARTTLS");
  EXPECT_EQ(unit.settings.Puerto, "1110");
}

TEST_F(ConfDialog, F1OpensTheTopicThroughTheHost) {
  Create();
  logic.HelpKey(ConfControl::CheckBox2);
  logic.HelpKey(ConfControl::Button1);
  logic.HelpKey(ConfControl::PageControl1);
  logic.HelpKey(ConfControl::Conf);
  EXPECT_EQ(host.calls, (std::vector<std::string>{"help 14", "help 1", "help 13"}));
}

TEST_F(ConfDialog, AcceptRefusesTheFirstFieldWindows1252CannotHoldAndStoresNothing) {
  Create();
  Fill("h", "u", "", "5");
  view.Type(ConfControl::dclave, "pa\xC5\x82s");  // "ł" has no byte
  view.Type(ConfControl::dusuario, "\xE2\x98\x83");  // nor has the snowman
  logic.BitBtn1Click();
  EXPECT_EQ(view.stops, std::vector<std::string>{
                            "El campo Usuario contiene caracteres que no se pueden guardar.\r\n"
                            "Use solo letras, cifras y signos de Europa occidental."});
  EXPECT_EQ(view.selected, std::vector<ConfControl>{ConfControl::dusuario});
  EXPECT_TRUE(host.calls.empty());
  EXPECT_EQ(unit.settings.Frecuencia, "1");
  EXPECT_EQ(unit.settings.Usuario, "");
  EXPECT_TRUE(Open());

  view.Type(ConfControl::dusuario, "u");
  logic.BitBtn1Click();
  EXPECT_EQ(view.stops.back().substr(0, 15), "El campo Clave ");
  EXPECT_EQ(view.selected.back(), ConfControl::dclave);
  EXPECT_TRUE(host.calls.empty());
  EXPECT_EQ(unit.settings.Clave, "");

  // "€" has a byte, 0x80: the password is stored with it.
  view.Type(ConfControl::dclave, "pa\xE2\x82\xAC" "s");
  logic.BitBtn1Click();
  EXPECT_EQ(view.stops.size(), 2u);
  EXPECT_EQ(unit.settings.Clave, "pa\x80s");
  EXPECT_EQ(host.calls, (std::vector<std::string>{"interval 300000", "save", "enable"}));
  EXPECT_FALSE(Open());
}

TEST_F(ConfDialog, AFolderWindows1252CannotHoldIsRefused) {
  Create();
  Fill("h", "u", "p", "5");
  view.Type(ConfControl::dcarpeta, "Wiadomo\xC5\x9B\xC4\x87 \xC5\x82");
  logic.BitBtn1Click();
  EXPECT_EQ(view.stops, std::vector<std::string>{
                            "El campo Carpeta contiene caracteres que no se pueden guardar.\r\n"
                            "Use solo letras, cifras y signos de Europa occidental."});
  EXPECT_EQ(view.selected, std::vector<ConfControl>{ConfControl::dcarpeta});
  EXPECT_TRUE(host.calls.empty());
  EXPECT_EQ(unit.settings.Carpeta, "INBOX");
}

// A build with registrations offers the providers; the shown one fills in
// its published server, which follows the protocol.
TEST_F(ConfDialog, ProvidersAreOfferedByRegistrationAndFillTheirServer) {
  Create();
  EXPECT_EQ(view.signInChoices, (std::vector<std::string>{"Contrase\xF1" "a", "Otro proveedor"}));
  EXPECT_TRUE(view.passwordShown);
  EXPECT_EQ(view.signInStatus, "");

  FakeView withIds;
  RecordingConfHost idsHost;
  idsHost.registrations.google = {"id-google", "no-es-secreto"};
  Pop3Unit other;
  // A stored provider this build lacks shows as a password.
  other.settings.Autenticacion = "Microsoft";
  TConfLogic logic2(other, idsHost, withIds);
  logic2.FormCreate();
  EXPECT_EQ(withIds.signInChoices,
            (std::vector<std::string>{"Contrase\xF1" "a", "Google", "Otro proveedor"}));
  EXPECT_EQ(withIds.signIn, "Contrase\xF1" "a");
  withIds.signIn = "Google";
  logic2.SignInChange();
  EXPECT_EQ(withIds.host, "pop.gmail.com");
  EXPECT_EQ(withIds.port, "995");
  EXPECT_EQ(withIds.security, "SSL/TLS");
  EXPECT_FALSE(withIds.passwordShown);
  EXPECT_FALSE(withIds.providerFieldsVisible);
  EXPECT_EQ(withIds.signInButton, "Iniciar sesi\xF3n\x85");
  EXPECT_EQ(withIds.signInStatus, "Sin sesi\xF3n iniciada");
  withIds.protocol = "IMAP";
  logic2.ProtocolChange();
  EXPECT_EQ(withIds.host, "imap.gmail.com");
  EXPECT_EQ(withIds.port, "993");
  withIds.signIn = "Otro proveedor";
  logic2.SignInChange();
  EXPECT_TRUE(withIds.providerFieldsVisible);
}

// The accept of a provider's sign-in: a secure connection, usable endpoints
// and a sign-in made; then the tokens and the account are stored and the
// access token handed to the checks.
TEST_F(ConfDialog, AProviderAcceptNeedsSecurityEndpointsAndASignIn) {
  Create();
  Fill("mail.example.org", "", "", "5");
  view.signIn = "Otro proveedor";
  logic.SignInChange();
  view.providerFields[ConfControl::dautorizacion] = "http://id.example.org/auth";
  view.providerFields[ConfControl::dtoken] = "http://127.0.0.1:8443/token";
  view.providerFields[ConfControl::dcliente] = "buzonix";
  logic.BitBtn1Click();
  EXPECT_EQ(view.stops.back(), std::string(kInicioExigeSeguridad));
  view.security = "SSL/TLS";
  logic.SecurityChange();
  logic.BitBtn1Click();
  EXPECT_EQ(view.stops.back(), "El campo Autorizaci\xF3n debe ser una direcci\xF3n https:// (http:// s\xF3lo en este equipo)");
  EXPECT_EQ(view.selected.back(), ConfControl::dautorizacion);
  logic.SignInButtonClick();
  EXPECT_EQ(host.signInDone, nullptr) << "no sign-in toward a plain-text endpoint";
  view.providerFields[ConfControl::dautorizacion] = "https://id.example.org/auth";
  logic.BitBtn1Click();
  EXPECT_EQ(view.stops.back(), std::string(kInicioPendiente));
  EXPECT_TRUE(host.saved.empty());

  logic.SignInButtonClick();
  ASSERT_NE(host.signInDone, nullptr);
  EXPECT_EQ(view.signInButton, "Cancelar");
  SignInResult refused;
  refused.kind = SignInResult::Kind::kNoTokens;
  host.FinishSignIn(refused);
  EXPECT_EQ(view.stops.back(), std::string(kInicioSinCredenciales));
  logic.BitBtn1Click();
  EXPECT_TRUE(host.saved.empty()) << "a failed sign-in stores nothing";

  logic.SignInButtonClick();
  SignInResult signed_in;
  signed_in.kind = SignInResult::Kind::kSignedIn;
  signed_in.account = "jos\xC3\xA9@example.org";
  signed_in.refresh_token = "refresco-1";
  signed_in.access_token = "acceso-1";
  signed_in.expires_in = 3600;
  host.FinishSignIn(signed_in);
  EXPECT_EQ(view.user, "jos\xE9@example.org");
  EXPECT_EQ(view.signInStatus, "Sesi\xF3n iniciada: jos\xE9@example.org");
  logic.BitBtn1Click();
  ASSERT_EQ(host.saved.size(), 1u);
  const Settings& saved = host.saved[0];
  EXPECT_EQ(saved.Autenticacion, "Otro proveedor");
  EXPECT_EQ(saved.OAuthRefresco, "refresco-1");
  EXPECT_EQ(saved.OAuthCuenta, "jos\xC3\xA9@example.org");
  EXPECT_EQ(saved.OAuthUrlToken, "http://127.0.0.1:8443/token");
  EXPECT_EQ(saved.Usuario, "jos\xE9@example.org");
  EXPECT_EQ(host.calls.back(), "enable");
  EXPECT_NE(std::find(host.calls.begin(), host.calls.end(), "use token acceso-1 3600"), host.calls.end());
  EXPECT_FALSE(Open());
}

// A sign-in under way ends with the dialog, and a provider changed away
// from loses the sign-in made with it.
TEST_F(ConfDialog, LeavingTheDialogOrTheProviderEndsTheSignIn) {
  unit.settings.Autenticacion = "Otro proveedor";
  unit.settings.OAuthUrlAutorizacion = "https://id.example.org/auth";
  unit.settings.OAuthUrlToken = "https://id.example.org/token";
  unit.settings.OAuthCliente = "buzonix";
  unit.settings.OAuthRefresco = "guardado";
  unit.settings.OAuthCuenta = "ana@example.org";
  host.keepsRefreshToken = false;
  Create();
  EXPECT_EQ(view.signInStatus, std::string("Sesi\xF3n iniciada: ana@example.org. ") + kSesionSoloEstaVez);
  logic.SignInButtonClick();
  ASSERT_NE(host.signInDone, nullptr);
  logic.SignInButtonClick();  // "Cancelar"
  EXPECT_EQ(host.signInDone, nullptr);
  logic.SignInButtonClick();
  view.signIn = "Contrase\xF1" "a";
  logic.SignInChange();
  EXPECT_EQ(host.signInDone, nullptr);
  EXPECT_TRUE(view.passwordShown);
  Fill("h", "u", "p", "5");
  logic.BitBtn1Click();
  ASSERT_EQ(host.saved.size(), 1u);
  EXPECT_EQ(host.saved[0].OAuthRefresco, "") << "no token is kept that nothing uses";

  unit.settings.Autenticacion = "Otro proveedor";
  FakeView again;
  RecordingConfHost againHost;
  TConfLogic againLogic(unit, againHost, again);
  againLogic.FormCreate();
  againLogic.SignInButtonClick();
  againLogic.FormClose();
  EXPECT_EQ(againHost.signInDone, nullptr);
  EXPECT_EQ(againHost.calls.back(), "cancel sign in");
}

}  // namespace
}  // namespace buzonix
