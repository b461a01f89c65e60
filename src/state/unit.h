// Process-wide state of the program, shared by the main form, the check, the
// notice window and the configuration dialog: the settings as loaded, the
// check's state from one check to the next, and the byte of window flags.
// Plain data with no dependencies, so that every subsystem can use it without
// depending on the others.
#pragma once

#include <cstdint>
#include <string>

namespace buzonix {

struct Settings {
  std::string Host;
  std::string Usuario;
  std::string Clave;  // in clear; scrambled only in the store
  std::string Frecuencia = "1";
  std::string Sonido;     // "Beep": beep on new mail
  std::string Animacion;  // "Si": show the notice window
  bool EjecutarSiempre = false;
  std::string NumeroVersion = "1.01";
  std::string Seguridad = "Ninguna";  // one of the three kSeguridad texts of state/Connection.h
  std::string Puerto = "110";         // decimal, 1 to 65535
  std::string Protocolo = "POP3";     // one of the two kProtocolo texts of state/Connection.h
  std::string Carpeta = "INBOX";      // the IMAP folder watched, in the program's own text
  // Sign-in with a provider: one of the four kAutenticacion texts of
  // state/Connection.h; the endpoints, client and scope for "Otro proveedor".
  std::string Autenticacion = "Contrase\xF1" "a";
  std::string OAuthUrlAutorizacion;
  std::string OAuthUrlToken;
  std::string OAuthCliente;
  std::string OAuthAmbito;
  std::string OAuthCuenta;    // the account the provider named
  std::string OAuthRefresco;  // the refresh token, in clear; sealed only in the store
};

// Check state that lives from one check to the next.
struct CheckState {
  bool Chequeando = false;
  bool TiempoAgotado = false;
  std::int32_t ErrorSocket = 0;
  std::int32_t NumMensajes = 0;
  std::int32_t NumAvisados = 0;
};

// The four tray pictures, named after the main form's images.
enum class TrayPicture { bandera0, bandera1, Bandera2, Bandera5 };

// Bits of VentanasAbiertas.
inline constexpr std::uint8_t kNoticeWindowOpen = 1;
inline constexpr std::uint8_t kConfigDialogOpen = 2;

struct Pop3Unit {
  Settings settings;
  CheckState check;
  std::uint8_t VentanasAbiertas = 0;
};

}  // namespace buzonix
