// The Linux sign-in ports in-process: the token endpoint's client against a
// TLS server of the test's own with each test certificate, and the loopback
// redirect's listener.
#include "linux/HttpsTransport_linux.h"
#include "linux/LoopbackListener_linux.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QSslCertificate>
#include <QSslKey>
#include <QSslSocket>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <map>
#include <string>
#include <vector>

#include "signin/Json.h"

namespace buzonix {
namespace {

QString CertsDir() { return qEnvironmentVariable("BUZONIX_CERTS_DIR"); }

// Answers one HTTP request per connection with `answer` once the request's
// head and body are in; `received` holds what each connection sent, in clear.
class TokenServer final : public QTcpServer {
 public:
  // `certificate` names a pair of DIR/<name>.pem and .key; empty: plain http.
  explicit TokenServer(const QString& certificate) {
    if (!certificate.isEmpty()) {
      QFile pem(CertsDir() + "/" + certificate + ".pem");
      QFile key(CertsDir() + "/" + certificate + ".key");
      EXPECT_TRUE(pem.open(QIODevice::ReadOnly) && key.open(QIODevice::ReadOnly)) << CertsDir().toStdString();
      certificate_ = QSslCertificate(pem.readAll());
      key_ = QSslKey(key.readAll(), QSsl::Rsa);
      tls_ = true;
    }
    EXPECT_TRUE(listen(QHostAddress::LocalHost));
  }
  std::string Url(const char* path = "/token") const {
    return std::string(tls_ ? "https" : "http") + "://" + (tls_ ? "localhost" : "127.0.0.1") + ":" +
           std::to_string(serverPort()) + path;
  }

  QByteArray answer = "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nConnection: close\r\n"
                      "Content-Length: 17\r\n\r\n{\"access_token\":1}";
  std::vector<QByteArray> received;

 protected:
  void incomingConnection(qintptr descriptor) override {
    auto* socket = tls_ ? new QSslSocket(this) : new QTcpSocket(this);
    socket->setSocketDescriptor(descriptor);
    const std::size_t index = received.size();
    received.emplace_back();
    QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket, index] {
      received[index] += socket->readAll();
      if (Complete(received[index])) {
        socket->write(answer);
        socket->disconnectFromHost();
      }
    });
    if (auto* tls = qobject_cast<QSslSocket*>(socket)) {
      tls->setLocalCertificate(certificate_);
      tls->setPrivateKey(key_);
      tls->startServerEncryption();
    }
  }

 private:
  static bool Complete(const QByteArray& request) {
    const qsizetype end = request.indexOf("\r\n\r\n");
    if (end < 0) return false;
    const qsizetype length = request.toLower().indexOf("content-length: ");
    const qsizetype body = length < 0 ? 0 : request.mid(length + 16).split('\r').front().toLongLong();
    return request.size() >= end + 4 + body;
  }

  bool tls_ = false;
  QSslCertificate certificate_;
  QSslKey key_;
};

TEST(LinuxHttpsTransport, SendsTheFormOnlyToACertificateThatPassesTheProgramsOwnChecks) {
  {
    TokenServer good("valid");
    // An error answer is an answer: the core reads its OAuth error.
    good.answer = "HTTP/1.1 400 Bad Request\r\nContent-Length: 26\r\nConnection: close\r\n\r\n"
                  "{\"error\":\"invalid_grant\"}\n";
    const HttpsAnswer answer = QtHttpsTransport().PostForm(good.Url(), "grant_type=refresh_token&x=%2B");
    EXPECT_EQ(answer.outcome, HttpsAnswer::Outcome::kAnswered);
    EXPECT_EQ(answer.status, 400);
    EXPECT_EQ(answer.body, "{\"error\":\"invalid_grant\"}\n");
    ASSERT_EQ(good.received.size(), 1u);
    EXPECT_TRUE(good.received[0].startsWith("POST /token HTTP/1.1\r\n"));
    EXPECT_TRUE(good.received[0].contains("Content-Type: application/x-www-form-urlencoded\r\n"));
    EXPECT_TRUE(good.received[0].endsWith("\r\n\r\ngrant_type=refresh_token&x=%2B"));
  }
  const std::map<QString, TlsFailure> bad = {{"wrongname", TlsFailure::kNameMismatch},
                                             {"expired", TlsFailure::kExpired},
                                             {"untrusted", TlsFailure::kUntrusted},
                                             {"selfsigned", TlsFailure::kUntrusted}};
  for (const auto& [certificate, failure] : bad) {
    TokenServer server(certificate);
    const HttpsAnswer answer = QtHttpsTransport().PostForm(server.Url(), "code=secreto");
    EXPECT_EQ(answer.outcome, HttpsAnswer::Outcome::kBadCertificate) << certificate.toStdString();
    EXPECT_EQ(answer.failure, failure) << certificate.toStdString();
    for (const QByteArray& bytes : server.received)
      EXPECT_TRUE(bytes.isEmpty()) << certificate.toStdString() << " got " << bytes.size() << " octets";
  }
}

