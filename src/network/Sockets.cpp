#include "network/Sockets.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "text/Decimal.h"

namespace buzonix {
namespace {

struct ErrorEntry {
  int code;
  const char* text;
};

// Windows-1252 text: "\xF3" is the o with acute accent.
constexpr ErrorEntry kErrorTable[] = {
    {10004, "Llamada al sistema interrumpida"},
    {10009, "Numero de fichero erroneo"},
    {10013, "Permision denegada"},
    {10014, "Direccion incorrecta"},
    {10022, "Argumento no valido"},
    {10024, "Demasiados ficheros abiertos"},
    {10035, "Operacion bloqueada"},
    {10036, "Operacion realizandose ahora"},
    {10037, "Operacion ya en progreso"},
    {10038, "No hay sockets"},
    {10039, "Se requiere direccion de destino"},
    {10040, "Mensaje demasiado largo"},
    {10041, "Tipo de Protocolo erroneo para socket"},
    {10042, "Protocolo no disponible"},
    {10043, "Protocolo no soportado"},
    {10044, "Tipo de Socket no soportado"},
    {10045, "Operacion no suportada en socket"},
    {10046, "Familia de Protocolos no soportada"},
    {10047, "Familia de direcciones no soportada por familia de protocolos"},
    {10048, "Direcci\xF3n ya en uso"},
    {10049, "No es posible asignar la direccion pedida"},
    {10050, "La red esta desconectada"},
    {10051, "La red es inalcanzable"},
    {10052, "La red ha desconectado al reestablecerse"},
    {10053, "El Software ha abortado la conexion"},
    {10054, "Conexion resestablecida por el par"},
    {10055, "No hay disponible espacio en el buffer"},
    {10056, "Socket esta ya conectado"},
    {10057, "Socket no esta conectado"},
    {10058, "No se puede enviar despues de desconexion de socket"},
    {10059, "Demasiadas referencias: No es posible splice"},
    {10060, "El servidor no responde"},
    {10061, "Conexion rechazada"},
    {10062, "Demasiados niveles de enlaces simbolicos"},
    {10063, "Nombre de fichero demasiado largo"},
    {10064, "Servidor desconectado"},
    {10065, "No hay ruta a el servidor"},
    {10066, "Directorio no vacio"},
    {10067, "Demasiados procesos"},
    {10068, "Demasiados usuarios"},
    {10069, "Cuota del disco excedida"},
    {10070, "Stale NFS manejador de fichero"},
    {10071, "Demasiados niveles remotos en el camino"},
    {10091, "El subsistema de red no se puede usar"},
    {10092, "WinSock DLL no puede soportar esta aplicacion"},
    {10093, "WinSock no inicializado"},
    {11001, "Servidor no encontrado"},
    {11002, "Servidor no encontrado"},
    {11003, "Error no recuperable"},
    {11004, "No hay Datos"},
};

constexpr long kAllNotifications = kFdRead | kFdWrite | kFdConnect | kFdClose;  // 51
constexpr int kMaxPortText = 31;
constexpr std::size_t kMaxHostText = 255;
constexpr std::size_t kMaxBoxText = 255;

const char* NotificationName(int event) {
  switch (event) {
    case kFdRead: return "FD_READ";
    case kFdWrite: return "FD_WRITE";
    case kFdAccept: return "FD_ACCEPT";
    case kFdConnect: return "FD_CONNECT";
    case kFdClose: return "FD_CLOSE";
    default: return "";
  }
}

std::uint16_t HostToNetwork16(std::uint16_t v) {
  const unsigned char bytes[2] = {static_cast<unsigned char>(v >> 8),
                                  static_cast<unsigned char>(v & 0xFF)};
  std::uint16_t out;
  std::memcpy(&out, bytes, 2);
  return out;
}

}  // namespace

std::string ErrorText(int code) {
  for (const auto& entry : kErrorTable)
    if (entry.code == code) return entry.text;
  return "No es un error WinSock";
}

TSockets::TSockets(SocketPlatform& platform) : platform_(platform) {
  platform_.Attach(this);
  const int result = platform_.Startup();
  if (result != 0) ReportError(kNoSocket, "Constructor (WSAStartup)", result);
}

TSockets::~TSockets() {
  if (platform_.Cleanup() < 0)
    ReportError(kNoSocket, "Destructor (WSACleanup)", platform_.LastError());
  platform_.Attach(nullptr);
}

void TSockets::ReportError(SocketHandle socket, const std::string& function, int code) {
  ReportError(socket, function, code, ErrorText(code));
}

void TSockets::ReportError(SocketHandle socket, const std::string& function, int code,
                           const std::string& msg) {
  if (OnErrorOccurred) {
    OnErrorOccurred(*this, socket, code, msg);
    return;
  }
  std::string full = "Error " + std::to_string(code) + " en funcion " + function + "\r\n" + msg;
  if (full.size() > kMaxBoxText) full.resize(kMaxBoxText);
  platform_.ShowMessageBox(full, Aplicacion);
  platform_.ExitProgram(0);
}

void TSockets::StartTimeout() {
  wake_armed_ = false;
  if (non_blocking_ == 0 && Timeout > 0) platform_.SetTimer(static_cast<unsigned>(Timeout) * 1000u);
}

void TSockets::StopTimeout() {
  if (non_blocking_ == 0 && Timeout > 0) platform_.KillTimer();
}

void TSockets::OnTimerMessage() {
  platform_.KillTimer();
  if (!platform_.IsBlocking()) {
    if (std::exchange(wake_armed_, false) && OnWakeTimer) OnWakeTimer(*this, socket_);
    return;
  }
  platform_.CancelBlockingCall();
  if (OnErrorOccurred)
    OnErrorOccurred(*this, socket_, kWsaEtimedout, "Llamada bloqueada");
  else
    platform_.ShowMessageBox("Error 10060\r\nBlocking call timed out", "LLAMADA A WINSOCK CANCELADA");
}

void TSockets::OnSocketNotification(SocketHandle socket, int event, int error) {
  if (error > 10000) {
    ReportError(socket, NotificationName(event), error);
    return;
  }
  const TSocketEvent* handler = nullptr;
  switch (event) {
    case kFdRead: handler = &OnDataAvailable; break;
    case kFdWrite: handler = &OnDataNeeded; break;
    case kFdAccept: handler = &OnSessionAvailable; break;
    case kFdConnect: handler = &OnSessionConnected; break;
    case kFdClose: handler = &OnSessionClosed; break;
    default: return;
  }
  if (*handler) (*handler)(*this, socket);
}

OrFailure<std::uint16_t> TSockets::ResolvePort() {
  const std::string service = Port.substr(0, kMaxPortText);
  // No service is named by digits alone: a decimal port skips the database.
  const bool decimal = !service.empty() && service.find_first_not_of("0123456789") == std::string::npos;
  if (!decimal)
    if (auto port = platform_.ServicePort(service)) return *port;
  const auto value = ParseInt32(Port, true);
  if (!value) return NotAnInteger(Port);
  return HostToNetwork16(static_cast<std::uint16_t>(*value));
}

MaybeFailure TSockets::SConnect() {
  if (Port.empty()) {
    platform_.ShowMessageBox("No se ha especificado el Puerto", Aplicacion);
    return {};
  }
  if (IPAddr.empty()) {
    platform_.ShowMessageBox("No se ha especificado direccion IP", Aplicacion);
    return {};
  }
  const OrFailure<std::uint16_t> port = ResolvePort();
  if (port.Failed()) return port.Why();
  remote_port_ = port.Value();

  const std::string host = IPAddr.substr(0, kMaxHostText);
  // The look-up is bounded by the same time-out as the calls after it.
  StartTimeout();
  const LookUpResult found = platform_.Resolve(host, remote_port_);
  StopTimeout();
  // A name that does not exist is most likely mistyped: say so, rather than
  // let it pass for a server that does not answer. Other failures of the
  // look-up (a time-out is reported by the timer) stay unreported.
  if (found.status == LookUpResult::kNoSuchName) {
    ReportError(kNoSocket, "SConnect (getaddrinfo)", kWsaHostNotFound);
    return {};
  }
  const std::vector<SocketAddress>& addresses = found.addresses;
  if (addresses.empty()) return {};

  // Without a protocol database entry for "tcp", TCP's own number serves.
  // The protocol database does not change while the program runs: read it once.
  if (!tcp_protocol_) tcp_protocol_ = platform_.TcpProtocolNumber().value_or(6);
  // Each address in the resolver's order, until one answers; only the last
  // failure is reported.
  for (std::size_t i = 0; i < addresses.size(); ++i) {
    const bool last = i + 1 == addresses.size();
    socket_ = platform_.OpenSocket(addresses[i].family, *tcp_protocol_);
    if (socket_ < 0) {  // a family this machine lacks, say
      socket_ = kNoSocket;
      if (last) ReportError(kNoSocket, "SConnect (socket)", platform_.LastError());
      continue;
    }
    const int error = ConnectTo(addresses[i]);
    if (error == 0 || error == kWsaEwouldblock) return {};
    if (last || error == kWsaEintr) {
      ReportError(socket_, "SConnect", error);
      return {};
    }
    platform_.CloseSocket(socket_);
    socket_ = kNoSocket;
  }
  return {};
}

// Connects the new socket: 0, or the error code.
int TSockets::ConnectTo(const SocketAddress& address) {
  if (NonBlocking()) {
    if (platform_.AsyncSelect(socket_, kAllNotifications) != 0)
      ReportError(socket_, "WSAAsyncSelect", platform_.LastError());
  } else {
    platform_.SetBlocking(socket_);
  }
  StartTimeout();
  const int result = platform_.Connect(socket_, address);
  const int error = result != 0 ? platform_.LastError() : 0;
  StopTimeout();
  return result == 0 ? 0 : (error != 0 ? error : kWsaEinval);
}

void TSockets::SetText(const std::string& value) {
  SendBytes(std::string_view(value).substr(0, std::strlen(value.c_str())));
}

bool TSockets::SendBytes(std::string_view bytes) {
  std::size_t sent = 0;
  do {
    StartTimeout();
    const int n = platform_.Send(socket_, bytes.data() + sent, static_cast<int>(bytes.size() - sent));
    const int error = n < 0 ? platform_.LastError() : 0;
    StopTimeout();
    if (n < 0) {
      ReportError(socket_, "SetText (Send)", error);
      return false;
    }
    sent += static_cast<std::size_t>(n);
  } while (sent < bytes.size());
  return true;
}

TSockets::Received TSockets::Receive() {
  if (socket_ == kNoSocket) return {Received::kNoSocket, {}};
  const int capacity = std::max(MaximumReceiveLength, 1);
  std::string buffer(static_cast<std::size_t>(capacity), '\0');
  StartTimeout();
  const int n = platform_.Recv(socket_, buffer.data(), capacity);
  const int error = n < 0 ? platform_.LastError() : 0;
  StopTimeout();
  if (n < 0) {
    ReportError(socket_, "GetText (Recv)", error);
    return {Received::kFailed, {}};
  }
  if (n == 0) return {Received::kClosed, {}};
  buffer.resize(static_cast<std::size_t>(n));
  return {Received::kData, std::move(buffer)};
}

std::string TSockets::GetText() {
  Received received = Receive();
  std::string& text = received.bytes;
  text.resize(std::strlen(text.c_str()));
  return text;
}

void TSockets::WatchSocket(bool on) {
  if (socket_ == kNoSocket) return;
  if (on) {
    if (platform_.AsyncSelect(socket_, kFdRead | kFdClose) != 0)
      ReportError(socket_, "WSAAsyncSelect", platform_.LastError());
  } else {
    platform_.AsyncSelect(socket_, 0);
    platform_.SetBlocking(socket_);
  }
}

void TSockets::StartWakeTimer(unsigned milliseconds) {
  wake_armed_ = true;
  platform_.SetTimer(milliseconds);
}

void TSockets::StopWakeTimer() {
  if (std::exchange(wake_armed_, false)) platform_.KillTimer();
}

void TSockets::Disconnect() {
  wake_armed_ = false;
  if (NonBlocking()) platform_.AsyncSelect(socket_, 0);
  if (platform_.IsBlocking()) platform_.CancelBlockingCall();
  platform_.Shutdown(socket_);
  platform_.SetAbortiveClose(socket_);
  if (platform_.CloseSocket(socket_) != 0)
    ReportError(socket_, "Disconnect (closesocket)", platform_.LastError());
  socket_ = kNoSocket;
}

}  // namespace buzonix
