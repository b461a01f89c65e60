#include "linux/Instance_linux.h"

#include <QDir>
#include <QLocalSocket>
#include <QThread>
#include <QTimer>

#include <unistd.h>

namespace buzonix {
namespace {

constexpr int kAnswerTimeoutMs = 2000;
constexpr char kOpenConfig[] = "configuracion";
constexpr char kEnd[] = "salir";
constexpr char kTaken[] = "ok";

// The runtime folder is the user's own and goes at log-out; without one, a
// name with the user's id in the temporary folder.
QString ChannelPath() {
  const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
  if (!runtime.isEmpty() && QDir(runtime).exists()) return runtime + "/buzonix-instancia";
  return QDir::tempPath() + "/buzonix-instancia-" + QString::number(getuid());
}

}  // namespace

LinuxInstanceChannel::LinuxInstanceChannel() : server_name_(ChannelPath()), lock_(server_name_ + ".lock") {
  // Only a holder that is gone makes the lock stale, never its age: the
  // running copy holds it for days.
  lock_.setStaleLockTime(0);
}

bool LinuxInstanceChannel::AskRunningToOpenConfig() {
  QLocalSocket running;
  running.connectToServer(server_name_);
  if (!running.waitForConnected(kAnswerTimeoutMs)) return false;
  running.write(QByteArray(kOpenConfig) + "\n");
  if (!running.waitForBytesWritten(kAnswerTimeoutMs)) return false;
  while (!running.canReadLine()) {
    if (!running.waitForReadyRead(kAnswerTimeoutMs)) return false;
  }
  return running.readLine().trimmed() == kTaken;
}

bool LinuxInstanceChannel::Claim() {
  if (lock_.isLocked() || lock_.tryLock(0)) return true;
  // A lock that cannot be made at all (a read-only folder) refuses nobody.
  return lock_.error() != QLockFile::LockFailedError;
}

void LinuxInstanceChannel::Pause(unsigned milliseconds) { QThread::msleep(milliseconds); }

InstanceServer::InstanceServer(const QString& name, Requests requests)
    : name_(name), requests_(std::move(requests)) {
  server_.setSocketOptions(QLocalServer::UserAccessOption);
  QObject::connect(&server_, &QLocalServer::newConnection, this, [this] {
    while (QLocalSocket* client = server_.nextPendingConnection()) {
      QObject::connect(client, &QLocalSocket::disconnected, client, &QObject::deleteLater);
      QObject::connect(client, &QLocalSocket::readyRead, this, [this, client] { Answer(client); });
      if (client->canReadLine()) Answer(client);
    }
  });
}

bool InstanceServer::Listen() {
  QLocalServer::removeServer(name_);  // this start holds the lock: the socket is a crashed copy's
  return server_.listen(name_);
}

// The answer goes first, the request is carried out from the event loop: a
// dialog or an end never keeps the asking start waiting.
void InstanceServer::Answer(QLocalSocket* client) {
  if (!client->canReadLine()) return;
  const QByteArray request = client->readLine().trimmed();
  std::function<void()> action;
  if (request == kOpenConfig) action = requests_.openConfig;
  if (request == kEnd) action = requests_.end;
  client->write(action ? QByteArray(kTaken) + "\n" : QByteArray("?\n"));
  client->flush();
  client->disconnectFromServer();
  if (action) QTimer::singleShot(0, this, action);
}

}  // namespace buzonix