TEST(LinuxHttpsTransport, LoopbackHttpIsAllowedAndALongBodyIsCutOneOctetPastTheBound) {
  TokenServer plain("");
  const QByteArray body(static_cast<qsizetype>(kMaxJsonOctets) * 3, 'x');
  plain.answer = "HTTP/1.1 200 OK\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" + body;
  const HttpsAnswer answer = QtHttpsTransport().PostForm(plain.Url(), "a=b");
  EXPECT_EQ(answer.outcome, HttpsAnswer::Outcome::kAnswered);
  EXPECT_EQ(answer.status, 200);
  EXPECT_EQ(answer.body.size(), kMaxJsonOctets + 1);

  // Nobody listening: unreachable, at once.
  const std::string gone = plain.Url();
  plain.close();
  EXPECT_EQ(QtHttpsTransport().PostForm(gone, "a=b").outcome, HttpsAnswer::Outcome::kUnreachable);
}

class RecordingEvents final : public ListenerEvents {
 public:
  void ConnectionData(int connection, std::string_view bytes) override {
    data[connection].append(bytes);
    if (on_data) on_data(connection);
  }
  std::map<int, std::string> data;
  std::function<void(int)> on_data;
};

bool WaitUntil(const std::function<bool()>& done) {
  QElapsedTimer waited;
  waited.start();
  while (!done() && waited.elapsed() < 5000) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
  return done();
}

TEST(LinuxLoopbackListener, EachConnectionIsToldApartAndAnsweredAndCloseStopsListening) {
  QtLoopbackListener listener;
  RecordingEvents events;
  const std::uint16_t port = listener.Listen(events);
  ASSERT_NE(port, 0);
  // A browser's spare connection that sends nothing, then two requests.
  QTcpSocket spare, favicon, redirect;
  for (QTcpSocket* socket : {&spare, &favicon, &redirect}) socket->connectToHost(QHostAddress::LocalHost, port);
  ASSERT_TRUE(WaitUntil([&] { return redirect.state() == QAbstractSocket::ConnectedState; }));
  favicon.write("GET /favicon.ico HTTP/1.1\r\n\r\n");
  ASSERT_TRUE(WaitUntil([&] { return events.data.size() == 1; }));
  redirect.write("GET /?code=c&state=s HTTP/1.1\r\n");
  redirect.write("Host: 127.0.0.1\r\n\r\n");
  ASSERT_TRUE(WaitUntil([&] { return events.data.size() == 2 && events.data.rbegin()->second.size() == 50; }));
  const int favicon_id = events.data.begin()->first;
  const int redirect_id = events.data.rbegin()->first;
  EXPECT_NE(favicon_id, redirect_id);
  EXPECT_EQ(events.data[redirect_id], "GET /?code=c&state=s HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");

  listener.Respond(favicon_id, "HTTP/1.1 404 Not Found\r\n\r\n");
  listener.Respond(redirect_id, "HTTP/1.1 200 OK\r\n\r\nPuede cerrar");
  QByteArray page;
  ASSERT_TRUE(WaitUntil([&] {
    page += redirect.readAll();
    return redirect.state() == QAbstractSocket::UnconnectedState;
  }));
  EXPECT_EQ(page, "HTTP/1.1 200 OK\r\n\r\nPuede cerrar");
  ASSERT_TRUE(WaitUntil([&] { return favicon.state() == QAbstractSocket::UnconnectedState; }));

  // A finished sign-in answers from inside the connection's own data, then
  // waits for the token endpoint in a nested loop, where that connection
  // ends, and closes.
  events.on_data = [&](int connection) {
    listener.Respond(connection, "HTTP/1.1 200 OK\r\n\r\n");
    QEventLoop exchange;
    QTimer::singleShot(300, &exchange, &QEventLoop::quit);
    exchange.exec();
    listener.Close();
  };
  spare.write("GET / HTTP/1.1\r\n\r\n");
  ASSERT_TRUE(WaitUntil([&] { return spare.state() == QAbstractSocket::UnconnectedState; }));
  QCoreApplication::processEvents();
  QTcpSocket late;
  late.connectToHost(QHostAddress::LocalHost, port);
  EXPECT_FALSE(late.waitForConnected(2000));
}

}  // namespace
}  // namespace buzonix

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
