// The TLS engine of native builds: OpenSSL over memory buffers, trusting the
// system's store (which honours SSL_CERT_FILE) and checking the host name.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "network/TlsEngine.h"

namespace buzonix {

// Null when OpenSSL cannot set up a client context.
std::unique_ptr<TlsEngine> MakeOpenSslEngine(const std::string& host);

// The checks a handshake of MakeOpenSslEngine makes, for a chain another TLS
// client received (the server's certificate first, each as DER): the same
// trust store, validity today, `host` as a name or address literal.
// kNone when the chain passes.
TlsFailure VerifyServerChain(const std::vector<std::string>& chain, const std::string& host);

}  // namespace buzonix
