// The Linux configuration dialog driven in-process on Qt's offscreen
// platform: keys and clicks into the real widgets, TConfLogic behind them.
#include "linux/ConfDialog_linux.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <ostream>
#include <string>
#include <vector>

#include "config/RecordingConfHost.h"
#include "signin/Provider.h"

// Failures print the text, not its code units.
inline void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }

namespace buzonix {
namespace {

using testing::RecordingConfHost;

class LinuxConfDialog : public ::testing::Test {
 protected:
  void Open() {
    ConfDialog::Open(unit, host);
    for (QWidget* widget : QApplication::topLevelWidgets())
      if (widget->objectName() == "configuracion" && widget->isVisible()) dialog = widget;
    ASSERT_NE(dialog, nullptr);
    dialog->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(dialog));
  }
  void TearDown() override {
    ConfDialog::CloseAll();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }

  QLineEdit* Field(const char* name) const { return dialog->findChild<QLineEdit*>(name); }
  QComboBox* Security() const { return dialog->findChild<QComboBox*>("seguridad"); }
  QComboBox* Protocol() const { return dialog->findChild<QComboBox*>("protocolo"); }
  // Replaces the field's text by typing.
  void Type(const char* name, const QString& text) {
    QLineEdit* field = Field(name);
    field->setFocus(Qt::TabFocusReason);
    field->selectAll();
    QTest::keyClick(field, Qt::Key_Delete);
    TypeKeys(field, text);
  }
  // Key presses that carry each character, as an input method sends them
  // (QTest's own know only ASCII).
  static void TypeKeys(QWidget* widget, const QString& text) {
    for (const QChar c : text) {
      QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(c));
      QApplication::sendEvent(widget, &press);
      QKeyEvent release(QEvent::KeyRelease, Qt::Key_unknown, Qt::NoModifier, QString(c));
      QApplication::sendEvent(widget, &release);
    }
  }
  void FillValid() {
    Type("servidor", "pop.example.org");
    Type("usuario", "ana");
    Type("clave", "pw");
  }
  void ClickAccept() { QTest::mouseClick(dialog->findChild<QPushButton*>("aceptar"), Qt::LeftButton); }
  bool Released() const { return !dialog->isVisible() && (unit.VentanasAbiertas & kConfigDialogOpen) == 0; }
  Pop3Unit unit;
  RecordingConfHost host;
  QPointer<QWidget> dialog;
};

TEST_F(LinuxConfDialog, FillsTheFieldsFromTheSettingsInWindows1252) {
  unit.settings.Host = "pop.example.org";
  unit.settings.Usuario = "\xD1" "and\xFA";
  unit.settings.Clave = "pa\x80s";
  unit.settings.Frecuencia = "15";
  unit.settings.Seguridad = "STARTTLS";
  unit.settings.Puerto = "1110";
  Open();
  EXPECT_EQ(Field("servidor")->text(), "pop.example.org");
  EXPECT_EQ(Field("usuario")->text(), QString::fromUtf8("\u00D1and\u00FA"));
  EXPECT_EQ(Field("clave")->text(), QString::fromUtf8("pa\u20ACs"));
  EXPECT_EQ(Field("frecuencia")->text(), "15");
  EXPECT_EQ(Field("puerto")->text(), "1110");
  EXPECT_EQ(Security()->currentText(), "STARTTLS");
  // The Windows dialog's order.
  ASSERT_EQ(Security()->count(), 3);
  EXPECT_EQ(Security()->itemText(0), "SSL/TLS");
  EXPECT_EQ(Security()->itemText(1), "STARTTLS");
  EXPECT_EQ(Security()->itemText(2), "Ninguna");
}

TEST_F(LinuxConfDialog, AcceptSavesWhatWasTypedAndCancelSavesNothing) {
  Open();
  Type("servidor", "pop.example.org");
  Type("usuario", "ana");
  Type("clave", QString::fromUtf8("pa\u20ACs"));
  Type("frecuencia", "5");
  ClickAccept();
  ASSERT_EQ(host.saved.size(), 1u);
  EXPECT_EQ(host.saved[0].Host, "pop.example.org");
  EXPECT_EQ(host.saved[0].Usuario, "ana");
  EXPECT_EQ(host.saved[0].Clave, "pa\x80s");  // the euro sign's byte, not '?'
  EXPECT_EQ(host.saved[0].Frecuencia, "5");
  EXPECT_TRUE(Released());
  TearDown();

  host.calls.clear();
  Open();
  Type("servidor", "otro");
  QTest::mouseClick(dialog->findChild<QPushButton*>("cancelar"), Qt::LeftButton);
  EXPECT_TRUE(host.calls.empty());
  EXPECT_EQ(unit.settings.Host, "pop.example.org");
  EXPECT_TRUE(Released());
}

