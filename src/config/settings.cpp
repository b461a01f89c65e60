#include "config/settings.h"

#include <algorithm>
#include <charconv>

#include "config/scramble.h"

namespace buzonix {
namespace {

constexpr char kValorClavePlana[] = "clave";  // the password in clear, as old versions kept it

constexpr int kHelpTopicConfiguracion = 14;
constexpr int kMinFrequency = 1;
constexpr int kMaxFrequency = 720;
constexpr unsigned kMillisecondsPerMinute = 60000;

std::string Quoted(const std::string& name) { return "'" + name + "'"; }

// The load's reads: a value that is not text or cannot be fetched counts as
// missing, so that damaged data cannot keep the program from starting.
std::string ReadDuringLoad(RegistryApi& api, const std::string& section,
                           const std::string& ident) {
  try {
    return LeeClave(api, kClaveRegistro, section, ident);
  } catch (const ERegistryException&) {
    return kMissingText;
  }
}

std::string RunEntryDuringLoad(TRegIniFile&& windowsKey) {
  try {
    return windowsKey.ReadString(kSeccionRun, kValorRun, kMissingText);
  } catch (const ERegistryException&) {
    return kMissingText;
  }
}

// Byte for byte: the entry must name this very file, in this letter case.
bool RegisteredToRun(RegistryApi& api, const std::string& programPath) {
  return RunEntryDuringLoad(TRegMaquina(api, kClaveWindows)) == programPath ||
         RunEntryDuringLoad(TRegIniFile(api, kClaveWindows)) == programPath;
}

// Machine-wide where the user may write it; otherwise in the user's own Run
// key, which Windows runs at that user's logon alike. One entry only, so the
// program never starts twice.
void WriteRunEntry(RegistryApi& api, const std::string& programPath) {
  try {
    TRegMaquina(api, kClaveWindows).WriteString(kSeccionRun, kValorRun, programPath);
    TRegIniFile(api, kClaveRun).DeleteValue(kSeccionRun, kValorRun);
    return;
  } catch (const ERegistryException&) {
  }
  if (RunEntryDuringLoad(TRegMaquina(api, kClaveWindows)) == programPath) return;
  TRegIniFile(api, kClaveWindows).WriteString(kSeccionRun, kValorRun, programPath);
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
  return !programPath.empty() && static_cast<unsigned char>(programPath[0]) >= 'C';
}

void RunFirstStart(RegistryApi& api, Settings& settings, LoadHost& host) {
  const std::string programPath = host.ProgramPath();
  settings.EjecutarSiempre = false;
  if (MayStartWithWindows(programPath)) {
    // Where not even the user's own Run key takes it, the program stays
    // unregistered; the user can still reach the dialog.
    try {
      WriteRunEntry(api, programPath);
      settings.EjecutarSiempre = true;
    } catch (const ERegistryException&) {
    }
  }
  settings.Animacion = "Si";
  settings.Sonido = "Beep";
  // TLS from the first byte is what a new installation is offered.
  settings.Seguridad = kSeguridadSslTls;
  settings.Puerto = std::to_string(DefaultPort(SecurityMode::kSslTls));
  host.OpenHelpTopic(kHelpTopicConfiguracion);
  host.ShowConfigDialog();
}

// Versions before this one kept the password in clear as "clave"; it moves to
// "Codigo" scrambled, and the stored version is brought up to date.
void MigratePlainPassword(RegistryApi& api, Settings& settings) {
  GrabaClave(api, kClaveRegistro, kSeccionVersion, kValorNumero, settings.NumeroVersion);
  settings.Clave = ReadDuringLoad(api, kSeccionConfiguracion, kValorClavePlana);
  if (settings.Clave == kMissingText) return;
  TRegIniFile(api, kClaveConfiguracion).DeleteValue(kSeccionConfiguracion, kValorClavePlana);
  if (!settings.Clave.empty()) {
    GrabaClave(api, kClaveRegistro, kSeccionConfiguracion, kValorCodigo,
               CodificaClave(settings.Clave));
  }
}

void ReadConfiguration(RegistryApi& api, Settings& settings) {
  settings.Host = ReadDuringLoad(api, kSeccionConfiguracion, kValorHost);
  settings.Usuario = ReadDuringLoad(api, kSeccionConfiguracion, kValorUsuario);
  settings.Clave = DecodificaClave(ReadDuringLoad(api, kSeccionConfiguracion, kValorCodigo));
  settings.Frecuencia = ReadDuringLoad(api, kSeccionConfiguracion, kValorFrecuencia);
  settings.Sonido = ReadDuringLoad(api, kSeccionConfiguracion, kValorSonido);
  settings.Animacion = ReadDuringLoad(api, kSeccionConfiguracion, kValorAnimacion);
  // Stores of earlier versions hold neither: they go on in plain POP3 on 110.
  const SecurityMode mode = SecurityModeOf(ReadDuringLoad(api, kSeccionConfiguracion, kValorSeguridad));
  settings.Seguridad = SecurityText(mode);
  const auto port = ParsePort(ReadDuringLoad(api, kSeccionConfiguracion, kValorPuerto));
  settings.Puerto = std::to_string(port.value_or(DefaultPort(mode)));
}

void WriteConfiguration(RegistryApi& api, const std::string& ident, const std::string& value) {
  GrabaClave(api, kClaveRegistro, kSeccionConfiguracion, ident, value);
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

std::string TRegIniFile::ReadString(const std::string& section, const std::string& ident,
                                    const std::string& def) {
  const RegKey ownKey = OwnKey(KeyAccess::kRead);
  const RegKey sectionKey = api_.OpenKey(Base(ownKey), section, KeyAccess::kRead);
  if (!sectionKey.IsOpen()) return def;
  RegistryValue value;
  switch (api_.QueryValue(sectionKey.Handle(), ident, value)) {
    case QueryResult::kMissing:
      return def;
    case QueryResult::kUnreadable:
      throw ERegistryException{"Failed to get data for " + Quoted(ident)};
    case QueryResult::kFound:
      break;
  }
  if (value.type != kRegSz && value.type != kRegExpandSz) {
    throw ERegistryException{"Invalid data type for " + Quoted(ident)};
  }
  return TextOfValueData(value.data);
}

void TRegIniFile::WriteString(const std::string& section, const std::string& ident,
                              const std::string& value) {
  const RegKey ownKey = OwnKey(KeyAccess::kWrite);
  const RegKey sectionKey = api_.CreateKey(Base(ownKey), section, KeyAccess::kWrite);
  if (!sectionKey.IsOpen()) throw ERegistryException{"Failed to create key " + section};
  if (!api_.SetTextValue(sectionKey.Handle(), ident, value)) {
    throw ERegistryException{"Failed to set data for " + Quoted(ident)};
  }
}

void TRegIniFile::DeleteValue(const std::string& /*section*/, const std::string& ident) {
  const RegKey ownKey = api_.OpenKey(root_, path_, KeyAccess::kWrite);
  if (ownKey.IsOpen()) api_.DeleteValue(ownKey.Handle(), ident);
}

TRegMaquina::TRegMaquina(RegistryApi& api, const std::string& keyPath)
    : TRegIniFile(api, RegistryRoot::kLocalMachine, keyPath), Ruta(keyPath) {}

std::string TextOfValueData(const std::string& data) { return data.substr(0, data.find('\0')); }

std::string LeeClave(RegistryApi& api, const std::string& key, const std::string& section,
                     const std::string& ident) {
  return TRegIniFile(api, key).ReadString(section, ident, kMissingText);
}

void GrabaClave(RegistryApi& api, const std::string& key, const std::string& section,
                const std::string& ident, const std::string& value) {
  TRegIniFile(api, key).WriteString(section, ident, value);
}

int FrequencyMinutes(const std::string& text) {
  const char* const last = text.data() + text.size();
  int minutes = 0;
  const auto [end, error] = std::from_chars(text.data(), last, minutes);
  if (text.empty() || error != std::errc() || end != last) {
    throw EConvertError{Quoted(text) + " is not a valid integer value"};
  }
  return minutes;
}

unsigned TimerIntervalFor(const std::string& frecuencia) {
  int minutes = kMinFrequency;
  try {
    minutes = std::clamp(FrequencyMinutes(frecuencia), kMinFrequency, kMaxFrequency);
  } catch (const EConvertError&) {
  }
  return static_cast<unsigned>(minutes) * kMillisecondsPerMinute;
}

SecurityMode SecurityModeOf(const std::string& seguridad) {
  if (seguridad == kSeguridadStarttls) return SecurityMode::kStarttls;
  if (seguridad == kSeguridadSslTls) return SecurityMode::kSslTls;
  return SecurityMode::kNinguna;
}

const char* SecurityText(SecurityMode mode) {
  switch (mode) {
    case SecurityMode::kStarttls: return kSeguridadStarttls;
    case SecurityMode::kSslTls: return kSeguridadSslTls;
    case SecurityMode::kNinguna: break;
  }
  return kSeguridadNinguna;
}

std::uint16_t DefaultPort(SecurityMode mode) { return mode == SecurityMode::kSslTls ? 995 : 110; }

std::optional<std::uint16_t> ParsePort(const std::string& text) {
  if (text.empty() || text.size() > 5 || text.find_first_not_of("0123456789") != std::string::npos)
    return std::nullopt;
  const int value = std::stoi(text);
  if (value < 1 || value > 65535) return std::nullopt;
  return static_cast<std::uint16_t>(value);
}

std::uint16_t PortOf(const Settings& settings) {
  return ParsePort(settings.Puerto).value_or(DefaultPort(SecurityModeOf(settings.Seguridad)));
}

void LoadSettings(RegistryApi& api, Settings& settings, LoadHost& host) {
  const std::string storedVersion = ReadDuringLoad(api, kSeccionVersion, kValorNumero);
  if (storedVersion == kMissingText) {
    RunFirstStart(api, settings, host);
    return;
  }
  if (storedVersion != settings.NumeroVersion) MigratePlainPassword(api, settings);
  ReadConfiguration(api, settings);
  settings.EjecutarSiempre = RegisteredToRun(api, host.ProgramPath());
  host.SetTimerInterval(TimerIntervalFor(settings.Frecuencia));
  host.EnableTimer();
  host.CheckMail();
}

void SaveSettings(RegistryApi& api, const Settings& settings, const std::string& programPath) {
  GrabaClave(api, kClaveRegistro, kSeccionVersion, kValorNumero, settings.NumeroVersion);
  WriteConfiguration(api, kValorHost, settings.Host);
  WriteConfiguration(api, kValorUsuario, settings.Usuario);
  WriteConfiguration(api, kValorCodigo, CodificaClave(settings.Clave));
  WriteConfiguration(api, kValorFrecuencia, settings.Frecuencia);
  WriteConfiguration(api, kValorSonido, settings.Sonido);
  WriteConfiguration(api, kValorAnimacion, settings.Animacion);
  WriteConfiguration(api, kValorSeguridad, settings.Seguridad);
  WriteConfiguration(api, kValorPuerto, settings.Puerto);
  if (settings.EjecutarSiempre) {
    WriteRunEntry(api, programPath);
  } else {
    DeleteRunEntries(api);
  }
}

}  // namespace buzonix
