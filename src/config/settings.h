// The program's settings: their registry layout under HKEY_CURRENT_USER
// "Software\Buzonix" (subkeys "Version" and "Configuracion") plus the
// start-with-Windows entry (where it goes: RunEntryPlaceFor), the two accessors
// every registry access goes through, and the start-up load and the save.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "config/RegistryApi.h"
#include "config/SecretSealer.h"
#include "config/SettingsStore.h"
#include "state/Connection.h"
#include "state/unit.h"
#include "text/Failure.h"

namespace buzonix {

// What every read of the store falls back to for a missing value or key.
inline constexpr char kMissingText[] = "Error";

inline constexpr char kClaveRegistro[] = "Software\\Buzonix";
inline constexpr char kClaveConfiguracion[] = "Software\\Buzonix\\Configuracion";
inline constexpr char kSeccionVersion[] = "Version";
inline constexpr char kSeccionConfiguracion[] = "Configuracion";
inline constexpr char kClaveWindows[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion";
inline constexpr char kClaveRun[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
inline constexpr char kSeccionRun[] = "Run";
// No accent here, unlike the program's title.
inline constexpr char kValorRun[] = "Buzonix Electronico";
// The installer's entry in the user's list of installed programs; its
// "InstallLocation" is the folder of the installed copy.
inline constexpr char kSeccionDesinstalar[] = "Uninstall\\Buzonix";
inline constexpr char kValorCarpetaInstalada[] = "InstallLocation";
// The value names: "Numero" under "Version", the others under "Configuracion".
inline constexpr char kValorNumero[] = "Numero";
inline constexpr char kValorHost[] = "Host";
inline constexpr char kValorUsuario[] = "usuario";
inline constexpr char kValorCodigo[] = "Codigo";  // the password, scrambled
inline constexpr char kValorFrecuencia[] = "frecuencia";
inline constexpr char kValorSonido[] = "Hacer Sonido";
inline constexpr char kValorAnimacion[] = "Animacion";
inline constexpr char kValorSeguridad[] = "Seguridad";
inline constexpr char kValorPuerto[] = "Puerto";
inline constexpr char kValorProtocolo[] = "Protocolo";
inline constexpr char kValorCarpeta[] = "Carpeta";
inline constexpr char kValorAutenticacion[] = "Autenticacion";
inline constexpr char kValorOAuthUrlAutorizacion[] = "OAuthUrlAutorizacion";
inline constexpr char kValorOAuthUrlToken[] = "OAuthUrlToken";
inline constexpr char kValorOAuthCliente[] = "OAuthCliente";
inline constexpr char kValorOAuthAmbito[] = "OAuthAmbito";
inline constexpr char kValorOAuthCuenta[] = "OAuthCuenta";
// The refresh token, sealed for the user (SecretSealer) and written as hex.
inline constexpr char kValorOAuthRefresco[] = "OAuthRefresco";

// Sectioned access below one key of HKEY_CURRENT_USER. Each operation opens
// the key with the rights it needs (reading, or writing), creating it if
// missing; when it cannot be opened the operation works relative to the root
// instead. Every key is closed again before an operation returns. Nothing is
// flushed to disk on the way: the registry writes lazily.
class TRegIniFile {
 public:
  TRegIniFile(RegistryApi& api, const std::string& keyPath);
  virtual ~TRegIniFile() = default;
  TRegIniFile(const TRegIniFile&) = delete;
  TRegIniFile& operator=(const TRegIniFile&) = delete;

  // The text of value `ident` of subkey `section`, or `def` when either is
  // missing. A registry failure for a value that is not text or whose data
  // cannot be fetched.
  OrFailure<std::string> ReadString(const std::string& section, const std::string& ident,
                                    const std::string& def);
  // Creates `section` if needed and stores `value` as REG_SZ without a
  // terminating zero. A registry failure when either step fails.
  MaybeFailure WriteString(const std::string& section, const std::string& ident, const std::string& value);
  // Deletes value `ident` of the accessor's own key; `section` is not used.
  // A missing value, or a key that did not open, is not an error.
  void DeleteValue(const std::string& section, const std::string& ident);

 protected:
  TRegIniFile(RegistryApi& api, RegistryRoot root, const std::string& keyPath);

 private:
  RegKey OwnKey(KeyAccess access);
  KeyHandle Base(const RegKey& ownKey) const;

  RegistryApi& api_;
  KeyHandle root_;
  std::string path_;
};

// The same accessor below HKEY_LOCAL_MACHINE, for the start-with-Windows entry.
class TRegMaquina : public TRegIniFile {
 public:
  TRegMaquina(RegistryApi& api, const std::string& keyPath);

  const std::string Ruta;  // the key path it was constructed on
};

// The text of a REG_SZ or REG_EXPAND_SZ value's data: up to the first zero
// byte, so data stored with or without a terminating zero read alike.
std::string TextOfValueData(const std::string& data);

// One read of HKEY_CURRENT_USER `key`\`section`, "Error" when missing.
OrFailure<std::string> LeeClave(RegistryApi& api, const std::string& key, const std::string& section,
                                const std::string& ident);
MaybeFailure GrabaClave(RegistryApi& api, const std::string& key, const std::string& section,
                const std::string& ident, const std::string& value);

// The check frequency's range in minutes, wherever it is read or typed.
inline constexpr int kMinFrecuencia = 1;
inline constexpr int kMaxFrecuencia = 720;
inline constexpr unsigned kMillisecondsPerMinute = 60000;

// Minutes spelled by a decimal text (an optional '-', digits, nothing else).
// The conversion failure "'<text>' is not a valid integer value" otherwise.
OrFailure<int> FrequencyMinutes(const std::string& text);

// The check timer's interval for a stored frequency: its minutes brought into
// 1..720, or one minute when the text is no whole number ("Error" included).
unsigned TimerIntervalFor(const std::string& frecuencia);

// What the start-up load needs from the program around it.
struct LoadHost {
  virtual std::string ProgramPath() = 0;  // the running module's full file name
  virtual void OpenHelpTopic(int context) = 0;
  virtual void ShowConfigDialog() = 0;
  virtual void SetTimerInterval(unsigned milliseconds) = 0;
  virtual void EnableTimer() = 0;
  virtual void CheckMail() = 0;

 protected:
  ~LoadHost() = default;
};

// The connection's settings from the texts a store holds ("Error" for a
// missing value): stores of earlier versions hold none of them and go on in
// plain POP3 on 110; a port that is no port reads as the default of the
// protocol and mode; a missing folder is INBOX.
void ReadConnection(Settings& settings, const std::string& protocolo, const std::string& seguridad,
                    const std::string& puerto, const std::string& carpeta);

// The sign-in settings from the texts a store holds ("Error" for a missing
// value): an unknown method is a password; a missing text is empty.
struct SignInTexts {
  std::string url_autorizacion, url_token, cliente, ambito, cuenta;
};
void ReadSignIn(Settings& settings, const std::string& autenticacion, const SignInTexts& texts);

// The start-up load, the same in both programs. On a first run the store
// registers (or proposes) the start with the session, sound and animation are
// turned on, TLS from the first byte is offered, and help topic 14 and the
// dialog open; otherwise it reads the store, sets and enables the timer and
// runs one check. A failure of the read stops the load there.
MaybeFailure LoadSettings(SettingsStore& store, Settings& settings, LoadHost& host);

// Where the start-with-Windows entry of the program at `programPath` goes. The
// installer follows the same rule for its "Iniciar con Windows" box.
enum class RunEntryPlace {
  // The installed copy (it runs from the folder its Uninstall entry names):
  // the user's own Run key only, never machine-wide. Its first run keeps the
  // installer's choice, whichever it was.
  kUserOnly,
  // A loose copy: machine-wide where the user may write it, else the user's.
  kMachineWhereAllowed,
};
RunEntryPlace RunEntryPlaceFor(RegistryApi& api, const std::string& programPath);

// The settings in the registry: HKEY_CURRENT_USER "Software\Buzonix" and the
// start-with-Windows entry. "Ejecutar siempre" holds when either Run key names
// this very program. Values that are not text or cannot be read count as
// missing during the load, so damaged data never stops the program.
class RegistryStore final : public SettingsStore {
 public:
  // `sealer` protects the refresh token; a refresh token that does not unseal
  // (damaged, another entropy) reads as none: sign in again.
  RegistryStore(RegistryApi& api, SecretSealer& sealer) : api_(api), sealer_(sealer) {}
  // A store that keeps no refresh token: it seals nothing, so it never
  // writes one (in clear least of all).
  explicit RegistryStore(RegistryApi& api);
  bool FirstRun() override;
  // Migrates an old plain password on the way.
  MaybeFailure Read(Settings& settings, const std::string& programPath) override;
  // Registers the program, unless it runs from drive A: or B: or is the
  // installed copy (whose entry the installer wrote or left out); false where
  // no Run key takes the entry.
  bool RegisterFirstRun(const std::string& programPath) override;
  // The entry is written where RunEntryPlaceFor says (an entry that names the
  // program already is left as it is), and deleted from every Run key the
  // user may write.
  MaybeFailure Save(const Settings& settings, const std::string& programPath) override;
  MaybeFailure SaveRefreshToken(const Settings& settings) override;

 private:
  std::string UnsealedRefreshToken(const std::string& stored);
  static SecretSealer& NoSealerInstance();

  RegistryApi& api_;
  SecretSealer& sealer_;
};

}  // namespace buzonix
