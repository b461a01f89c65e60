#include "linux/SettingsFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>
#include <QStringList>
#include <QTemporaryFile>

#include <optional>

#include "config/scramble.h"
#include "text/Texts.h"
#include "linux/Text.h"

namespace buzonix {
namespace {

// INI keys: the registry's section, a slash, the value's name.
QString Key(const char* section, const char* name) { return QString(section) + "/" + name; }
const QString kNumero = Key(kSeccionVersion, kValorNumero);
const QString kHost = Key(kSeccionConfiguracion, kValorHost);
const QString kUsuario = Key(kSeccionConfiguracion, kValorUsuario);
const QString kCodigo = Key(kSeccionConfiguracion, kValorCodigo);
const QString kFrecuencia = Key(kSeccionConfiguracion, kValorFrecuencia);
const QString kSonido = Key(kSeccionConfiguracion, kValorSonido);
const QString kAnimacion = Key(kSeccionConfiguracion, kValorAnimacion);
const QString kSeguridad = Key(kSeccionConfiguracion, kValorSeguridad);
const QString kPuerto = Key(kSeccionConfiguracion, kValorPuerto);
const QString kProtocolo = Key(kSeccionConfiguracion, kValorProtocolo);
const QString kCarpeta = Key(kSeccionConfiguracion, kValorCarpeta);
const QString kAutenticacion = Key(kSeccionConfiguracion, kValorAutenticacion);
const QString kOAuthUrlAutorizacion = Key(kSeccionConfiguracion, kValorOAuthUrlAutorizacion);
const QString kOAuthUrlToken = Key(kSeccionConfiguracion, kValorOAuthUrlToken);
const QString kOAuthCliente = Key(kSeccionConfiguracion, kValorOAuthCliente);
const QString kOAuthAmbito = Key(kSeccionConfiguracion, kValorOAuthAmbito);
const QString kOAuthCuenta = Key(kSeccionConfiguracion, kValorOAuthCuenta);
// Never kept here; one found (copied from elsewhere) is removed by a save.
const QString kOAuthRefresco = Key(kSeccionConfiguracion, kValorOAuthRefresco);

// One value as text, "Error" when missing. A value with an unquoted comma
// reads as a list: it is taken back as it was typed.
std::string ReadText(const QSettings& file, const QString& key) {
  const QVariant value = file.value(key);
  if (!value.isValid()) return kMissingText;
  if (value.typeId() == QMetaType::QStringList) return FromQt(value.toStringList().join(", "));
  return FromQt(value.toString());
}

MaybeFailure Check(const QSettings& file, const std::string& path) {
  if (file.status() != QSettings::NoError)
    return RegistryFailure("No se pudo escribir " + FromQt(QString::fromStdString(path)));
  return {};
}

// A file QSettings cannot parse would be replaced by the little it
// understood: it is kept beside the new one instead.
// Whether QSettings cannot parse the file. It is parsed from a copy of a
// name of its own: QSettings parses a file it has read before in this run
// only when it has changed, and then reports no error.
bool IsDamaged(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return false;
  QTemporaryFile copy;
  if (!copy.open() || copy.write(file.readAll()) < 0 || !copy.flush()) return false;
  return QSettings(copy.fileName(), QSettings::IniFormat).status() == QSettings::FormatError;
}

// A save that cannot put it aside must not overwrite it.
MaybeFailure KeepDamagedFile(const QString& path) {
  if (!IsDamaged(path)) return {};
  const QString aside = path + ".danado";
  if (QFileInfo::exists(aside)) QFile::remove(aside);
  if (!QFile::rename(path, aside))
    return RegistryFailure("No se pudo apartar el archivo da\xF1" "ado " + FromQt(path) + " como " + FromQt(aside));
  return {};
}

}  // namespace

std::string SettingsFile::DefaultPath() {
  const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
  return (config + "/buzonix/buzonix.conf").toStdString();
}

bool SettingsFile::PasswordInFile() const {
  const QSettings file(QString::fromStdString(path_), QSettings::IniFormat);
  return file.contains(kCodigo);
}

bool SettingsFile::PasswordAtHand(Settings& settings, std::string& problem) {
  if (password_unread_) {
    if (const std::optional<std::string> stored = passwords_.Read()) {
      settings.Clave = *stored;
      password_unread_ = false;
    }
  }
  if (refresh_token_unread_) {
    if (const std::optional<std::string> stored = refresh_tokens_.Read()) {
      settings.OAuthRefresco = *stored;
      refresh_token_unread_ = false;
    }
  }
  if (!password_unread_ && !refresh_token_unread_) return true;
  problem = kClaveIlegible;
  return false;
}

// Only a provider's sign-in has one: a password user's start asks the
// Secret Service nothing more.
void SettingsFile::ReadRefreshToken(Settings& settings) {
  refresh_token_unread_ = false;
  settings.OAuthRefresco.clear();
  if (SignInMethodOf(settings.Autenticacion) == SignInMethod::kContrasena) return;
  if (!refresh_tokens_.Available()) {
    settings.OAuthRefresco = run_refresh_token_;
    return;
  }
  const std::optional<std::string> stored = refresh_tokens_.Read();
  refresh_token_unread_ = !stored;
  settings.OAuthRefresco = stored.value_or("");
}

MaybeFailure SettingsFile::StoreRefreshToken(const Settings& settings) {
  const bool provider = SignInMethodOf(settings.Autenticacion) != SignInMethod::kContrasena;
  const std::string token = provider ? settings.OAuthRefresco : std::string();
  if (!refresh_tokens_.Available()) {
    run_refresh_token_ = token;
    return {};
  }
  // While it could not be read, an empty one is the unread one.
  if (refresh_token_unread_ && token.empty()) return {};
  refresh_token_unread_ = false;
  if (token.empty()) {
    refresh_tokens_.Remove();
    return {};
  }
  std::string error;
  if (!refresh_tokens_.Write(token, error))
    return RegistryFailure("No se pudo guardar la sesi\xF3n del proveedor: " + error);
  return {};
}

MaybeFailure SettingsFile::SaveRefreshToken(const Settings& settings) { return StoreRefreshToken(settings); }

bool SettingsFile::FirstRun() {
  const QSettings file(QString::fromStdString(path_), QSettings::IniFormat);
  return ReadText(file, kNumero) == kMissingText;
}

MaybeFailure SettingsFile::Read(Settings& settings, const std::string& programPath) {
  const QSettings file(QString::fromStdString(path_), QSettings::IniFormat);
  settings.Host = ReadText(file, kHost);
  settings.Usuario = ReadText(file, kUsuario);
  if (file.contains(kCodigo)) {
    settings.Clave = DecodificaClave(ReadText(file, kCodigo));
  } else {
    // Without a Secret Service nothing was stored there (the user kept the
    // password for one run only).
    const std::optional<std::string> stored = passwords_.Available() ? passwords_.Read() : std::string();
    password_unread_ = !stored;
    settings.Clave = stored.value_or("");
  }
  settings.Frecuencia = ReadText(file, kFrecuencia);
  settings.Sonido = ReadText(file, kSonido);
  settings.Animacion = ReadText(file, kAnimacion);
  ReadConnection(settings, ReadText(file, kProtocolo), ReadText(file, kSeguridad), ReadText(file, kPuerto),
                 ReadText(file, kCarpeta));
  ReadSignIn(settings, ReadText(file, kAutenticacion),
             {ReadText(file, kOAuthUrlAutorizacion), ReadText(file, kOAuthUrlToken), ReadText(file, kOAuthCliente),
              ReadText(file, kOAuthAmbito), ReadText(file, kOAuthCuenta)});
  ReadRefreshToken(settings);
  settings.EjecutarSiempre = autostart_.StartsProgram(programPath);
  return {};
}

MaybeFailure SettingsFile::Save(const Settings& settings, const std::string& programPath) {
  PasswordPlace place = PasswordPlace::Keyring;
  if (!passwords_.Available()) {
    if (settings.Clave.empty())
      place = PasswordPlace::Nowhere;
    else if (PasswordInFile())
      place = PasswordPlace::File;
    else
      place = choose_ ? choose_(settings) : PasswordPlace::Nowhere;
  }
  return Save(settings, programPath, place);
}

MaybeFailure SettingsFile::Save(const Settings& settings, const std::string& programPath,
                                PasswordPlace place) {
  const QString path = QString::fromStdString(path_);
  if (!QDir().mkpath(QFileInfo(path).absolutePath()))
    return RegistryFailure("No se pudo crear la carpeta de " + FromQt(path));
  // While the Secret Service could not be read, an empty password is the
  // unread one, not the user's: what the service holds stays.
  const bool keepStored = password_unread_ && settings.Clave.empty();
  if (place == PasswordPlace::Keyring && !keepStored) {
    std::string error;
    if (!passwords_.Write(settings.Clave, error))
      return RegistryFailure("No se pudo guardar la clave: " + error);
  } else if (place != PasswordPlace::Keyring && passwords_.Available()) {
    // An older password there would be read back at the next start.
    passwords_.Remove();
  }
  if (!keepStored) password_unread_ = false;
  if (auto failure = StoreRefreshToken(settings)) return failure;
  if (auto failure = KeepDamagedFile(path)) return failure;
  {
    QSettings file(path, QSettings::IniFormat);
    file.setValue(kNumero, ToQt(settings.NumeroVersion));
    file.setValue(kHost, ToQt(settings.Host));
    file.setValue(kUsuario, ToQt(settings.Usuario));
    if (place == PasswordPlace::File)
      file.setValue(kCodigo, ToQt(CodificaClave(settings.Clave)));
    else
      file.remove(kCodigo);
    file.setValue(kFrecuencia, ToQt(settings.Frecuencia));
    file.setValue(kSonido, ToQt(settings.Sonido));
    file.setValue(kAnimacion, ToQt(settings.Animacion));
    file.setValue(kSeguridad, ToQt(settings.Seguridad));
    file.setValue(kPuerto, ToQt(settings.Puerto));
    file.setValue(kProtocolo, ToQt(settings.Protocolo));
    file.setValue(kCarpeta, ToQt(settings.Carpeta));
    file.setValue(kAutenticacion, ToQt(settings.Autenticacion));
    file.setValue(kOAuthUrlAutorizacion, ToQt(settings.OAuthUrlAutorizacion));
    file.setValue(kOAuthUrlToken, ToQt(settings.OAuthUrlToken));
    file.setValue(kOAuthCliente, ToQt(settings.OAuthCliente));
    file.setValue(kOAuthAmbito, ToQt(settings.OAuthAmbito));
    file.setValue(kOAuthCuenta, ToQt(settings.OAuthCuenta));
    file.remove(kOAuthRefresco);
    file.sync();
    if (auto failure = Check(file, path_)) return failure;
  }
  const bool autostartWritten =
      settings.EjecutarSiempre ? autostart_.Write(programPath) : autostart_.Remove();
  if (!autostartWritten)
    return RegistryFailure("No se pudo escribir " + FromQt(QString::fromStdString(autostart_.Path())));
  return {};
}

}  // namespace buzonix