TEST_F(LinuxConfDialog, ThePortFollowsTheSecurityModeUnlessTyped) {
  unit.settings.Seguridad = "Ninguna";
  unit.settings.Puerto = "110";
  Open();
  Security()->setFocus(Qt::TabFocusReason);
  QTest::keyClick(Security(), Qt::Key_Up);
  EXPECT_EQ(Security()->currentText(), "STARTTLS");
  EXPECT_EQ(Field("puerto")->text(), "110");
  QTest::keyClick(Security(), Qt::Key_Up);
  EXPECT_EQ(Security()->currentText(), "SSL/TLS");
  EXPECT_EQ(Field("puerto")->text(), "995");
  Type("puerto", "2995");
  Security()->setFocus(Qt::TabFocusReason);
  QTest::keyClick(Security(), Qt::Key_Down);
  EXPECT_EQ(Field("puerto")->text(), "2995");
}

// The same rule as the Windows dialog's: the default of the pair shown moves,
// a typed port stays; the folder is for IMAP only.
TEST_F(LinuxConfDialog, ThePortFollowsProtocolAndSecurityAndTheFolderIsForIMAP) {
  unit.settings.Host = "h";
  unit.settings.Usuario = "u";
  unit.settings.Protocolo = "IMAP";
  unit.settings.Carpeta = "Archivo";
  unit.settings.Seguridad = "SSL/TLS";
  unit.settings.Puerto = "993";
  Open();
  EXPECT_EQ(Protocol()->currentText(), "IMAP");
  EXPECT_EQ(Field("carpeta")->text(), "Archivo");
  EXPECT_TRUE(Field("carpeta")->isEnabled());
  Protocol()->setFocus(Qt::TabFocusReason);
  QTest::keyClick(Protocol(), Qt::Key_Up);
  EXPECT_EQ(Protocol()->currentText(), "POP3");
  EXPECT_EQ(Field("puerto")->text(), "995");
  EXPECT_FALSE(Field("carpeta")->isEnabled());
  Security()->setFocus(Qt::TabFocusReason);
  QTest::keyClick(Security(), Qt::Key_Down);  // STARTTLS
  EXPECT_EQ(Field("puerto")->text(), "110");
  Protocol()->setFocus(Qt::TabFocusReason);
  QTest::keyClick(Protocol(), Qt::Key_Down);
  EXPECT_EQ(Field("puerto")->text(), "143");
  EXPECT_TRUE(Field("carpeta")->isEnabled());
  Type("carpeta", "Correo/Recibido");
  ClickAccept();
  ASSERT_EQ(host.saved.size(), 1u);
  EXPECT_EQ(host.saved[0].Protocolo, "IMAP");
  EXPECT_EQ(host.saved[0].Carpeta, "Correo/Recibido");
  EXPECT_EQ(host.saved[0].Seguridad, "STARTTLS");
  EXPECT_EQ(host.saved[0].Puerto, "143");
}

TEST_F(LinuxConfDialog, F1OnTheProtocolAndTheFolderOpensTheConfigurationTopic) {
  unit.settings.Protocolo = "IMAP";
  Open();
  for (QWidget* field : {static_cast<QWidget*>(Protocol()), static_cast<QWidget*>(Field("carpeta"))}) {
    field->setFocus(Qt::TabFocusReason);
    QTest::keyClick(field, Qt::Key_F1);
  }
  EXPECT_EQ(host.calls, (std::vector<std::string>{"help 14", "help 14"}));
}

