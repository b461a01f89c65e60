// The socket component's notification mode over Qt's event loop, as the
// Linux program runs it: what a wait for pushed mail will stand on.
#include "linux/QtEventLoop.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>

#include <string>
#include <vector>

#include "network/Sockets.h"
#include "posix/SocketPlatform_posix.h"

namespace buzonix {
namespace {

TEST(QtEventLoop, TheNotificationModeRaisesConnectReadAndCloseEvents) {
  QTcpServer peer;
  ASSERT_TRUE(peer.listen(QHostAddress::LocalHost));
  QObject::connect(&peer, &QTcpServer::newConnection, [&peer] {
    QTcpSocket* client = peer.nextPendingConnection();
    client->write("+OK hola\r\n");
    client->flush();
    client->disconnectFromHost();
  });

  QtEventLoop loop;
  PosixSocketPlatform platform(loop);
  TSockets sockets(platform);
  sockets.IPAddr = "127.0.0.1";
  sockets.Port = std::to_string(peer.serverPort());
  sockets.SetNonBlocking(true);
  std::vector<std::string> events;
  sockets.OnSessionConnected = [&](TSockets&, SocketHandle) { events.push_back("connected"); };
  sockets.OnDataAvailable = [&](TSockets& s, SocketHandle) { events.push_back("read:" + s.GetText()); };
  sockets.OnSessionClosed = [&](TSockets&, SocketHandle) { events.push_back("closed"); };
  sockets.OnErrorOccurred = [&](TSockets&, SocketHandle, int error, const std::string&) {
    events.push_back("error " + std::to_string(error));
  };
  EXPECT_FALSE(sockets.SConnect());

  QElapsedTimer waited;
  waited.start();
  while (events.size() < 3 && waited.elapsed() < 5000) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
  EXPECT_EQ(events, (std::vector<std::string>{"connected", "read:+OK hola\r\n", "closed"}));
  sockets.Disconnect();
}

}  // namespace
}  // namespace buzonix
