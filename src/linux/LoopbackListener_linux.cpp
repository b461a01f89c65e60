#include "linux/LoopbackListener_linux.h"

#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>

#include <string_view>

namespace buzonix {
namespace {

// A socket may be closed from inside its own signal: it goes once Qt is
// done with it.
void Discard(QTcpSocket* socket) {
  QObject::disconnect(socket, nullptr, nullptr, nullptr);
  socket->abort();
  socket->deleteLater();
}

}  // namespace

QtLoopbackListener::QtLoopbackListener() = default;

QtLoopbackListener::~QtLoopbackListener() {
  Close();
}

std::uint16_t QtLoopbackListener::Listen(ListenerEvents& events) {
  Close();
  auto server = std::make_unique<QTcpServer>();
  if (!server->listen(QHostAddress::LocalHost, 0)) return 0;
  QObject::connect(server.get(), &QTcpServer::newConnection, [this] { Accept(); });
  events_ = &events;
  server_ = std::move(server);
  return server_->serverPort();
}

void QtLoopbackListener::Accept() {
  while (server_ && server_->hasPendingConnections()) {
    QTcpSocket* socket = server_->nextPendingConnection();
    socket->setParent(nullptr);  // owned by connections_, gone by Discard
    const int id = ++last_connection_;
    connections_[id] = socket;
    QObject::connect(socket, &QTcpSocket::readyRead, &context_, [this, id, socket] {
      // Handed on from the event loop, not from inside the socket's signal:
      // the sign-in answers, closes and then waits for the token endpoint in
      // a nested loop, where this very socket may be deleted.
      QMetaObject::invokeMethod(
          &context_, [this, id, bytes = socket->readAll()] { Deliver(id, bytes); }, Qt::QueuedConnection);
    });
    QObject::connect(socket, &QTcpSocket::disconnected, &context_, [this, id] {
      if (auto it = connections_.find(id); it != connections_.end()) {
        if (it->second) Discard(it->second);
        connections_.erase(it);
      }
    });
  }
}

void QtLoopbackListener::Deliver(int connection, const QByteArray& bytes) {
  if (events_ == nullptr || connections_.count(connection) == 0) return;  // closed meanwhile
  events_->ConnectionData(connection, std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
}

void QtLoopbackListener::Respond(int connection, const std::string& response) {
  const auto it = connections_.find(connection);
  if (it == connections_.end()) return;
  QTcpSocket* socket = it->second;
  connections_.erase(it);
  if (socket == nullptr) return;
  QObject::disconnect(socket, nullptr, nullptr, nullptr);
  socket->write(response.data(), static_cast<qint64>(response.size()));
  // Closes once the page is written, then goes.
  QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
  socket->disconnectFromHost();
  if (socket->state() == QAbstractSocket::UnconnectedState) socket->deleteLater();  // the browser left first
}

void QtLoopbackListener::Close() {
  events_ = nullptr;
  for (auto& [id, socket] : connections_)
    if (socket) Discard(socket);
  connections_.clear();
  if (server_) {
    server_->close();
    server_.release()->deleteLater();  // Close may come from inside its own signal
  }
}

}  // namespace buzonix