TEST_F(LinuxConfDialog, EnterInTheFrequencyKeepsAValueAboveTheRangeLeavingItClamps) {
  Open();
  FillValid();
  Type("frecuencia", "9000");
  QTest::keyClick(Field("frecuencia"), Qt::Key_Tab);
  EXPECT_EQ(Field("frecuencia")->text(), "720");

  Type("frecuencia", "9000");
  QTest::keyClick(Field("frecuencia"), Qt::Key_Return);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !host.saved.empty(); }, 2000));
  EXPECT_EQ(host.saved[0].Frecuencia, "9000");
  EXPECT_EQ(host.interval, 9000u * 60000u);
}

TEST_F(LinuxConfDialog, ACharacterWindows1252CannotHoldIsRefusedWithTheFieldSelected) {
  Open();
  FillValid();
  Type("clave", QString::fromUtf8("pa\u0142s"));
  Type("usuario", "ana");  // the focus leaves the password
  QString shown;
  QTimer::singleShot(0, [&shown] {
    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
      shown = box->text();
      box->accept();
    }
  });
  ClickAccept();
  EXPECT_EQ(shown, "El campo Clave contiene caracteres que no se pueden guardar.\n"
                   "Use solo letras, cifras y signos de Europa occidental.");
  EXPECT_TRUE(host.calls.empty());
  EXPECT_EQ(unit.settings.Clave, "");
  EXPECT_TRUE(dialog->isVisible());
  EXPECT_EQ(dialog->focusWidget(), Field("clave"));
  EXPECT_EQ(Field("clave")->selectedText(), QString::fromUtf8("pa\u0142s"));
}

TEST_F(LinuxConfDialog, TypingStopsAtTheWindowsLimitsButAStoredLongerValueIsKeptWhole) {
  const std::string longHost(300, 'h');
  unit.settings.Host = longHost;
  unit.settings.Usuario = "u";
  unit.settings.Clave = "p";
  unit.settings.Frecuencia = "5";
  Open();
  EXPECT_EQ(Field("servidor")->text().size(), 300);
  TypeKeys(Field("servidor"), "xyz");  // nothing more goes in
  EXPECT_EQ(Field("servidor")->text().size(), 300);
  ClickAccept();
  ASSERT_EQ(host.saved.size(), 1u);
  EXPECT_EQ(host.saved[0].Host, longHost);
  TearDown();

  unit.settings.Protocolo = "IMAP";  // the folder takes typing
  Open();
  const std::pair<const char*, int> limits[] = {
      {"servidor", 255}, {"usuario", 255}, {"clave", 128}, {"puerto", 5}, {"carpeta", 255}};
  for (const auto& [name, limit] : limits) {
    Type(name, QString(limit + 6, '7'));
    EXPECT_EQ(Field(name)->text().size(), limit) << name;
    // A paste keeps what fits, at the cursor.
    Field(name)->setCursorPosition(1);
    QTest::keyClick(Field(name), Qt::Key_Backspace);
    Field(name)->insert("89");
    EXPECT_EQ(Field(name)->text(), "8" + QString(limit - 1, '7')) << name;
  }
}

class LinuxConfDialogSignIn : public LinuxConfDialog {
 protected:
  QComboBox* SignIn() const { return dialog->findChild<QComboBox*>("inicio"); }
  QPushButton* SignInButton() const { return dialog->findChild<QPushButton*>("sesion"); }
  QString Status() const { return dialog->findChild<QLabel*>("estado_sesion")->text(); }
  bool ProviderGroupShown() const { return dialog->findChild<QGroupBox*>("otro_proveedor")->isVisible(); }
  QStringList Choices() const {
    QStringList texts;
    for (int i = 0; i < SignIn()->count(); ++i) texts << SignIn()->itemText(i);
    return texts;
  }
  // As the user picks it: the list's own signal, not a programmatic change.
  void Choose(const QString& text) {
    SignIn()->setCurrentIndex(SignIn()->findText(text));
    emit SignIn()->activated(SignIn()->currentIndex());
  }
};

TEST_F(LinuxConfDialogSignIn, ThisBuildWithoutClientIdsOffersOnlyThePasswordAndAnotherProvider) {
  host.registrations = BuiltInRegistrations();
  Open();
  EXPECT_EQ(Choices(), (QStringList{QString::fromUtf8("Contrase\u00f1a"), "Otro proveedor"}));
  EXPECT_TRUE(Field("clave")->isVisible());
  EXPECT_FALSE(SignInButton()->isVisible());
  EXPECT_FALSE(ProviderGroupShown());
}

