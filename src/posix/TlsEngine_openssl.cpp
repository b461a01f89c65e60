#include "posix/TlsEngine_openssl.h"

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

namespace buzonix {
namespace {

struct ContextFree {
  void operator()(SSL_CTX* context) const { SSL_CTX_free(context); }
};
struct SessionFree {
  void operator()(SSL* session) const { SSL_free(session); }
};
struct CertificateFree {
  void operator()(X509* certificate) const { X509_free(certificate); }
};
struct CertificatesFree {
  void operator()(STACK_OF(X509) * certificates) const { sk_X509_pop_free(certificates, X509_free); }
};
struct StoreContextFree {
  void operator()(X509_STORE_CTX* context) const { X509_STORE_CTX_free(context); }
};
using Context = std::unique_ptr<SSL_CTX, ContextFree>;
using Session = std::unique_ptr<SSL, SessionFree>;
using Certificate = std::unique_ptr<X509, CertificateFree>;
using Certificates = std::unique_ptr<STACK_OF(X509), CertificatesFree>;
using StoreContext = std::unique_ptr<X509_STORE_CTX, StoreContextFree>;

TlsFailure FailureOfVerifyResult(long result) {
  switch (result) {
    case X509_V_OK:
      return TlsFailure::kHandshake;
    case X509_V_ERR_HOSTNAME_MISMATCH:
    case X509_V_ERR_IP_ADDRESS_MISMATCH:
      return TlsFailure::kNameMismatch;
    case X509_V_ERR_CERT_HAS_EXPIRED:
    case X509_V_ERR_CERT_NOT_YET_VALID:
      return TlsFailure::kExpired;
    default:
      return TlsFailure::kUntrusted;
  }
}

Context MakeClientContext() {
  Context context(SSL_CTX_new(TLS_client_method()));
  if (!context) return nullptr;
  if (SSL_CTX_set_min_proto_version(context.get(), TLS1_2_VERSION) != 1 ||
      SSL_CTX_set_default_verify_paths(context.get()) != 1)
    return nullptr;
  SSL_CTX_set_verify(context.get(), SSL_VERIFY_PEER, nullptr);
  return context;
}

// One context for the whole run: reading the trust store costs more than the
// rest of a check. Each session holds a reference of its own.
SSL_CTX* ClientContext() {
  static Context shared;
  if (!shared) shared = MakeClientContext();
  return shared.get();
}

// An address literal is matched against the certificate's address entries and
// sent without SNI, which carries names only.
bool NameTheServer(SSL* session, const std::string& host) {
  X509_VERIFY_PARAM* param = SSL_get0_param(session);
  if (X509_VERIFY_PARAM_set1_ip_asc(param, host.c_str()) == 1) return true;
  return SSL_set1_host(session, host.c_str()) == 1 &&
         SSL_set_tlsext_host_name(session, host.c_str()) == 1;
}

Certificate FromDer(const std::string& der) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(der.data());
  const unsigned char* end = bytes + der.size();
  Certificate certificate(d2i_X509(nullptr, &bytes, static_cast<long>(der.size())));
  if (bytes != end) return nullptr;  // trailing bytes: not one certificate
  return certificate;
}

// The server's own certificate, and the others it sent as the untrusted
// intermediates; null when one of them is no certificate.
bool ReadChain(const std::vector<std::string>& chain, Certificate& leaf, Certificates& others) {
  if (chain.empty()) return false;
  leaf = FromDer(chain.front());
  others.reset(sk_X509_new_null());
  if (!leaf || !others) return false;
  for (std::size_t i = 1; i < chain.size(); ++i) {
    Certificate certificate = FromDer(chain[i]);
    if (!certificate || sk_X509_push(others.get(), certificate.get()) == 0) return false;
    certificate.release();  // the stack owns it
  }
  return true;
}

// A handshake's checks: its purpose and the name as NameTheServer sets them.
bool NameTheServer(X509_STORE_CTX* context, const std::string& host) {
  X509_VERIFY_PARAM* param = X509_STORE_CTX_get0_param(context);
  if (X509_STORE_CTX_set_default(context, "ssl_server") != 1) return false;
  if (X509_VERIFY_PARAM_set1_ip_asc(param, host.c_str()) == 1) return true;
  return X509_VERIFY_PARAM_set1_host(param, host.c_str(), 0) == 1;
}

class OpenSslEngine final : public TlsEngine {
 public:
  explicit OpenSslEngine(Session session) : session_(std::move(session)) {}

