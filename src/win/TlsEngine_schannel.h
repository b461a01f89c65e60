// The TLS engine of the Windows program: Schannel through SSPI, with the
// server's certificate checked by the program itself (chain to a trusted
// root, validity, the host's name), never left to Schannel alone.
#pragma once

#include <memory>
#include <string>

#include "network/TlsEngine.h"

namespace buzonix {

// Null when Schannel cannot give client credentials.
std::unique_ptr<TlsEngine> MakeSchannelEngine(const std::string& host);

}  // namespace buzonix
