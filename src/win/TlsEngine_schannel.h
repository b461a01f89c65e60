// The TLS engine of the Windows program: Schannel through SSPI, with the
// server's certificate checked by the program itself (chain to a trusted
// root, validity, the host's name), never left to Schannel alone.
#pragma once

#include <windows.h>
#include <wincrypt.h>

#include <memory>
#include <string>

#include "network/TlsEngine.h"

namespace buzonix {

// Null when Schannel cannot give client credentials.
std::unique_ptr<TlsEngine> MakeSchannelEngine(const std::string& host);

// Loads what the checks below need; false where the system lacks a part.
bool ServerCertificateChecksAvailable();
// The checks every server the program sends a secret to passes: a chain to a
// trusted root, validity today, `host` in the certificate. kUntrusted where
// the system lacks the functions.
TlsFailure VerifyServerCertificate(const CERT_CONTEXT* certificate, const std::string& host);
// Frees a certificate context the system handed out.
void FreeServerCertificate(const CERT_CONTEXT* certificate);

}  // namespace buzonix
