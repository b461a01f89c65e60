#include "linux/HttpsTransport_linux.h"

#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QTimer>
#include <QUrl>

#include <memory>
#include <vector>

#include "posix/TlsEngine_openssl.h"
#include "signin/Json.h"
#include "signin/Provider.h"

namespace buzonix {
namespace {

constexpr int kTimeOutMs = 30 * 1000;
constexpr qint64 kBodyKept = static_cast<qint64>(kHttpsBodyKept);

std::vector<std::string> DerChain(const QList<QSslCertificate>& chain) {
  std::vector<std::string> der;
  for (const QSslCertificate& certificate : chain) der.push_back(certificate.toDer().toStdString());
  return der;
}

QNetworkRequest FormRequest(const QUrl& url) {
  QNetworkRequest request(url);
  request.setHeader(QNetworkRequest::ContentTypeHeader, "application/x-www-form-urlencoded");
  request.setRawHeader("Accept", "application/json");
  // A redirect would carry the form elsewhere.
  request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
  request.setAttribute(QNetworkRequest::Http2AllowedAttribute, false);
  request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
  QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
  tls.setPeerVerifyMode(QSslSocket::VerifyNone);  // the program's own checks follow
  request.setSslConfiguration(tls);
  return request;
}

// One request to its end: the answer, the certificate's verdict, the clock.
class Exchange {
 public:
  Exchange(QNetworkAccessManager& network, const UrlParts& parts, const QUrl& url, const std::string& form)
      : host_(parts.host) {
    reply_.reset(network.post(FormRequest(url), QByteArray::fromStdString(form)));
    QObject::connect(reply_.get(), &QNetworkReply::encrypted, [this] { CheckCertificate(); });
    QObject::connect(reply_.get(), &QNetworkReply::readyRead, [this] { KeepBody(); });
    QObject::connect(reply_.get(), &QNetworkReply::finished, &loop_, &QEventLoop::quit);
    clock_.setSingleShot(true);
    QObject::connect(&clock_, &QTimer::timeout, [this] {
      timed_out_ = true;
      reply_->abort();
    });
  }

  HttpsAnswer Run() {
    clock_.start(kTimeOutMs);
    if (!reply_->isFinished()) loop_.exec();
    clock_.stop();
    KeepBody();
    HttpsAnswer answer;
    if (failure_ != TlsFailure::kNone) {
      answer.outcome = HttpsAnswer::Outcome::kBadCertificate;
      answer.failure = failure_;
      return answer;
    }
    const QVariant status = reply_->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (timed_out_ || !status.isValid()) return answer;  // kUnreachable
    const bool whole = reply_->error() == QNetworkReply::NoError || status.toInt() >= 400 || overflow_;
    if (!whole) return answer;
    answer.outcome = HttpsAnswer::Outcome::kAnswered;
    answer.status = status.toInt();
    answer.body = body_.toStdString();
    return answer;
  }

 private:
  // Emitted after the handshake, before any byte of the request goes out.
  void CheckCertificate() {
    failure_ = VerifyServerChain(DerChain(reply_->sslConfiguration().peerCertificateChain()), host_);
    if (failure_ != TlsFailure::kNone) reply_->abort();
  }

  // An answer longer than a token answer can be is garbage: kept to one
  // octet past the bound, the rest not awaited.
  void KeepBody() {
    if (overflow_) return;
    body_ += reply_->read(kBodyKept - body_.size());
    if (body_.size() < kBodyKept) return;
    overflow_ = true;
    reply_->abort();
  }

  std::string host_;
  std::unique_ptr<QNetworkReply> reply_;  // before the manager, which owns it too, goes
  QEventLoop loop_;
  QTimer clock_;
  QByteArray body_;
  TlsFailure failure_ = TlsFailure::kNone;
  bool timed_out_ = false;
  bool overflow_ = false;
};

}  // namespace

HttpsAnswer QtHttpsTransport::PostForm(const std::string& url, const std::string& form) {
  const std::optional<UrlParts> parts = SplitUrl(url);
  const QUrl address = QUrl::fromEncoded(QByteArray::fromStdString(url), QUrl::StrictMode);
  if (!parts || !EndpointAllowed(url) || !address.isValid()) return HttpsAnswer{};
  // A manager of its own for each request: no connection, session or cookie
  // of an earlier one is reused unchecked.
  QNetworkAccessManager network;
  Exchange exchange(network, *parts, address, form);
  return exchange.Run();
}

}  // namespace buzonix
