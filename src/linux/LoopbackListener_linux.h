// The loopback redirect's listener: a QTcpServer on 127.0.0.1, opened only
// while a sign-in waits for the browser.
#pragma once

#include <QByteArray>
#include <QObject>
#include <QPointer>

#include <map>
#include <memory>

#include "signin/Ports.h"

class QTcpServer;
class QTcpSocket;

namespace buzonix {

class QtLoopbackListener final : public LoopbackListener {
 public:
  QtLoopbackListener();
  ~QtLoopbackListener();
  QtLoopbackListener(const QtLoopbackListener&) = delete;
  QtLoopbackListener& operator=(const QtLoopbackListener&) = delete;

  std::uint16_t Listen(ListenerEvents& events) override;
  void Respond(int connection, const std::string& response) override;
  void Close() override;

 private:
  void Accept();
  void Deliver(int connection, const QByteArray& bytes);

  std::unique_ptr<QTcpServer> server_;
  ListenerEvents* events_ = nullptr;
  std::map<int, QPointer<QTcpSocket>> connections_;
  int last_connection_ = 0;
  QObject context_;  // the receiver of the sockets' signals and of the data handed on
};

}  // namespace buzonix
