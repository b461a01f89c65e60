#include "config/settings.h"

#include <algorithm>
#include <utility>

#include "config/scramble.h"
#include "text/Base64.h"
#include "text/HelpTopics.h"
#include "text/Decimal.h"

namespace buzonix {
namespace {

constexpr char kValorClavePlana[] = "clave";  // the password in clear, as old versions kept it

std::string Quoted(const std::string& name) { return "'" + name + "'"; }

// The load's reads: a value that is not text or cannot be fetched counts as
// missing, so that damaged data cannot keep the program from starting.
std::string ReadDuringLoad(RegistryApi& api, const std::string& section,
                           const std::string& ident) {
  return LeeClave(api, kClaveRegistro, section, ident).ValueOr(kMissingText);
}

std::string ReadOrMissing(TRegIniFile&& key, const std::string& section, const std::string& ident) {
  return key.ReadString(section, ident, kMissingText).ValueOr(kMissingText);
}

std::string RunEntryDuringLoad(TRegIniFile&& windowsKey) {
  return ReadOrMissing(std::move(windowsKey), kSeccionRun, kValorRun);
}

// Byte for byte: the entry must name this very file, in this letter case.
bool RegisteredToRun(RegistryApi& api, const std::string& programPath) {
  return RunEntryDuringLoad(TRegMaquina(api, kClaveWindows)) == programPath ||
         RunEntryDuringLoad(TRegIniFile(api, kClaveWindows)) == programPath;
}

std::string FolderOf(const std::string& path) {
  const auto slash = path.rfind('\\');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

std::string WithoutTrailingBackslashes(std::string path) {
  while (!path.empty() && path.back() == '\\') path.pop_back();
  return path;
}

// Windows spells one folder in any letter case.
bool SameFolder(const std::string& a, const std::string& b) {
  const auto lower = [](unsigned char c) { return c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c; };
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [&](char x, char y) { return lower(x) == lower(y); });
}

bool IsInstalledCopy(RegistryApi& api, const std::string& programPath) {
  const std::string folder =
      ReadOrMissing(TRegIniFile(api, kClaveWindows), kSeccionDesinstalar, kValorCarpetaInstalada);
  if (folder == kMissingText || folder.empty()) return false;
  return SameFolder(WithoutTrailingBackslashes(folder), FolderOf(programPath));
}

// The Windows layer spells a path Windows-1252 cannot hold (and that has no
// short form that it can) with '?', which no file name holds: an entry of it
// would start nothing.
bool SpellsAFile(const std::string& programPath) { return programPath.find('?') == std::string::npos; }

MaybeFailure WriteEntry(TRegIniFile&& windowsKey, const std::string& programPath) {
  if (!SpellsAFile(programPath)) return RegistryFailure("Failed to set data for " + Quoted(kValorRun));
  return windowsKey.WriteString(kSeccionRun, kValorRun, programPath);
}

// The installed copy's entry: in the user's own Run key. A machine-wide one
// would start a second copy (or this one twice); where it stays beyond the
// user's rights and names this copy, it is the one entry.
MaybeFailure WriteUserRunEntry(RegistryApi& api, const std::string& programPath) {
  TRegMaquina(api, kClaveRun).DeleteValue(kSeccionRun, kValorRun);
  if (RunEntryDuringLoad(TRegMaquina(api, kClaveWindows)) == programPath) return {};
  // One the installer wrote is kept as it is: it holds the path in the
  // registry's own characters, which this program's texts may not.
  if (RunEntryDuringLoad(TRegIniFile(api, kClaveWindows)) == programPath) return {};
  return WriteEntry(TRegIniFile(api, kClaveWindows), programPath);
}

// Machine-wide where the user may write it; otherwise in the user's own Run
// key, which Windows runs at that user's logon alike. One entry only, so the
// program never starts twice.
MaybeFailure WriteMachineWideRunEntry(RegistryApi& api, const std::string& programPath) {
  if (!WriteEntry(TRegMaquina(api, kClaveWindows), programPath)) {
    TRegIniFile(api, kClaveRun).DeleteValue(kSeccionRun, kValorRun);
    return {};
  }
  if (RunEntryDuringLoad(TRegMaquina(api, kClaveWindows)) == programPath) return {};
  return WriteEntry(TRegIniFile(api, kClaveWindows), programPath);
}

MaybeFailure WriteRunEntry(RegistryApi& api, const std::string& programPath) {
  if (RunEntryPlaceFor(api, programPath) == RunEntryPlace::kUserOnly) return WriteUserRunEntry(api, programPath);
  return WriteMachineWideRunEntry(api, programPath);
}

// From every Run key the user may write. Opened on the Run key itself, since
// the delete works on the accessor's own key.
void DeleteRunEntries(RegistryApi& api) {
  TRegMaquina(api, kClaveRun).DeleteValue(kSeccionRun, kValorRun);
  TRegIniFile(api, kClaveRun).DeleteValue(kSeccionRun, kValorRun);
}

// A program started from drive A: or B: (or from any path whose first byte
// sorts below 'C') is not registered to start with Windows.
bool MayStartWithWindows(const std::string& programPath) {
  return !programPath.empty() && static_cast<unsigned char>(programPath[0]) >= 'C' && SpellsAFile(programPath);
}

// Versions before this one kept the password in clear as "clave"; it moves to
// "Codigo" scrambled, and the stored version is brought up to date.
MaybeFailure MigratePlainPassword(RegistryApi& api, Settings& settings) {
  if (auto failure = GrabaClave(api, kClaveRegistro, kSeccionVersion, kValorNumero, settings.NumeroVersion))
    return failure;
  settings.Clave = ReadDuringLoad(api, kSeccionConfiguracion, kValorClavePlana);
  if (settings.Clave == kMissingText) return {};
  TRegIniFile(api, kClaveConfiguracion).DeleteValue(kSeccionConfiguracion, kValorClavePlana);
  if (settings.Clave.empty()) return {};
  return GrabaClave(api, kClaveRegistro, kSeccionConfiguracion, kValorCodigo, CodificaClave(settings.Clave));
}

void ReadConfiguration(RegistryApi& api, Settings& settings) {
  settings.Host = ReadDuringLoad(api, kSeccionConfiguracion, kValorHost);
  settings.Usuario = ReadDuringLoad(api, kSeccionConfiguracion, kValorUsuario);
  settings.Clave = DecodificaClave(ReadDuringLoad(api, kSeccionConfiguracion, kValorCodigo));
  settings.Frecuencia = ReadDuringLoad(api, kSeccionConfiguracion, kValorFrecuencia);
  settings.Sonido = ReadDuringLoad(api, kSeccionConfiguracion, kValorSonido);
  settings.Animacion = ReadDuringLoad(api, kSeccionConfiguracion, kValorAnimacion);
  ReadConnection(settings, ReadDuringLoad(api, kSeccionConfiguracion, kValorProtocolo),
                 ReadDuringLoad(api, kSeccionConfiguracion, kValorSeguridad),
                 ReadDuringLoad(api, kSeccionConfiguracion, kValorPuerto),
                 ReadDuringLoad(api, kSeccionConfiguracion, kValorCarpeta));
  ReadSignIn(settings, ReadDuringLoad(api, kSeccionConfiguracion, kValorAutenticacion),
             {ReadDuringLoad(api, kSeccionConfiguracion, kValorOAuthUrlAutorizacion),
              ReadDuringLoad(api, kSeccionConfiguracion, kValorOAuthUrlToken),
              ReadDuringLoad(api, kSeccionConfiguracion, kValorOAuthCliente),
              ReadDuringLoad(api, kSeccionConfiguracion, kValorOAuthAmbito),
              ReadDuringLoad(api, kSeccionConfiguracion, kValorOAuthCuenta)});
}

MaybeFailure WriteConfiguration(RegistryApi& api, const std::string& ident, const std::string& value) {
  return GrabaClave(api, kClaveRegistro, kSeccionConfiguracion, ident, value);
}

}  // namespace

TRegIniFile::TRegIniFile(RegistryApi& api, const std::string& keyPath)
    : TRegIniFile(api, RegistryRoot::kCurrentUser, keyPath) {}

TRegIniFile::TRegIniFile(RegistryApi& api, RegistryRoot root, const std::string& keyPath)
    : api_(api), root_(api.Root(root)), path_(keyPath) {}

// An existing key is opened rather than created: creating asks for more than
// reading needs.
RegKey TRegIniFile::OwnKey(KeyAccess access) {
  RegKey key = api_.OpenKey(root_, path_, access);
  if (!key.IsOpen()) key = api_.CreateKey(root_, path_, access);
  return key;
}

KeyHandle TRegIniFile::Base(const RegKey& ownKey) const {
  return ownKey.IsOpen() ? ownKey.Handle() : root_;
}

OrFailure<std::string> TRegIniFile::ReadString(const std::string& section, const std::string& ident,
                                               const std::string& def) {
  const RegKey ownKey = OwnKey(KeyAccess::kRead);
  const RegKey sectionKey = api_.OpenKey(Base(ownKey), section, KeyAccess::kRead);
  if (!sectionKey.IsOpen()) return def;
  RegistryValue value;
  switch (api_.QueryValue(sectionKey.Handle(), ident, value)) {
    case QueryResult::kMissing:
      return def;
    case QueryResult::kUnreadable:
      return RegistryFailure("Failed to get data for " + Quoted(ident));
    case QueryResult::kFound:
      break;
  }
  if (value.type != kRegSz && value.type != kRegExpandSz) {
    return RegistryFailure("Invalid data type for " + Quoted(ident));
  }
  return TextOfValueData(value.data);
}

MaybeFailure TRegIniFile::WriteString(const std::string& section, const std::string& ident,
                                      const std::string& value) {
  const RegKey ownKey = OwnKey(KeyAccess::kWrite);
  const RegKey sectionKey = api_.CreateKey(Base(ownKey), section, KeyAccess::kWrite);
  if (!sectionKey.IsOpen()) return RegistryFailure("Failed to create key " + section);
  if (!api_.SetTextValue(sectionKey.Handle(), ident, value))
    return RegistryFailure("Failed to set data for " + Quoted(ident));
  return {};
}

void TRegIniFile::DeleteValue(const std::string& /*section*/, const std::string& ident) {
  const RegKey ownKey = api_.OpenKey(root_, path_, KeyAccess::kWrite);
  if (ownKey.IsOpen()) api_.DeleteValue(ownKey.Handle(), ident);
}

TRegMaquina::TRegMaquina(RegistryApi& api, const std::string& keyPath)
    : TRegIniFile(api, RegistryRoot::kLocalMachine, keyPath), Ruta(keyPath) {}

std::string TextOfValueData(const std::string& data) { return data.substr(0, data.find('\0')); }

OrFailure<std::string> LeeClave(RegistryApi& api, const std::string& key, const std::string& section,
                                const std::string& ident) {
  return TRegIniFile(api, key).ReadString(section, ident, kMissingText);
}

MaybeFailure GrabaClave(RegistryApi& api, const std::string& key, const std::string& section,
                        const std::string& ident, const std::string& value) {
  return TRegIniFile(api, key).WriteString(section, ident, value);
}

OrFailure<int> FrequencyMinutes(const std::string& text) {
  const auto minutes = ParseInt32(text);
  if (!minutes) return NotAnInteger(text);
  return *minutes;
}

unsigned TimerIntervalFor(const std::string& frecuencia) {
  const OrFailure<int> stored = FrequencyMinutes(frecuencia);
  const int minutes = stored.Failed() ? kMinFrecuencia : std::clamp(stored.Value(), kMinFrecuencia, kMaxFrecuencia);
  return static_cast<unsigned>(minutes) * kMillisecondsPerMinute;
}

void ReadConnection(Settings& settings, const std::string& protocolo, const std::string& seguridad,
                    const std::string& puerto, const std::string& carpeta) {
  const MailProtocol protocol = MailProtocolOf(protocolo);
  const SecurityMode mode = SecurityModeOf(seguridad);
  settings.Protocolo = ProtocolText(protocol);
  settings.Seguridad = SecurityText(mode);
  settings.Puerto = std::to_string(ParsePort(puerto).value_or(DefaultPort(protocol, mode)));
  settings.Carpeta = carpeta == kMissingText || carpeta.empty() ? kCarpetaPorDefecto : carpeta;
}

void ReadSignIn(Settings& settings, const std::string& autenticacion, const SignInTexts& texts) {
  const auto text = [](const std::string& stored) { return stored == kMissingText ? std::string() : stored; };
  settings.Autenticacion = SignInText(SignInMethodOf(autenticacion));
  settings.OAuthUrlAutorizacion = text(texts.url_autorizacion);
  settings.OAuthUrlToken = text(texts.url_token);
  settings.OAuthCliente = text(texts.cliente);
  settings.OAuthAmbito = text(texts.ambito);
  settings.OAuthCuenta = text(texts.cuenta);
}

MaybeFailure LoadSettings(SettingsStore& store, Settings& settings, LoadHost& host) {
  const std::string programPath = host.ProgramPath();
  if (store.FirstRun()) {
    settings.EjecutarSiempre = store.RegisterFirstRun(programPath);
    settings.Animacion = "Si";
    settings.Sonido = "Beep";
    // IMAP over TLS from the first byte is what providers give their users
    // today, and what a new installation is offered.
    settings.Protocolo = kProtocoloImap;
    settings.Seguridad = kSeguridadSslTls;
    settings.Puerto = std::to_string(DefaultPort(MailProtocol::kImap, SecurityMode::kSslTls));
    host.OpenHelpTopic(kHelpConfiguracion);
    host.ShowConfigDialog();
    return {};
  }
  if (auto failure = store.Read(settings, programPath)) return failure;
  host.SetTimerInterval(TimerIntervalFor(settings.Frecuencia));
  host.EnableTimer();
  host.CheckMail();
  return {};
}

namespace {

class NoSealer final : public SecretSealer {
 public:
  std::optional<std::string> Seal(std::string_view) override { return std::nullopt; }
  std::optional<std::string> Unseal(std::string_view) override { return std::nullopt; }
};

}  // namespace

RegistryStore::RegistryStore(RegistryApi& api) : api_(api), sealer_(NoSealerInstance()) {}

SecretSealer& RegistryStore::NoSealerInstance() {
  static NoSealer sealer;
  return sealer;
}

bool RegistryStore::FirstRun() {
  return ReadDuringLoad(api_, kSeccionVersion, kValorNumero) == kMissingText;
}

MaybeFailure RegistryStore::Read(Settings& settings, const std::string& programPath) {
  if (ReadDuringLoad(api_, kSeccionVersion, kValorNumero) != settings.NumeroVersion)
    if (auto failure = MigratePlainPassword(api_, settings)) return failure;
  ReadConfiguration(api_, settings);
  settings.OAuthRefresco = UnsealedRefreshToken(ReadDuringLoad(api_, kSeccionConfiguracion, kValorOAuthRefresco));
  settings.EjecutarSiempre = RegisteredToRun(api_, programPath);
  return {};
}

// A refresh token that does not unseal (damaged, another user's, another
// entropy) is none: the user signs in again.
std::string RegistryStore::UnsealedRefreshToken(const std::string& stored) {
  if (stored == kMissingText || stored.empty()) return {};
  const auto sealed = BytesOfHex(stored);
  if (!sealed) return {};
  return sealer_.Unseal(*sealed).value_or(std::string());
}

MaybeFailure RegistryStore::SaveRefreshToken(const Settings& settings) {
  std::string stored;
  if (!settings.OAuthRefresco.empty()) {
    const auto sealed = sealer_.Seal(settings.OAuthRefresco);
    if (!sealed) return RegistryFailure("Failed to set data for " + Quoted(kValorOAuthRefresco));
    stored = HexOf(*sealed);
  }
  return WriteConfiguration(api_, kValorOAuthRefresco, stored);
}

RunEntryPlace RunEntryPlaceFor(RegistryApi& api, const std::string& programPath) {
  return IsInstalledCopy(api, programPath) ? RunEntryPlace::kUserOnly : RunEntryPlace::kMachineWhereAllowed;
}

bool RegistryStore::RegisterFirstRun(const std::string& programPath) {
  // The installer wrote the installed copy's entry, or left it out when the
  // user unticked "Iniciar con Windows": either way the choice stands.
  if (RunEntryPlaceFor(api_, programPath) == RunEntryPlace::kUserOnly) return RegisteredToRun(api_, programPath);
  if (!MayStartWithWindows(programPath)) return false;
  // Where not even the user's own Run key takes it, the program stays
  // unregistered; the user can still reach the dialog.
  return !WriteRunEntry(api_, programPath);
}

MaybeFailure RegistryStore::Save(const Settings& settings, const std::string& programPath) {
  if (auto failure = GrabaClave(api_, kClaveRegistro, kSeccionVersion, kValorNumero, settings.NumeroVersion))
    return failure;
  const std::string codigo = CodificaClave(settings.Clave);
  // In this order, each after the one before went through.
  const std::pair<const char*, const std::string*> values[] = {
      {kValorHost, &settings.Host},
      {kValorUsuario, &settings.Usuario},
      {kValorCodigo, &codigo},
      {kValorFrecuencia, &settings.Frecuencia},
      {kValorSonido, &settings.Sonido},
      {kValorAnimacion, &settings.Animacion},
      {kValorSeguridad, &settings.Seguridad},
      {kValorPuerto, &settings.Puerto},
      {kValorProtocolo, &settings.Protocolo},
      {kValorCarpeta, &settings.Carpeta},
      {kValorAutenticacion, &settings.Autenticacion},
      {kValorOAuthUrlAutorizacion, &settings.OAuthUrlAutorizacion},
      {kValorOAuthUrlToken, &settings.OAuthUrlToken},
      {kValorOAuthCliente, &settings.OAuthCliente},
      {kValorOAuthAmbito, &settings.OAuthAmbito},
      {kValorOAuthCuenta, &settings.OAuthCuenta},
  };
  for (const auto& [ident, value] : values)
    if (auto failure = WriteConfiguration(api_, ident, *value)) return failure;
  if (auto failure = SaveRefreshToken(settings)) return failure;
  if (settings.EjecutarSiempre) return WriteRunEntry(api_, programPath);
  DeleteRunEntries(api_);
  return {};
}

}  // namespace buzonix
