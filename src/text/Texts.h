// Every text the program shows, once, for both programs: Windows-1252 bytes
// (\xE1 a, \xE9 e, \xED i, \xF3 o, \xFA u with acute, \xF1 n tilde). The Windows
// layer hands them to Windows as UTF-16; the Linux layer decodes them as
// Windows-1252. The help topics are in text/HelpTopics.h, the socket
// component's error texts beside its codes in network/Sockets.cpp.
#pragma once

#include <cstdint>
#include <string>

namespace buzonix {

inline constexpr char kApplicationTitle[] = "Buzonix Electr\xF3nico";

// The tray menu, in its order; the separator comes before kMenuSalir.
inline constexpr char kMenuChequear[] = "Chequear Correo &Ahora";
inline constexpr char kMenuConfiguracion[] = "&Configuraci\xF3n";
inline constexpr char kMenuAyuda[] = "A&yuda";
inline constexpr char kMenuSalir[] = "&Salir";

// Tooltips of the tray icon.
inline constexpr char kToolTipInicial[] = "No hay Mensajes";  // before the first check
inline constexpr char kNoHayMensajes[] = "No Hay Mensajes";
inline constexpr char kErrorEnConexion[] = "Error en Conexion";
inline constexpr char kClaveIncorrecta[] = "Clave incorrecta";
// The count shown in the tooltip and the notice's caption.
inline std::string MessagesCaption(std::int32_t count) { return std::to_string(count) + " Mensajes"; }

// Boxes of the main form and the check.
inline constexpr char kServidorNoResponde[] = "El servidor no responde";
inline constexpr char kServidorNoRespondeAlSalir[] = "El Servidor no Responde";
inline constexpr char kNoSeEncuentraApop[] = "No se encuentra libreria APOP.DLL";
inline constexpr char kFuncionNoEnlazada[] = "Funcion no enlazada. Esta la DLL cargada?";
inline constexpr char kErrorDesconocido[] = "Error desconocido";

// The configuration dialog.
inline constexpr char kPaginaConfiguracion[] = "Configuraci\xF3n";
inline constexpr char kPaginaInformacion[] = "Informaci\xF3n";
inline constexpr char kEtiquetaServidor[] = "Servidor:";
inline constexpr char kEtiquetaUsuario[] = "Usuario:";
inline constexpr char kEtiquetaClave[] = "Clave:";
inline constexpr char kEtiquetaFrecuencia[] = "Frecuencia de Comprobaci\xF3n de Correo:";
inline constexpr char kEtiquetaMinutos[] = "Min.";
inline constexpr char kEtiquetaSeguridad[] = "Seguridad:";
inline constexpr char kEtiquetaPuerto[] = "Puerto:";
inline constexpr char kEtiquetaProtocolo[] = "Protocolo:";
inline constexpr char kEtiquetaCarpeta[] = "Carpeta:";
inline constexpr char kCasillaAnimacion[] = "Animaci\xF3n";
inline constexpr char kCasillaEjecutar[] = "Ejecutar siempre";
inline constexpr char kCasillaSonido[] = "Avisar con sonido";
inline constexpr char kBotonAceptar[] = "Aceptar";
inline constexpr char kBotonCancelar[] = "Cancelar";
inline constexpr char kTituloPrefijo[] = "Buzonix Electr\xF3nico versi\xF3n ";
inline constexpr char kPuertoNoValido[] = "El puerto debe ser un n\xFAmero entre 1 y 65535";
// The refusal of a field holding a character Windows-1252 cannot store: the
// field's name (its label without the colon) goes between the two parts.
inline constexpr char kCampoNoGuardablePrefijo[] = "El campo ";
inline constexpr char kCampoNoGuardableResto[] =
    " contiene caracteres que no se pueden guardar.\r\n"
    "Use solo letras, cifras y signos de Europa occidental.";

// The information page, one entry a line as the Windows page places them.
inline constexpr const char* kInformacion[] = {
    "Sistema de notificaci\xF3n de correo electr\xF3nico seg\xFAn protocolos",
    ("POP3 e IMAP. Programa de Dominio P\xFA" "blico."),
    "Proyecto Buzonix Electr\xF3nico, 2026",
    "Equipo de desarrollo de Buzonix",
    "Sugerencias y errores: en las incidencias del proyecto.",
    "Las nuevas versiones se publican en el",
    "repositorio del proyecto Buzonix.",
};
// Where the Linux page leaves an empty line: after these entries.
inline constexpr int kInformacionParrafos[] = {1, 3};

// The Linux program's own texts.
inline constexpr char kClaveIlegible[] =
    "No se pudo leer la clave del servicio de claves (Secret Service). "
    "Se volver\xE1 a intentar en la pr\xF3xima comprobaci\xF3n";
inline constexpr char kPreguntaClaveEnArchivo[] =
    "No hay un servicio de claves (Secret Service) en este escritorio.\n\n"
    "\xBFGuardar la clave en el archivo de configuraci\xF3n, cifrada como la "
    "guarda el programa en Windows?\n\n"
    "Si responde No, la clave se usar\xE1 s\xF3lo hasta que cierre el programa.";

// An IMAP mailbox: its unread count, and why a check of it ended.
inline constexpr char kMensajesSinLeer[] = " Mensajes sin leer";
inline constexpr char kUnMensajeSinLeer[] = "1 Mensaje sin leer";
inline std::string UnreadCaption(std::int32_t count) {
  return count == 1 ? std::string(kUnMensajeSinLeer) : std::to_string(count) + kMensajesSinLeer;
}
inline constexpr char kExigeConexionSegura[] =
    "El servidor exige una conexi\xF3n segura: elija STARTTLS o SSL/TLS en Configuraci\xF3n";
inline constexpr char kNoSeEncuentraCarpeta[] = "No se encuentra la carpeta ";
inline constexpr char kRespuestaDemasiadoLarga[] =
    "El servidor envi\xF3 una respuesta demasiado larga";
inline constexpr char kRespuestaIlegible[] = "El servidor envi\xF3 una respuesta que no se entiende";

// Sign-in with a provider (OAuth 2.0).
inline constexpr char kEtiquetaInicioSesion[] = "Inicio de sesi\xF3n:";
inline constexpr char kEtiquetaAutorizacion[] = "Autorizaci\xF3n:";
inline constexpr char kEtiquetaToken[] = "Token:";
inline constexpr char kEtiquetaCliente[] = "Cliente:";
inline constexpr char kEtiquetaAmbito[] = "\xC1mbito:";
inline constexpr char kBotonIniciarSesion[] = "Iniciar sesi\xF3n\x85";
inline constexpr char kBotonCancelarInicio[] = "Cancelar";
inline constexpr char kSesionIniciadaPrefijo[] = "Sesi\xF3n iniciada: ";
inline constexpr char kSesionIniciadaSinCuenta[] = "Sesi\xF3n iniciada";
inline constexpr char kSinSesion[] = "Sin sesi\xF3n iniciada";
inline constexpr char kEsperandoNavegador[] = "Esperando al navegador\x85";
inline constexpr char kSesionSoloEstaVez[] =
    "Sin servicio de claves: la sesi\xF3n durar\xE1 s\xF3lo hasta que cierre el programa";
inline constexpr char kInicioExigeSeguridad[] =
    "El inicio de sesi\xF3n con un proveedor exige una conexi\xF3n segura: elija STARTTLS o SSL/TLS";
inline constexpr char kInicioPendiente[] =
    "Pulse \"Iniciar sesi\xF3n\x85\" e inicie sesi\xF3n con el proveedor antes de aceptar";
inline constexpr char kDireccionNoValidaResto[] =
    " debe ser una direcci\xF3n https:// (http:// s\xF3lo en este equipo)";
inline constexpr char kCampoVacioResto[] = " no puede quedar vac\xEDo";
inline constexpr char kInicioSinRespuesta[] =
    "El proveedor no respondi\xF3 en cinco minutos; vuelva a intentarlo";
inline constexpr char kInicioDenegado[] = "El proveedor no concedi\xF3 el acceso";
inline constexpr char kInicioSinCredenciales[] =
    "El proveedor no entreg\xF3 las credenciales; vuelva a intentarlo";
inline constexpr char kInicioSinConexion[] = "No se pudo conectar con el proveedor";
inline constexpr char kInicioNoArranca[] = "No se pudo abrir el navegador para iniciar sesi\xF3n";
// What a check shows when the provider's sign-in fails.
inline constexpr char kSesionCaducada[] =
    "La sesi\xF3n con el proveedor ha caducado; vuelva a iniciar sesi\xF3n en Configuraci\xF3n";
inline constexpr char kTooltipSesionCaducada[] = "Sesi\xF3n caducada";
inline constexpr char kProveedorRechazado[] =
    "El servidor de correo no acept\xF3 el acceso concedido por el proveedor";
inline constexpr char kTooltipProveedorRechazado[] = "Acceso del proveedor rechazado";
inline constexpr char kServidorSinOAuth[] =
    "El servidor de correo no admite el inicio de sesi\xF3n con un proveedor";

}  // namespace buzonix
