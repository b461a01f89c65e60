#include "text/HelpTopics.h"

#include <iterator>

namespace buzonix {
namespace {

// Windows-1252: \xE1 a, \xE9 e, \xED i, \xF3 o, \xFA u (acute), \xF1 n tilde,
// \xBF inverted question mark.
constexpr HelpTopic kTopics[] = {
    {1, "Buzonix Electr\xF3nico",
     "Buzonix Electr\xF3nico vigila su buz\xF3n de correo POP3 y le avisa cuando llegan "
     "mensajes nuevos.\r\n\r\n"
     "El programa no tiene ventana principal: vive en el \xE1rea de notificaci\xF3n de la "
     "barra de tareas, junto al reloj. Cada cierto n\xFAmero de minutos se conecta al "
     "servidor, pregunta cu\xE1ntos mensajes hay y se desconecta. Nunca descarga ni borra "
     "su correo.\r\n\r\n"
     "El icono le dice lo que encontr\xF3:\r\n"
     "  - Buz\xF3n con la bandera bajada: no hay mensajes.\r\n"
     "  - Bandera levantada sobre fondo blanco: hay mensajes (acceso con USER y PASS).\r\n"
     "  - Bandera levantada sobre fondo cian: hay mensajes (acceso seguro con APOP).\r\n"
     "  - Buz\xF3n tachado en rojo: error de conexi\xF3n o clave incorrecta.\r\n\r\n"
     "Al pasar el rat\xF3n por encima del icono ver\xE1 el n\xFAmero de mensajes. Un clic "
     "con el bot\xF3n izquierdo vuelve a mostrar el aviso de correo nuevo; el bot\xF3n "
     "derecho abre el men\xFA del programa."},
    {2, "El men\xFA del programa",
     "Pulse con el bot\xF3n derecho sobre el icono del buz\xF3n para abrir el men\xFA:\r\n\r\n"
     "Chequear Correo Ahora: consulta el buz\xF3n en este momento, sin esperar al "
     "siguiente intervalo. Si todav\xED" "a no ha indicado un servidor, abre la "
     "configuraci\xF3n.\r\n\r\n"
     "Configuraci\xF3n: abre la ventana donde se indican el servidor, el usuario, la clave, "
     "la frecuencia de comprobaci\xF3n y las opciones de aviso.\r\n\r\n"
     "Ayuda: muestra esta ayuda.\r\n\r\n"
     "Salir: cierra el programa. Si estaba consultando el servidor, se despide de \xE9l "
     "antes de terminar."},
    {13, "La ventana de configuraci\xF3n",
     "La ventana de configuraci\xF3n tiene dos p\xE1ginas.\r\n\r\n"
     "Configuraci\xF3n: los datos de su cuenta de correo y las opciones de aviso. Pulse "
     "Aceptar para guardarlos o Cancelar para cerrar sin cambios.\r\n\r\n"
     "Informaci\xF3n: la versi\xF3n del programa y c\xF3mo comunicar errores o "
     "sugerencias.\r\n\r\n"
     "Pulse F1 sobre cualquier campo para ver la ayuda que le corresponde."},
    {14, "Configuraci\xF3n",
     "Servidor: el nombre o la direcci\xF3n del servidor de correo entrante (POP3 o IMAP) que "
     "le indic\xF3 su proveedor, por ejemplo pop.ejemplo.es o imap.ejemplo.es.\r\n\r\n"
     "Protocolo: c\xF3mo lee el programa su buz\xF3n.\r\n"
     "  - POP3: cuenta todos los mensajes que hay en el buz\xF3n, le\xED" "dos o no, cada vez "
     "que lo consulta.\r\n"
     "  - IMAP: cuenta s\xF3lo los mensajes sin leer de una carpeta, y el servidor avisa en "
     "cuanto llega uno nuevo, sin esperar a la siguiente consulta.\r\n\r\n"
     "Carpeta: la carpeta que se vigila con IMAP; INBOX es la bandeja de entrada. Con POP3 "
     "no se usa y aparece apagada.\r\n\r\n"
     "Seguridad: c\xF3mo viajan la clave y los datos hasta el servidor.\r\n"
     "  - SSL/TLS (recomendado): la conexi\xF3n va protegida desde el primer momento, "
     "normalmente por el puerto 995 (993 con IMAP).\r\n"
     "  - STARTTLS: la conexi\xF3n empieza sin cifrar por el puerto 110 (143 con IMAP) y se "
     "cifra antes de enviar el usuario y la clave. Si el servidor no lo admite, no se env\xED" "a nada.\r\n"
     "  - Ninguna: sin cifrar; la clave viaja tal cual por la red. \xDAsela s\xF3lo si su "
     "proveedor no ofrece otra cosa.\r\n"
     "Con SSL/TLS y STARTTLS el programa comprueba el certificado del servidor: debe estar "
     "emitido por una autoridad de confianza, estar vigente y llevar el nombre que escribi\xF3 "
     "en Servidor. Si no es as\xED, no env\xED" "a su clave y le muestra el motivo.\r\n\r\n"
     "Puerto: el puerto del servidor, de 1 a 65535. Al cambiar el protocolo o la seguridad se "
     "propone el habitual (POP3: 995 con SSL/TLS, 110 con las dem\xE1s; IMAP: 993 con SSL/TLS, "
     "143 con las dem\xE1s), salvo que haya escrito otro.\r\n\r\n"
     "Usuario y Clave: los de su cuenta de correo. La clave se guarda en el registro de Windows "
     "solo disimulada, con una clave fija del programa, no protegida: quien pueda leer su registro "
     "puede recuperarla.\r\n\r\n"
     "Inicio de sesi\xF3n: c\xF3mo entra el programa en su buz\xF3n.\r\n"
     "  - Contrase\xF1" "a: con el usuario y la clave de arriba.\r\n"
     "  - Microsoft, Google u Otro proveedor: con el permiso que usted concede en la p\xE1gina "
     "de su proveedor, sin que el programa conozca su clave. Es lo que exigen las cuentas de "
     "Outlook.com, Hotmail y Microsoft 365, donde la clave ya no sirve para leer el correo. "
     "Al elegir Microsoft o Google se rellenan el servidor, el puerto y la seguridad que "
     "publica cada uno.\r\n"
     "Pulse \"Iniciar sesi\xF3n\x85\": se abre su navegador en la p\xE1gina del proveedor; "
     "entre en su cuenta y acepte. Cuando el navegador diga que ya puede cerrarlo, vuelva aqu\xED: "
     "ver\xE1 la cuenta con la que ha entrado, que pasa a Usuario. Pulse Aceptar para "
     "guardarla. Si tarda m\xE1s de cinco minutos, o pulsa Cancelar, no se guarda nada.\r\n"
     "Con un proveedor hace falta SSL/TLS o STARTTLS: el permiso nunca viaja sin cifrar. El "
     "programa lo guarda protegido para su usuario de Windows y lo renueva solo. Si un d\xED" "a "
     "el proveedor lo retira (porque cambi\xF3 su clave o cerr\xF3 las sesiones), el icono "
     "muestra \"Sesi\xF3n caducada\": vuelva a iniciar sesi\xF3n aqu\xED.\r\n"
     "  - Otro proveedor: para el servidor de identidad de una empresa. Escriba las "
     "direcciones de Autorizaci\xF3n y de Token (https://), el Cliente y el \xC1mbito que le "
     "indique su administrador.\r\n\r\n"
     "Frecuencia de Comprobaci\xF3n de Correo: cada cu\xE1ntos minutos se consulta el "
     "buz\xF3n, de 1 a 720 (doce horas).\r\n\r\n"
     "Animaci\xF3n: muestra una ventana con un sobre que gira cuando llega correo nuevo. "
     "Haga clic sobre ella para darse por enterado.\r\n\r\n"
     "Ejecutar siempre: inicia el programa autom\xE1ticamente al arrancar Windows.\r\n\r\n"
     "Avisar con sonido: emite un pitido cuando llega correo nuevo.\r\n\r\n"
     "El servidor y el usuario son obligatorios: mientras falte alguno, Aceptar no cierra "
     "la ventana y no se hacen comprobaciones peri\xF3" "dicas. Si el icono muestra "
     "\"Clave incorrecta\", corrija la clave y pulse Aceptar para reanudarlas."},
};

}  // namespace

const HelpTopic& FindHelpTopic(int context) {
  for (const HelpTopic& topic : kTopics)
    if (topic.context == context) return topic;
  return kTopics[0];
}

std::string HelpWindowTitle(const HelpTopic& topic) { return std::string("Ayuda - ") + topic.title; }

}  // namespace buzonix
