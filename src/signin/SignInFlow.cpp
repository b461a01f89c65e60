#include "signin/SignInFlow.h"

#include "network/TlsChannel.h"
#include "text/Texts.h"

namespace buzonix {
namespace {

SignInResult ResultOf(SignInResult::Kind kind) {
  SignInResult result;
  result.kind = kind;
  return result;
}

}  // namespace

std::string SignInMessage(const SignInResult& result) {
  using Kind = SignInResult::Kind;
  switch (result.kind) {
    case Kind::kTimedOut: return kInicioSinRespuesta;
    case Kind::kDenied: return kInicioDenegado;
    case Kind::kNoTokens: return kInicioSinCredenciales;
    case Kind::kUnreachable: return kInicioSinConexion;
    case Kind::kBadCertificate: return TlsFailureText(result.failure, result.server);
    case Kind::kCannotStart: return kInicioNoArranca;
    default: return {};
  }
}

void SignInFlow::Start(const ProviderEndpoints& endpoints, const std::string& login_hint, Done done) {
  Cancel();
  ++generation_;
  done_ = std::move(done);
  endpoints_ = endpoints;
  pkce_ = MakePkce(ports_.random);
  state_ = MakeState(ports_.random);
  if (pkce_.verifier.empty() || state_.empty() || !EndpointAllowed(endpoints.authorization_url)) {
    Finish(ResultOf(SignInResult::Kind::kCannotStart));
    return;
  }
  const std::uint16_t port = ports_.listener.Listen(*this);
  if (port == 0) {
    Finish(ResultOf(SignInResult::Kind::kCannotStart));
    return;
  }
  redirect_uri_ = LoopbackRedirectUri(port);
  ports_.timer.Start(kSignInWaitMs);
  const unsigned generation = generation_;
  if (!ports_.browser.Open(
          AuthorizationUrl(endpoints_, redirect_uri_, state_, pkce_.challenge, login_hint)) &&
      generation == generation_ && Waiting())
    Finish(ResultOf(SignInResult::Kind::kCannotStart));
}

void SignInFlow::Cancel() {
  if (!Waiting()) return;
  done_ = nullptr;
  ports_.timer.Stop();
  ports_.listener.Close();
  heads_.clear();
}

void SignInFlow::TimerFired() {
  if (Waiting()) Finish(ResultOf(SignInResult::Kind::kTimedOut));
}

void SignInFlow::ConnectionData(int connection, std::string_view bytes) {
  if (!Waiting()) return;
  std::string& head = heads_[connection];
  if (head.size() <= kMaxRedirectHeadOctets) head.append(bytes.substr(0, kMaxRedirectHeadOctets + 1 - head.size()));
  const RedirectRequest request = ReadRedirect(head, state_);
  using Kind = RedirectRequest::Kind;
  if (request.kind == Kind::kIncomplete) return;
  heads_.erase(connection);
  ports_.listener.Respond(connection, RedirectResponse(request.kind));
  if (request.kind == Kind::kCode) Exchange(request.code);
  else if (request.kind == Kind::kDenied) Finish(ResultOf(SignInResult::Kind::kDenied));
  // Anything else (a favicon, a stale tab's redirect) leaves the wait as it was.
}

void SignInFlow::Exchange(const std::string& code) {
  ports_.timer.Stop();
  ports_.listener.Close();
  heads_.clear();
  using Kind = SignInResult::Kind;
  if (!EndpointAllowed(endpoints_.token_url)) {
    Finish(ResultOf(Kind::kUnreachable));
    return;
  }
  const unsigned generation = generation_;
  const HttpsAnswer answer = ports_.transport.PostForm(
      endpoints_.token_url, CodeExchangeBody(endpoints_, code, redirect_uri_, pkce_.verifier));
  // The wait for the answer may have seen the sign-in cancelled or replaced.
  if (generation != generation_ || !Waiting()) return;

  SignInResult result;
  if (answer.outcome == HttpsAnswer::Outcome::kBadCertificate) {
    result.kind = Kind::kBadCertificate;
    result.failure = answer.failure;
    if (const auto parts = SplitUrl(endpoints_.token_url)) result.server = parts->host;
  } else if (answer.outcome != HttpsAnswer::Outcome::kAnswered) {
    result.kind = Kind::kUnreachable;
  } else {
    const TokenAnswer tokens = ReadTokenAnswer(answer.status, answer.body);
    // Without a refresh token no later check could sign in.
    if (tokens.kind != TokenAnswer::Kind::kTokens || tokens.refresh_token.empty()) {
      result.kind = Kind::kNoTokens;
    } else {
      result.kind = Kind::kSignedIn;
      result.account = AccountOfIdToken(tokens.id_token);
      result.refresh_token = tokens.refresh_token;
      result.access_token = tokens.access_token;
      result.expires_in = tokens.expires_in;
    }
  }
  Finish(std::move(result));
}

void SignInFlow::Finish(SignInResult result) {
  Done done = std::move(done_);
  done_ = nullptr;
  ports_.timer.Stop();
  ports_.listener.Close();
  heads_.clear();
  if (done) done(result);
}

}  // namespace buzonix
