#include "win/TlsEngine_schannel.h"

#include <windows.h>
#define SECURITY_WIN32
#include <schannel.h>
#include <security.h>
#include <wincrypt.h>

#include <utility>

#include "win/SystemLibrary_win.h"

namespace buzonix {
namespace {

// Schannel's interface and the certificate functions, loaded on the first
// secure connection rather than at start (a plain check never needs them),
// and kept for the rest of the run: Wine reads the host's trust store once per
// load.
struct SchannelApi {
  SystemLibrary secur32{L"secur32.dll"};
  SystemLibrary crypt32{L"crypt32.dll"};
  const SecurityFunctionTableA* sspi = nullptr;
  decltype(&CertFreeCertificateContext) FreeCertificate = nullptr;
  decltype(&CertFreeCertificateChain) FreeChain = nullptr;
  decltype(&CertGetCertificateChain) GetChain = nullptr;
  decltype(&CertVerifyCertificateChainPolicy) VerifyChainPolicy = nullptr;

  SchannelApi() {
    if (auto init = secur32.Bind<decltype(&InitSecurityInterfaceA)>("InitSecurityInterfaceA")) sspi = init();
    FreeCertificate = crypt32.Bind<decltype(FreeCertificate)>("CertFreeCertificateContext");
    FreeChain = crypt32.Bind<decltype(FreeChain)>("CertFreeCertificateChain");
    GetChain = crypt32.Bind<decltype(GetChain)>("CertGetCertificateChain");
    VerifyChainPolicy = crypt32.Bind<decltype(VerifyChainPolicy)>("CertVerifyCertificateChainPolicy");
  }
  bool Complete() const {
    return sspi != nullptr && sspi->AcquireCredentialsHandleA != nullptr && FreeCertificate != nullptr &&
           FreeChain != nullptr && GetChain != nullptr && VerifyChainPolicy != nullptr;
  }
};

// Null where the system lacks a part of it: no secure connection then.
const SchannelApi* Api() {
  static const SchannelApi api;
  return api.Complete() ? &api : nullptr;
}

// The functions an engine calls, once Api() has been had.
const SecurityFunctionTableA& Sspi() { return *Api()->sspi; }

constexpr DWORD kContextFlags = ISC_REQ_SEQUENCE_DETECT | ISC_REQ_REPLAY_DETECT |
                                ISC_REQ_CONFIDENTIALITY | ISC_REQ_ALLOCATE_MEMORY |
                                ISC_REQ_STREAM | ISC_REQ_EXTENDED_ERROR |
                                ISC_REQ_MANUAL_CRED_VALIDATION;

struct Credentials {
  CredHandle handle{};
  bool valid = false;
  Credentials() = default;
  Credentials(const Credentials&) = delete;
  Credentials& operator=(const Credentials&) = delete;
  ~Credentials() {
    if (valid) Sspi().FreeCredentialsHandle(&handle);
  }
};

struct CertificateFree {
  void operator()(const CERT_CONTEXT* certificate) const { Api()->FreeCertificate(certificate); }
};
struct ChainFree {
  void operator()(const CERT_CHAIN_CONTEXT* chain) const { Api()->FreeChain(chain); }
};
using Certificate = std::unique_ptr<const CERT_CONTEXT, CertificateFree>;
using Chain = std::unique_ptr<const CERT_CHAIN_CONTEXT, ChainFree>;

// Where the system has it, TLS 1.3 too; TLS 1.2 at least.
bool AcquireClientCredentials(Credentials& credentials) {
  for (DWORD protocols : {DWORD{SP_PROT_TLS1_2_CLIENT | SP_PROT_TLS1_3_CLIENT},
                          DWORD{SP_PROT_TLS1_2_CLIENT}}) {
    SCHANNEL_CRED request{};
    request.dwVersion = SCHANNEL_CRED_VERSION;
    request.grbitEnabledProtocols = protocols;
    // The certificate is checked below, not by Schannel; no revocation
    // look-ups, which would stall on a network that holds them.
    request.dwFlags = SCH_CRED_MANUAL_CRED_VALIDATION | SCH_CRED_NO_DEFAULT_CREDS;
    TimeStamp expiry;
    if (Sspi().AcquireCredentialsHandleA(nullptr, const_cast<char*>(UNISP_NAME_A), SECPKG_CRED_OUTBOUND, nullptr,
                                  &request, nullptr, nullptr, &credentials.handle, &expiry) == SEC_E_OK) {
      credentials.valid = true;
      return true;
    }
  }
  return false;
}

std::wstring Wide(const std::string& text) {
  const int n = MultiByteToWideChar(1252, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(1252, 0, text.data(), static_cast<int>(text.size()), wide.data(), n);
  return wide;
}

TlsFailure FailureOfChainStatus(DWORD status) {
  if (status == CERT_TRUST_NO_ERROR) return TlsFailure::kNone;
  constexpr DWORD kUntrusted = CERT_TRUST_IS_UNTRUSTED_ROOT | CERT_TRUST_IS_PARTIAL_CHAIN |
                               CERT_TRUST_IS_NOT_SIGNATURE_VALID | CERT_TRUST_IS_CYCLIC;
  if (status & kUntrusted) return TlsFailure::kUntrusted;
  if (status & CERT_TRUST_IS_NOT_TIME_VALID) return TlsFailure::kExpired;
  return TlsFailure::kUntrusted;
}

TlsFailure FailureOfPolicyError(DWORD error) {
  switch (error) {
    case 0: return TlsFailure::kNone;
    case static_cast<DWORD>(CERT_E_CN_NO_MATCH): return TlsFailure::kNameMismatch;
    case static_cast<DWORD>(CERT_E_EXPIRED): return TlsFailure::kExpired;
    default: return TlsFailure::kUntrusted;
  }
}

TlsFailure FailureOfStatus(SECURITY_STATUS status) {
  switch (status) {
    case SEC_E_UNTRUSTED_ROOT: return TlsFailure::kUntrusted;
    case SEC_E_WRONG_PRINCIPAL: return TlsFailure::kNameMismatch;
    case SEC_E_CERT_EXPIRED: return TlsFailure::kExpired;
    default: return TlsFailure::kHandshake;
  }
}

class SchannelEngine final : public TlsEngine {
 public:
  explicit SchannelEngine(std::string host) : host_(std::move(host)) {}
  ~SchannelEngine() override {
    if (have_context_) Sspi().DeleteSecurityContext(&context_);
  }

  bool Start() { return AcquireClientCredentials(credentials_) && Step(); }

  void Feed(std::string_view bytes) override { in_.append(bytes); }

  State Handshake() override {
    while (state_ == State::kHandshaking && !in_.empty()) {
      const std::size_t before = in_.size();
      if (!Step()) break;
      if (in_.size() == before) break;  // a partial message: wait for more
    }
    return state_;
  }

  bool Encrypt(std::string_view plain) override {
    if (state_ != State::kReady) return false;
    while (!plain.empty()) {
      const std::size_t n = std::min<std::size_t>(plain.size(), sizes_.cbMaximumMessage);
      std::string record(sizes_.cbHeader + n + sizes_.cbTrailer, '\0');
      record.replace(sizes_.cbHeader, n, plain.substr(0, n));
      SecBuffer buffers[4] = {
          {sizes_.cbHeader, SECBUFFER_STREAM_HEADER, record.data()},
          {static_cast<unsigned long>(n), SECBUFFER_DATA, record.data() + sizes_.cbHeader},
          {sizes_.cbTrailer, SECBUFFER_STREAM_TRAILER, record.data() + sizes_.cbHeader + n},
          {0, SECBUFFER_EMPTY, nullptr},
      };
      SecBufferDesc description{SECBUFFER_VERSION, 4, buffers};
      if (Sspi().EncryptMessage(&context_, 0, &description, 0) != SEC_E_OK) return false;
      out_.append(record.data(), buffers[0].cbBuffer + buffers[1].cbBuffer + buffers[2].cbBuffer);
      plain.remove_prefix(n);
    }
    return true;
  }

  State Decrypt(std::string& plain) override {
    while (state_ == State::kReady && !in_.empty()) {
      std::string work = in_;  // decrypted in place
      SecBuffer buffers[4] = {
          {static_cast<unsigned long>(work.size()), SECBUFFER_DATA, work.data()},
          {0, SECBUFFER_EMPTY, nullptr},
          {0, SECBUFFER_EMPTY, nullptr},
          {0, SECBUFFER_EMPTY, nullptr},
      };
      SecBufferDesc description{SECBUFFER_VERSION, 4, buffers};
      const SECURITY_STATUS status = Sspi().DecryptMessage(&context_, &description, 0, nullptr);
      if (status == SEC_E_INCOMPLETE_MESSAGE) break;
      if (status != SEC_E_OK && status != SEC_I_RENEGOTIATE && status != SEC_I_CONTEXT_EXPIRED) {
        failure_ = TlsFailure::kHandshake;
        state_ = State::kFailed;
        break;
      }
      std::string extra;
      for (const SecBuffer& buffer : buffers) {
        if (buffer.BufferType == SECBUFFER_DATA)
          plain.append(static_cast<const char*>(buffer.pvBuffer), buffer.cbBuffer);
        if (buffer.BufferType == SECBUFFER_EXTRA)
          extra.assign(static_cast<const char*>(buffer.pvBuffer), buffer.cbBuffer);
      }
      in_ = std::move(extra);
      if (status == SEC_I_CONTEXT_EXPIRED) {
        state_ = State::kClosed;  // the server's close_notify
      } else if (status == SEC_I_RENEGOTIATE) {
        // Handshake messages after the handshake (TLS 1.3 session tickets).
        state_ = State::kHandshaking;
        Step();
        if (state_ == State::kHandshaking) state_ = State::kReady;
      }
    }
    return state_;
  }

  void Shutdown() override {
    if (state_ != State::kReady) return;
    DWORD token = SCHANNEL_SHUTDOWN;
    SecBuffer control{sizeof token, SECBUFFER_TOKEN, &token};
    SecBufferDesc control_description{SECBUFFER_VERSION, 1, &control};
    if (Sspi().ApplyControlToken(&context_, &control_description) != SEC_E_OK) return;
    SecBuffer output{0, SECBUFFER_TOKEN, nullptr};
    SecBufferDesc output_description{SECBUFFER_VERSION, 1, &output};
    unsigned long attributes = 0;
    Sspi().InitializeSecurityContextA(&credentials_.handle, &context_, nullptr, kContextFlags, 0, 0, nullptr, 0,
                               nullptr, &output_description, &attributes, nullptr);
    TakeToken(output);
    state_ = State::kClosed;
  }

  std::string TakeOutput() override { return std::exchange(out_, {}); }
  TlsFailure Failure() const override { return failure_; }

 private:
  void TakeToken(SecBuffer& token) {
    if (token.pvBuffer == nullptr) return;
    out_.append(static_cast<const char*>(token.pvBuffer), token.cbBuffer);
    Sspi().FreeContextBuffer(token.pvBuffer);
    token.pvBuffer = nullptr;
  }

  void Fail(TlsFailure failure) {
    failure_ = failure;
    state_ = State::kFailed;
  }

  // One call of the handshake with what has arrived; false when it ended in
  // failure.
  bool Step() {
    SecBuffer input[2] = {
        {static_cast<unsigned long>(in_.size()), SECBUFFER_TOKEN, in_.data()},
        {0, SECBUFFER_EMPTY, nullptr},
    };
    SecBufferDesc input_description{SECBUFFER_VERSION, 2, input};
    SecBuffer output[2] = {{0, SECBUFFER_TOKEN, nullptr}, {0, SECBUFFER_ALERT, nullptr}};
    SecBufferDesc output_description{SECBUFFER_VERSION, 2, output};
    unsigned long attributes = 0;
    std::string name = host_;
    const SECURITY_STATUS status = Sspi().InitializeSecurityContextA(
        &credentials_.handle, have_context_ ? &context_ : nullptr, name.data(), kContextFlags, 0, 0,
        have_context_ ? &input_description : nullptr, 0, &context_, &output_description, &attributes,
        nullptr);
    if (status == SEC_E_INCOMPLETE_MESSAGE) return true;
    have_context_ = true;
    TakeToken(output[0]);
    if (output[1].pvBuffer != nullptr) Sspi().FreeContextBuffer(output[1].pvBuffer);
    if (status != SEC_E_OK && status != SEC_I_CONTINUE_NEEDED && status != SEC_I_INCOMPLETE_CREDENTIALS) {
      Fail(FailureOfStatus(status));
      return false;
    }
    if (input[1].BufferType == SECBUFFER_EXTRA)
      in_.erase(0, in_.size() - input[1].cbBuffer);
    else if (status != SEC_I_INCOMPLETE_CREDENTIALS)
      in_.clear();
    if (status == SEC_E_OK && state_ == State::kHandshaking) return Established();
    return true;
  }

  bool Established() {
    const CERT_CONTEXT* raw = nullptr;
    if (Sspi().QueryContextAttributesA(&context_, SECPKG_ATTR_REMOTE_CERT_CONTEXT, &raw) != SEC_E_OK ||
        raw == nullptr) {
      Fail(TlsFailure::kUntrusted);
      return false;
    }
    const Certificate certificate(raw);
    if (const TlsFailure failure = VerifyServerCertificate(certificate.get(), host_);
        failure != TlsFailure::kNone) {
      Fail(failure);
      return false;
    }
    if (Sspi().QueryContextAttributesA(&context_, SECPKG_ATTR_STREAM_SIZES, &sizes_) != SEC_E_OK) {
      Fail(TlsFailure::kHandshake);
      return false;
    }
    state_ = State::kReady;
    return true;
  }

  std::string host_;
  Credentials credentials_;
  CtxtHandle context_{};
  bool have_context_ = false;
  SecPkgContext_StreamSizes sizes_{};
  std::string in_;
  std::string out_;
  State state_ = State::kHandshaking;
  TlsFailure failure_ = TlsFailure::kNone;
};

}  // namespace

// The chain's own trust status first: the SSL policy alone lets an unknown
// issuer through on some systems. Then the policy, for the host's name.
TlsFailure VerifyServerCertificate(const CERT_CONTEXT* certificate, const std::string& host) {
  if (Api() == nullptr || certificate == nullptr) return TlsFailure::kUntrusted;
  char server_auth[] = szOID_PKIX_KP_SERVER_AUTH;
  char* usages[] = {server_auth};
  CERT_CHAIN_PARA chain_para{};
  chain_para.cbSize = sizeof chain_para;
  chain_para.RequestedUsage.dwType = USAGE_MATCH_TYPE_OR;
  chain_para.RequestedUsage.Usage.cUsageIdentifier = 1;
  chain_para.RequestedUsage.Usage.rgpszUsageIdentifier = usages;
  const CERT_CHAIN_CONTEXT* raw_chain = nullptr;
  if (!Api()->GetChain(nullptr, certificate, nullptr, certificate->hCertStore, &chain_para, 0,
                               nullptr, &raw_chain))
    return TlsFailure::kUntrusted;
  const Chain chain(raw_chain);
  if (const TlsFailure failure = FailureOfChainStatus(chain->TrustStatus.dwErrorStatus);
      failure != TlsFailure::kNone)
    return failure;

  std::wstring name = Wide(host);
  SSL_EXTRA_CERT_CHAIN_POLICY_PARA ssl_para{};
  ssl_para.cbSize = sizeof ssl_para;
  ssl_para.dwAuthType = AUTHTYPE_SERVER;
  ssl_para.pwszServerName = name.data();
  CERT_CHAIN_POLICY_PARA policy_para{};
  policy_para.cbSize = sizeof policy_para;
  policy_para.pvExtraPolicyPara = &ssl_para;
  CERT_CHAIN_POLICY_STATUS policy_status{};
  policy_status.cbSize = sizeof policy_status;
  if (!Api()->VerifyChainPolicy(CERT_CHAIN_POLICY_SSL, chain.get(), &policy_para, &policy_status))
    return TlsFailure::kUntrusted;
  return FailureOfPolicyError(policy_status.dwError);
}

bool ServerCertificateChecksAvailable() { return Api() != nullptr; }

void FreeServerCertificate(const CERT_CONTEXT* certificate) {
  if (certificate != nullptr && Api() != nullptr) Api()->FreeCertificate(certificate);
}

std::unique_ptr<TlsEngine> MakeSchannelEngine(const std::string& host) {
  if (Api() == nullptr) return nullptr;
  auto engine = std::make_unique<SchannelEngine>(host);
  if (!engine->Start()) return nullptr;
  return engine;
}

}  // namespace buzonix
