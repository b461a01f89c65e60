// The TLS engine of native builds: OpenSSL over memory buffers, trusting the
// system's store (which honours SSL_CERT_FILE) and checking the host name.
#pragma once

#include <memory>
#include <string>

#include "network/TlsEngine.h"

namespace buzonix {

// Null when OpenSSL cannot set up a client context.
std::unique_ptr<TlsEngine> MakeOpenSslEngine(const std::string& host);

}  // namespace buzonix
