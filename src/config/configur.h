// TConf, the configuration dialog: its handlers,
// written once over an abstract view of its controls and the host around it.
// The Windows dialog (src/win/configur_win.h) is one such view; the tests use
// a fake one.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "config/settings.h"
#include "signin/Provider.h"
#include "signin/SignInFlow.h"
#include "state/unit.h"
#include "text/Texts.h"

namespace buzonix {

// What the dialog needs of the program around it (the main form and the
// application). src/win/main_win.cpp's Application implements it.
class ConfHost {
 public:
  virtual void SetTimerInterval(unsigned milliseconds) = 0;  // a changed interval restarts the count
  virtual unsigned TimerInterval() const = 0;
  virtual void SetTimerEnabled(bool enabled) = 0;
  virtual std::string ToolTip() const = 0;        // the tray icon's tooltip
  virtual void ResetTray() = 0;                    // bandera0 picture + "No Hay Mensajes"
  virtual MaybeFailure Save(const Settings& settings) = 0;  // SaveSettings
  virtual void OpenHelpTopic(int context) = 0;
  virtual void ShowError(const std::string& message) = 0;  // the application's error box
  // Sign-in with a provider: the registrations this build has, and one
  // sign-in in the system browser at a time; `done` comes on the main loop.
  virtual const ProviderRegistrations& Registrations() const = 0;
  virtual void StartSignIn(const ProviderEndpoints& endpoints, const std::string& login_hint,
                           std::function<void(const SignInResult&)> done) = 0;
  virtual void CancelSignIn() = 0;
  // False where a refresh token lives for this run only (no Secret Service).
  virtual bool KeepsRefreshToken() const = 0;
  // After an accept that stored a sign-in: the checks use its access token.
  virtual void UseAccessToken(const std::string& token, std::int64_t expires_in) = 0;

 protected:
  ~ConfHost() = default;
};

// The three check boxes of the first page.
enum class ConfCheck { AnimaSobre, CheckBox1, CheckBox2 };
enum class ConfControl;

// The dialog's controls as the handlers see them.
class ConfView {
 public:
  virtual std::string HostText() const = 0;  // dHost
  virtual void SetHostText(const std::string& text) = 0;
  virtual std::string UserText() const = 0;  // dusuario
  virtual void SetUserText(const std::string& text) = 0;
  virtual std::string PasswordText() const = 0;  // dclave
  virtual void SetPasswordText(const std::string& text) = 0;
  virtual std::string SpinText() const = 0;  // dfrecuencia, as typed
  virtual void SetSpinText(const std::string& text) = 0;
  virtual std::string SecurityText() const = 0;  // dseguridad, the choice shown
  virtual void SetSecurityText(const std::string& text) = 0;
  virtual std::string PortText() const = 0;  // dpuerto, as typed
  virtual void SetPortText(const std::string& text) = 0;
  virtual std::string ProtocolText() const = 0;  // dprotocolo, the choice shown
  virtual void SetProtocolText(const std::string& text) = 0;
  virtual std::string FolderText() const = 0;  // dcarpeta, as typed
  virtual void SetFolderText(const std::string& text) = 0;
  // Only IMAP watches a folder; the field is greyed for POP3.
  virtual void SetFolderEnabled(bool enabled) = 0;
  // "Inicio de sesión": the list of choices (once, at the start) and the
  // one shown.
  virtual void SetSignInChoices(const std::vector<std::string>& texts) = 0;
  virtual std::string SignInText() const = 0;  // dinicio
  virtual void SetSignInText(const std::string& text) = 0;
  // The fields of "Otro proveedor" (dautorizacion, dtoken, dcliente, dambito),
  // shown only for it.
  virtual std::string ProviderFieldText(ConfControl field) const = 0;
  virtual void SetProviderFieldText(ConfControl field, const std::string& text) = 0;
  virtual void SetProviderFieldsVisible(bool visible) = 0;
  // For a provider the password field gives way to the sign-in button
  // (bsesion) and the line saying whom the program is signed in as.
  virtual void SetPasswordShown(bool shown) = 0;
  virtual void SetSignInButtonText(const std::string& text) = 0;
  virtual void SetSignInStatus(const std::string& text) = 0;
  virtual bool Checked(ConfCheck box) const = 0;
  virtual void SetChecked(ConfCheck box, bool checked) = 0;
  virtual void SetTitle(const std::string& text) = 0;  // titulo
  // Whether the field's text as typed has a Windows-1252 byte for every character.
  virtual bool FieldFitsWestern(ConfControl field) const = 0;
  // Gives the field the focus with its whole text selected.
  virtual void SelectField(ConfControl field) = 0;
  // A stop box owned by the dialog, captioned with the program's title.
  virtual void ShowStop(const std::string& text) = 0;
  // Destroys the dialog once the messages already queued for it are handled.
  virtual void Release() = 0;