  void Feed(std::string_view bytes) override {
    BIO_write(SSL_get_rbio(session_.get()), bytes.data(), static_cast<int>(bytes.size()));
  }

  State Handshake() override {
    if (state_ != State::kHandshaking) return state_;
    ERR_clear_error();
    const int result = SSL_do_handshake(session_.get());
    if (result == 1) return state_ = State::kReady;
    if (SSL_get_error(session_.get(), result) == SSL_ERROR_WANT_READ) return state_;
    failure_ = FailureOfVerifyResult(SSL_get_verify_result(session_.get()));
    return state_ = State::kFailed;
  }

  bool Encrypt(std::string_view plain) override {
    if (state_ != State::kReady) return false;
    if (plain.empty()) return true;
    ERR_clear_error();
    return SSL_write(session_.get(), plain.data(), static_cast<int>(plain.size())) > 0;
  }

  State Decrypt(std::string& plain) override {
    if (state_ != State::kReady) return state_;
    char buffer[4096];
    for (;;) {
      ERR_clear_error();
      const int n = SSL_read(session_.get(), buffer, sizeof buffer);
      if (n > 0) {
        plain.append(buffer, static_cast<std::size_t>(n));
        continue;
      }
      switch (SSL_get_error(session_.get(), n)) {
        case SSL_ERROR_WANT_READ:
          return state_;
        case SSL_ERROR_ZERO_RETURN:
          return state_ = State::kClosed;
        default:
          failure_ = TlsFailure::kHandshake;
          return state_ = State::kFailed;
      }
    }
  }

  void Shutdown() override {
    if (state_ == State::kReady) SSL_shutdown(session_.get());
  }

  std::string TakeOutput() override {
    BIO* out = SSL_get_wbio(session_.get());
    std::string bytes(static_cast<std::size_t>(BIO_ctrl_pending(out)), '\0');
    if (!bytes.empty()) BIO_read(out, bytes.data(), static_cast<int>(bytes.size()));
    return bytes;
  }

  TlsFailure Failure() const override { return failure_; }

 private:
  Session session_;
  State state_ = State::kHandshaking;
  TlsFailure failure_ = TlsFailure::kNone;
};

}  // namespace

TlsFailure VerifyServerChain(const std::vector<std::string>& chain, const std::string& host) {
  SSL_CTX* context = ClientContext();
  if (context == nullptr) return TlsFailure::kUnavailable;
  Certificate leaf;
  Certificates others;
  if (!ReadChain(chain, leaf, others)) return TlsFailure::kHandshake;
  StoreContext check(X509_STORE_CTX_new());
  if (!check || X509_STORE_CTX_init(check.get(), SSL_CTX_get_cert_store(context), leaf.get(), others.get()) != 1 ||
      !NameTheServer(check.get(), host))
    return TlsFailure::kUnavailable;
  ERR_clear_error();
  if (X509_verify_cert(check.get()) == 1) return TlsFailure::kNone;
  return FailureOfVerifyResult(X509_STORE_CTX_get_error(check.get()));
}

std::unique_ptr<TlsEngine> MakeOpenSslEngine(const std::string& host) {
  SSL_CTX* context = ClientContext();
  if (context == nullptr) return nullptr;
  Session session(SSL_new(context));
  if (!session) return nullptr;
  BIO* in = BIO_new(BIO_s_mem());
  BIO* out = BIO_new(BIO_s_mem());
  if (in == nullptr || out == nullptr) {
    BIO_free(in);
    BIO_free(out);
    return nullptr;
  }
  SSL_set_bio(session.get(), in, out);  // the session owns both from here
  // A fed buffer that runs dry means "wait for more", not end of stream.
  BIO_set_mem_eof_return(in, -1);
  SSL_set_connect_state(session.get());
  if (!NameTheServer(session.get(), host)) return nullptr;
  return std::make_unique<OpenSslEngine>(std::move(session));
}

}  // namespace buzonix
