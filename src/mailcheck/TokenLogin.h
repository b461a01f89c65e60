// A login with the provider's access token instead of a password: getting
// the token before the connection, and what a check shows when that fails.
// Written once for the POP3 and the IMAP check.
#pragma once

#include <optional>
#include <string>

#include "mailcheck/CheckMail.h"
#include "signin/TokenKeeper.h"
#include "state/unit.h"

namespace buzonix {

// The settings sign in with a provider rather than a password.
bool SignsInWithProvider(const Settings& settings);

// A live access token, or nullopt after showing why there is none: the
// sign-in ended ("Sesión caducada", once per run of failures), the provider
// could not be reached (the connection error's once-only rule), or the
// connection is not secured (a token never travels in clear). The timer
// keeps running in every case.
std::optional<std::string> TokenForLogin(AccessTokens* tokens, const Settings& settings,
                                         CheckHost& host, bool renew);

// The mail server refused a fresh token too: a provider problem, once per
// run of failures; not "Clave incorrecta", and the timer keeps running.
void ReportProviderRefusal(CheckHost& host);

}  // namespace buzonix