 protected:
  ~ConfView() = default;
};


// The spin field's value for its text, as the spin control reads it: a whole
// number (leading blanks, an optional sign, decimal digits, within 32 bits),
// or the lowest value 1 for any other text. It is not brought into 1..720.
int SpinValue(const std::string& text);
// The text the spin field takes when it loses the focus: the value brought
// into 1..720, or nothing when the value (as SpinValue reads it) is already
// inside, so that the text stays exactly as typed.
std::optional<std::string> SpinTextOnExit(const std::string& text);
// Whether the spin field takes a typed character: digits, '+', '-', the
// decimal separator and control characters (editing keys) other than Enter.
bool SpinKeyAllowed(char key, char decimalSeparator);
// The check timer's interval for a spin value above 0: minutes times 60000,
// held at the largest 32-bit value for values too large to fit.
unsigned IntervalForMinutes(int minutes);

// Every control of the form, and what F1 finds for each.
enum class ConfControl {
  Conf,
  PageControl1,
  TabSheet1,
  Panel1,
  dHost,
  dusuario,
  dclave,
  dfrecuencia,
  AnimaSobre,
  CheckBox1,
  CheckBox2,
  BitBtn1,
  BitBtn2,
  TabSheet2,
  Button1,
  // Added after the rest, so that every earlier control keeps its number.
  dseguridad,
  dpuerto,
  dprotocolo,
  dcarpeta,
  dinicio,
  bsesion,
  dautorizacion,
  dtoken,
  dcliente,
  dambito,
};
inline constexpr ConfControl kLastConfControl = ConfControl::dambito;
// The control's own help context (0 for none) and the control around it.
int OwnHelpContext(ConfControl control);
std::optional<ConfControl> ParentControl(ConfControl control);
// The help context of the control, or of the nearest control around it that
// has one; 0 when none has.
int HelpContextFor(ConfControl focused);

// How many characters a field takes by typing, the same in both programs. A
// stored value that is longer is shown whole and saved unchanged. A user name
// may be a whole e-mail address, a password one of the long app passwords
// providers hand out.
inline constexpr int kLimiteServidor = 255;
inline constexpr int kLimiteUsuario = 255;
inline constexpr int kLimiteClave = 128;
inline constexpr int kLimitePuerto = 5;
inline constexpr int kLimiteCarpeta = 255;
inline constexpr int kLimiteUrl = 2048;
inline constexpr int kLimiteCliente = 255;
inline constexpr int kLimiteAmbito = 1024;

// The dialog's handlers over one instance's view.
class TConfLogic {
 public:
  TConfLogic(Pop3Unit& unit, ConfHost& host, ConfView& view) : unit_(unit), host_(host), view_(view) {}

  // Sets the open bit and fills the controls; a frequency that is no whole
  // number stops it at that step, after showing the conversion error.
  void FormCreate();
  // "Aceptar" on the first page: copy, validate, save, enable the timer,
  // reset the tray after a connection error, release. A refused accept
  // disables the timer and keeps the dialog; a failed save is shown and keeps
  // it with the bit set.
  void BitBtn1Click();
  void BitBtn2Click();  // "Cancelar"
  void Button1Click();  // "Aceptar" on the information page
  void FormClose();     // close box or system menu
  // F1 with `focused` holding the focus.
  void HelpKey(ConfControl focused);
  // The spin field lost the focus.
  void SpinExit();
  // Another security mode or protocol was chosen: a port that was the
  // default of the old pair becomes the new pair's; a port the user typed
  // stays. The folder field is enabled for IMAP only.
  void SecurityChange();
  void ProtocolChange();
  // Another "Inicio de sesión" was chosen: a provider fills in the mail
  // server it publishes; the password or the sign-in button shows.
  void SignInChange();
  // The sign-in button: starts a sign-in in the browser, or cancels the one
  // under way.
  void SignInButtonClick();

 private:
  void CloseWithoutSaving();
  void ConnectionChoiceChange();
  void ShowStoredSignIn();
  bool StoredSignInServes() const;
  void ShowSignInState();
  void StopSigningIn();
  void SignInFinished(const SignInResult& result);
  bool ProviderAcceptable();
  void TakeSignIn(Settings& settings);

  Pop3Unit& unit_;
  ConfHost& host_;
  ConfView& view_;
  SecurityMode shown_mode_ = SecurityMode::kNinguna;
  MailProtocol shown_protocol_ = MailProtocol::kPop3;
  SignInMethod shown_sign_in_ = SignInMethod::kContrasena;
  // A sign-in made in this dialog, stored at the accept.
  std::optional<SignInResult> signed_in_;
  bool signing_in_ = false;
};

}  // namespace buzonix