TEST_F(LinuxConfDialogSignIn, APresetFillsTheServerAndTheButtonTakesThePasswordsPlace) {
  host.registrations.microsoft.client_id = "id-de-prueba";
  host.registrations.google.client_id = "otro-id";
  unit.settings.Protocolo = "IMAP";
  Open();
  EXPECT_EQ(Choices(), (QStringList{QString::fromUtf8("Contrase\u00f1a"), "Microsoft", "Google", "Otro proveedor"}));
  Choose("Microsoft");
  EXPECT_EQ(Field("servidor")->text(), "outlook.office365.com");
  EXPECT_EQ(Field("puerto")->text(), "993");
  EXPECT_EQ(Security()->currentText(), "SSL/TLS");
  EXPECT_FALSE(Field("clave")->isVisible());
  EXPECT_TRUE(SignInButton()->isVisible());
  EXPECT_FALSE(ProviderGroupShown());
  EXPECT_EQ(Status(), QString::fromUtf8("Sin sesi\u00f3n iniciada"));

  // The button starts a sign-in, then cancels it; the dialog stays usable.
  Type("usuario", "ana@example.org");
  QTest::mouseClick(SignInButton(), Qt::LeftButton);
  ASSERT_EQ(host.calls.size(), 1u);
  EXPECT_EQ(host.calls[0].rfind("sign in https://login.microsoftonline.com/", 0), 0u) << host.calls[0];
  EXPECT_EQ(SignInButton()->text(), "Cancelar");
  QTest::mouseClick(SignInButton(), Qt::LeftButton);
  EXPECT_EQ(host.calls.back(), "cancel sign in");
  EXPECT_EQ(SignInButton()->text(), QString::fromUtf8("Iniciar sesi\u00f3n\u2026"));

  // A sign-in that ends: the account shows and fills "Usuario".
  host.keepsRefreshToken = false;
  QTest::mouseClick(SignInButton(), Qt::LeftButton);
  SignInResult result;
  result.kind = SignInResult::Kind::kSignedIn;
  result.account = "ana.mu\xC3\xB1oz@example.org";  // UTF-8, as an id_token carries it
  result.refresh_token = "rt";
  result.access_token = "at";
  result.expires_in = 3600;
  host.FinishSignIn(result);
  EXPECT_EQ(Field("usuario")->text(), QString::fromUtf8("ana.mu\u00f1oz@example.org"));
  EXPECT_TRUE(Status().startsWith(QString::fromUtf8("Sesi\u00f3n iniciada: ana.mu\u00f1oz@example.org")));
  EXPECT_TRUE(Status().contains("Sin servicio de claves")) << Status().toStdString();

  // Back to the password: its field returns.
  Choose(QString::fromUtf8("Contrase\u00f1a"));
  EXPECT_TRUE(Field("clave")->isVisible());
  EXPECT_FALSE(SignInButton()->isVisible());
}

TEST_F(LinuxConfDialogSignIn, AnotherProvidersFieldsShowForItAloneWithTheirLimitsAndHelp) {
  Open();
  Choose("Otro proveedor");
  EXPECT_TRUE(ProviderGroupShown());
  EXPECT_TRUE(SignInButton()->isVisible());
  const std::pair<const char*, int> limits[] = {
      {"autorizacion", kLimiteUrl}, {"token", kLimiteUrl}, {"cliente", kLimiteCliente}, {"ambito", kLimiteAmbito}};
  for (const auto& [name, limit] : limits) {
    Field(name)->setFocus(Qt::TabFocusReason);
    Field(name)->insert(QString(limit + 3, 'a'));
    EXPECT_EQ(Field(name)->text().size(), limit) << name;
  }
  host.calls.clear();
  for (QWidget* control : {static_cast<QWidget*>(SignIn()), static_cast<QWidget*>(SignInButton()),
                           static_cast<QWidget*>(Field("autorizacion")), static_cast<QWidget*>(Field("ambito"))}) {
    control->setFocus(Qt::TabFocusReason);
    QTest::keyClick(control, Qt::Key_F1);
  }
  EXPECT_EQ(host.calls, (std::vector<std::string>(4, "help 14")));
  Choose(QString::fromUtf8("Contrase\u00f1a"));
  EXPECT_FALSE(ProviderGroupShown());
}

}  // namespace
}  // namespace buzonix

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
