// The Linux side of one program per user session: a lock file held by the
// running copy (a crashed one's is taken over, its process being gone) and a
// local socket, both in the user's runtime folder, on which the running copy
// takes a request a line: "configuracion" opens the dialog, "salir" ends the
// program as "Salir" does.
#pragma once

#include <QLocalServer>
#include <QLockFile>
#include <QString>

#include <functional>

#include "controller/Instance.h"

namespace buzonix {

class LinuxInstanceChannel final : public InstanceChannel {
 public:
  LinuxInstanceChannel();

  bool AskRunningToOpenConfig() override;
  bool Claim() override;
  void Pause(unsigned milliseconds) override;

  // Where the running copy listens.
  const QString& ServerName() const { return server_name_; }

 private:
  QString server_name_;
  QLockFile lock_;
};

class InstanceServer final : public QObject {
 public:
  struct Requests {
    std::function<void()> openConfig, end;
  };
  InstanceServer(const QString& name, Requests requests);
  // Listens, after taking away a socket that a crashed copy left; false when
  // the socket cannot be made (the program then runs without it).
  bool Listen();

 private:
  void Answer(class QLocalSocket* client);

  QString name_;
  Requests requests_;
  QLocalServer server_;
};

}  // namespace buzonix
