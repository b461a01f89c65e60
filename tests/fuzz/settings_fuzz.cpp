// The start-up load over whatever a registry holds: values of any type and
// content. It never throws, keeps the interval in range, and what it then
// saves reads back the same.
#include <cstdint>
#include <string>
#include <vector>

#include "support/MemoryRegistry.h"
#include "config/TestSealer.h"
#include "config/settings.h"

using namespace buzonix;

namespace {

struct Host : LoadHost {
  std::string ProgramPath() override { return "C:\\Buzonix.exe"; }
  void OpenHelpTopic(int) override {}
  void ShowConfigDialog() override {}
  void SetTimerInterval(unsigned ms) override { interval = ms; }
  void EnableTimer() override {}
  void CheckMail() override {}
  unsigned interval = 0;
};

const char* const kNames[] = {"Host",      "usuario", "Codigo",    "frecuencia", "Hacer Sonido",
                              "Animacion", "clave",   "Seguridad", "Puerto",     "Protocolo",
                              "Carpeta",   "Autenticacion", "OAuthUrlAutorizacion", "OAuthUrlToken",
                              "OAuthCliente", "OAuthAmbito", "OAuthCuenta", "OAuthRefresco"};
constexpr std::size_t kNameCount = sizeof kNames / sizeof kNames[0];

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // Fields separated by 0xFF: the version, then one per name; each field's
  // first byte picks the value's type (or leaves the value missing).
  std::vector<std::string> fields(1);
  for (std::size_t i = 0; i < size; ++i) {
    if (data[i] == 0xFF) fields.emplace_back();
    else fields.back().push_back(static_cast<char>(data[i]));
  }
  MemoryRegistry registry;
  auto put = [&](const std::string& key, const char* name, const std::string& field) {
    if (field.empty() || field[0] % 8 == 7) return;
    registry.PutValue(RegistryRoot::kCurrentUser, key, name,
                      RegistryValue{static_cast<std::uint32_t>(field[0] % 8), field.substr(1)});
  };
  put(kClaveRegistro + std::string("\\") + kSeccionVersion, "Numero", fields[0]);
  for (std::size_t i = 1; i < fields.size() && i <= kNameCount; ++i) put(kClaveConfiguracion, kNames[i - 1], fields[i]);

  Settings settings;
  Host host;
  testing::TestSealer sealer;
  RegistryStore store(registry, sealer);
  // The store in memory takes every write: a load or save that fails is a fault.
  if (LoadSettings(store, settings, host)) __builtin_trap();
  if (host.interval != 0 && (host.interval < 60000u || host.interval > 720u * 60000u)) __builtin_trap();
  if (registry.OpenKeyCount() != 0) __builtin_trap();
  // A normal start always ends with one of the three modes and a real port.
  if (host.interval != 0 && (SecurityText(SecurityModeOf(settings.Seguridad)) != settings.Seguridad ||
                             ProtocolText(MailProtocolOf(settings.Protocolo)) != settings.Protocolo ||
                             settings.Carpeta.empty() || !ParsePort(settings.Puerto) ||
                             SignInText(SignInMethodOf(settings.Autenticacion)) != settings.Autenticacion))
    __builtin_trap();

  if (store.Save(settings, host.ProgramPath())) __builtin_trap();
  Settings reread;
  Host host2;
  if (LoadSettings(store, reread, host2)) __builtin_trap();
  if (reread.Host != settings.Host || reread.Usuario != settings.Usuario || reread.Frecuencia != settings.Frecuencia ||
      reread.Sonido != settings.Sonido || reread.Animacion != settings.Animacion ||
      reread.Seguridad != settings.Seguridad || reread.Puerto != settings.Puerto ||
      reread.Protocolo != settings.Protocolo || reread.Carpeta != settings.Carpeta ||
      reread.Autenticacion != settings.Autenticacion || reread.OAuthUrlAutorizacion != settings.OAuthUrlAutorizacion ||
      reread.OAuthUrlToken != settings.OAuthUrlToken || reread.OAuthCliente != settings.OAuthCliente ||
      reread.OAuthAmbito != settings.OAuthAmbito || reread.OAuthCuenta != settings.OAuthCuenta)
    __builtin_trap();
  // Whatever "OAuthRefresco" held reads as a token that comes back whole
  // (up to a zero byte, as any text value), or as none.
  if (reread.OAuthRefresco != settings.OAuthRefresco.substr(0, settings.OAuthRefresco.find('\0')))
    __builtin_trap();
  // Text values end at their first zero byte, so a password holding one comes back cut there.
  if (reread.Clave != settings.Clave) __builtin_trap();
  return 0;
}
