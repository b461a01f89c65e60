#include "linux/PasswordStore.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusReply>
#include <QEventLoop>
#include <QStringList>

#include <qt6keychain/keychain.h>

#include "linux/Text.h"

namespace buzonix {
namespace {

constexpr char kService[] = "buzonix";
constexpr char kSecretService[] = "org.freedesktop.secrets";

// Runs a job to its end in a nested loop.
void RunToEnd(QKeychain::Job& job) {
  job.setAutoDelete(false);
  QEventLoop loop;
  QObject::connect(&job, &QKeychain::Job::finished, &loop, &QEventLoop::quit);
  job.start();
  loop.exec();
}

}  // namespace

bool KeyringPasswordStore::Available() {
  // qtkeychain cannot tell a missing service from other failures: ask the bus.
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected()) return false;
  QDBusConnectionInterface* names = bus.interface();
  if (names->isServiceRegistered(kSecretService)) return true;
  const QDBusReply<QStringList> activatable =
      bus.call(QDBusMessage::createMethodCall("org.freedesktop.DBus", "/org/freedesktop/DBus",
                                              "org.freedesktop.DBus", "ListActivatableNames"));
  return activatable.isValid() && activatable.value().contains(kSecretService);
}

std::optional<std::string> KeyringPasswordStore::Read() {
  QKeychain::ReadPasswordJob job(kService);
  job.setKey(item_);
  RunToEnd(job);
  if (job.error() == QKeychain::EntryNotFound) return std::string();
  if (job.error() != QKeychain::NoError) return std::nullopt;
  if (as_bytes_) return job.binaryData().toStdString();
  return FromQt(job.textData());
}

bool KeyringPasswordStore::Write(const std::string& password, std::string& error) {
  QKeychain::WritePasswordJob job(kService);
  job.setKey(item_);
  if (as_bytes_)
    job.setBinaryData(QByteArray::fromStdString(password));
  else
    job.setTextData(ToQt(password));
  RunToEnd(job);
  if (job.error() == QKeychain::NoError) return true;
  error = FromQt(job.errorString());
  return false;
}

void KeyringPasswordStore::Remove() {
  QKeychain::DeletePasswordJob job(kService);
  job.setKey(item_);
  RunToEnd(job);
}

}  // namespace buzonix
