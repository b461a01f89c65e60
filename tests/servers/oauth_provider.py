#!/usr/bin/env python3
"""A stand-in for a mail provider's authorisation server (OAuth 2.0, RFC 6749,
the PKCE of RFC 7636, revocation RFC 7009, introspection RFC 7662), for the
tests of "sign in with the provider". Standard library only.

  oauth_provider.py --dir DIR --certs CERTDIR --https-port P --bad-port Q
                    --control ADDRESS:PORT

Listeners:
  https://localhost:P   the provider, with certs/valid.pem (the test CA's, for
                        "localhost" and 127.0.0.1)
  https://localhost:Q   the same provider behind a bad certificate: "untrusted"
                        (another CA) unless the control channel names another
                        (wrongname, expired, selfsigned, untrusted, valid)
  http://ADDRESS:PORT   introspection for dovecot and the tests' control channel

Client: "buzonix-prueba" (public, no secret). Account signed in as:
"oscar@example.invalid" (a dovecot user of dovecot.sh; sub "oscar-0001").

Provider endpoints (both HTTPS listeners):
  GET  /authorize?response_type=code&client_id&redirect_uri&scope&state
         &code_challenge&code_challenge_method=S256[&login_hint]
       Approves at once: 302 to redirect_uri?code=..&state=.. . redirect_uri
       must be http://127.0.0.1:PORT/ or http://[::1]:PORT/ (path "/", no
       query) and client_id known, else 400 and no redirect. Any other fault
       (response_type, missing challenge, a method other than S256) redirects
       with error=unsupported_response_type / invalid_request.
  POST /token (application/x-www-form-urlencoded)
       grant_type=authorization_code&code&redirect_uri&client_id&code_verifier
         a code serves once (a second use also revokes what it gave), within
         60 s, for the same redirect_uri and client_id, and only with the
         verifier whose S256 is the challenge;
       grant_type=refresh_token&refresh_token&client_id[&scope]
         rotating: each use gives a new refresh token and ends the old one.
       Success: 200 {"access_token", "token_type": "Bearer", "expires_in",
       "refresh_token", "scope"[, "id_token"]}; id_token (scope holds
       "openid") is a JWT signed HS256 with a fixed key, claims iss, aud, sub,
       email, email_verified, iat, exp. Errors: 400 {"error": invalid_request,
       invalid_client, invalid_grant, unsupported_grant_type, invalid_scope}.
  POST /revoke token[&token_type_hint]&client_id   200 always (RFC 7009);
       a refresh token's revocation ends the access tokens of its grant.

Plain listener:
  POST /introspect token=..   {"active": true, "username", "sub", "scope",
       "client_id", "token_type", "exp"} for a live access token, else
       {"active": false}.
  Control channel (JSON bodies and answers):
  GET  /control/log      every request so far, oldest first: {"listener":
       "good"|"bad"|"plain", "method", "path", "status", "client_id",
       "grant_type", "code", "code_verifier", "refresh_token", "token"
       (true when that field came), "login_hint", "time"}; the bad listener
       also logs {"listener": "bad", "event": "connection"} on each accept
       and {"event": "handshake_failed"} when the client refused it.
  POST /control/config   merges settings: {"expires_in": seconds (3600),
       "token_fault": null | {"kind": "error" | "garbage" | "truncated" |
       "500" | "stall" | "redirect" (307 to this listener's own /token), "error": "invalid_grant", "grant_type": only for
       that grant, "count": how many answers (all when absent),
       "seconds": stall time}, "bad_cert": name,
       "account": {"email", "sub"}}.
  POST /control/revoke_refresh   ends every refresh token.
  POST /control/revoke_access    ends every access token.
  POST /control/expire_access    makes every access token expired.
  POST /control/reset    forgets every code, token, log entry and setting.
  GET  /control/tokens   {"access": [live access tokens], "refresh": [live
       refresh tokens]}, newest last.
The log is also appended to DIR/log.jsonl; DIR/pid holds the process id
once every listener is up.
"""
import argparse
import base64
import hashlib
import hmac
import http.server
import ipaddress
import json
import os
import secrets
import socket
import ssl
import sys
import threading
import time
import urllib.parse

CLIENT_ID = "buzonix-prueba"
DEFAULT_ACCOUNT = {"email": "oscar@example.invalid", "sub": "oscar-0001"}
JWT_KEY = b"buzonix-prueba-firma"
CODE_LIFETIME = 60
CERT_NAMES = ("valid", "wrongname", "expired", "selfsigned", "untrusted")


class State:
    """Codes, grants and tokens, the settings of the control channel and the log."""

    def __init__(self, directory):
        self.directory = directory
        self.lock = threading.RLock()
        self.reset()

    def reset(self):
        with self.lock:
            self.codes = {}     # code -> dict(client_id, redirect_uri, challenge, scope, account, grant, at)
            self.grants = {}    # grant id -> set of its access tokens (revoked with the grant)
            self.refresh = {}   # refresh token -> dict(client_id, scope, account, grant)
            self.access = {}    # access token -> dict(client_id, scope, account, exp, grant)
            self.entries = []
            self.settings = {"expires_in": 3600, "token_fault": None, "bad_cert": "untrusted",
                             "account": dict(DEFAULT_ACCOUNT)}
            open(os.path.join(self.directory, "log.jsonl"), "w").close()

    def log(self, **entry):
        entry["time"] = time.time()
        with self.lock:
            self.entries.append(entry)
            with open(os.path.join(self.directory, "log.jsonl"), "a", encoding="utf-8") as f:
                f.write(json.dumps(entry) + "\n")

    def new_grant(self):
        grant = secrets.token_hex(8)
        self.grants[grant] = set()
        return grant

    def revoke_grant(self, grant):
        for token in self.grants.pop(grant, set()):
            self.access.pop(token, None)
        for token in [t for t, r in self.refresh.items() if r["grant"] == grant]:
            del self.refresh[token]

    def issue(self, client_id, scope, account, grant):
        """A fresh access and refresh token of the grant: the token answer."""
        access = "at-" + secrets.token_urlsafe(24)
        refresh = "rt-" + secrets.token_urlsafe(24)
        expires_in = int(self.settings["expires_in"])
        self.access[access] = dict(client_id=client_id, scope=scope, account=account,
                                   exp=time.time() + expires_in, grant=grant)
        self.grants.setdefault(grant, set()).add(access)
        self.refresh[refresh] = dict(client_id=client_id, scope=scope, account=account, grant=grant)
        answer = {"access_token": access, "token_type": "Bearer", "expires_in": expires_in,
                  "refresh_token": refresh, "scope": scope}
        if "openid" in scope.split():
            answer["id_token"] = id_token(client_id, account, expires_in)
        return answer

    def take_fault(self, grant_type):
        """The token fault to play on this answer, counting it down."""
        fault = self.settings.get("token_fault")
        if not fault or fault.get("grant_type") not in (None, grant_type):
            return None
        if "count" in fault:
            fault["count"] -= 1
            if fault["count"] <= 0:
                self.settings["token_fault"] = None
        return fault


def b64url(data):
    return base64.urlsafe_b64encode(data).rstrip(b"=").decode()


def id_token(client_id, account, expires_in):
    now = int(time.time())
    header = b64url(json.dumps({"alg": "HS256", "typ": "JWT"}).encode())
    payload = b64url(json.dumps({"iss": "https://localhost", "aud": client_id, "sub": account["sub"],
                                 "email": account["email"], "email_verified": True, "iat": now,
                                 "exp": now + expires_in}).encode())
    signature = hmac.new(JWT_KEY, f"{header}.{payload}".encode(), hashlib.sha256).digest()
    return f"{header}.{payload}.{b64url(signature)}"


def s256(verifier):
    return b64url(hashlib.sha256(verifier.encode("ascii")).digest())


def loopback_redirect(uri):
    """True for http://127.0.0.1:PORT/ or http://[::1]:PORT/ (RFC 8252 section 7.3)."""
    try:
        parts = urllib.parse.urlsplit(uri)
        port = parts.port
    except ValueError:
        return False
    if parts.scheme != "http" or parts.path != "/" or parts.query or parts.fragment or not port:
        return False
    if parts.username is not None or parts.password is not None:
        return False
    host = parts.hostname or ""
    try:
        address = ipaddress.ip_address(host)
    except ValueError:
        return False
    return str(address) in ("127.0.0.1", "::1") and parts.netloc.lower() in (
        f"127.0.0.1:{port}", f"[::1]:{port}")


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "BuzonixProvider/1"

    def log_message(self, *args):
        pass

    @property
    def state(self):
        return self.server.state

    # -- plumbing

    def read_form(self):
        length = int(self.headers.get("Content-Length") or 0)
        body = self.rfile.read(length) if length else b""
        self.raw_body = body
        if self.command == "POST" and "json" in (self.headers.get("Content-Type") or ""):
            return {}
        return {k: v[0] for k, v in urllib.parse.parse_qs(body.decode("utf-8", "replace"),
                                                          keep_blank_values=True).items()}

    def reply(self, status, body=b"", content_type="application/json", headers=()):
        if isinstance(body, (dict, list)):
            body = json.dumps(body).encode()
        self.send_response(status)
        self.send_header("Content-Type", content_type)
        self.send_header("Content-Length", str(len(body)))
        self.send_header("Cache-Control", "no-store")
        for name, value in headers:
            self.send_header(name, value)
        self.end_headers()
        self.wfile.write(body)
        self.status = status

    def error(self, code, description="", status=400):
        self.reply(status, {"error": code, "error_description": description})

    def record(self, fields):
        entry = dict(listener=self.server.name, method=self.command, path=urllib.parse.urlsplit(self.path).path,
                     status=getattr(self, "status", None))
        for name in ("client_id", "grant_type", "login_hint"):
            if name in fields:
                entry[name] = fields[name]
        for name in ("code", "code_verifier", "refresh_token", "token", "redirect_uri", "state"):
            entry[name] = name in fields
        self.state.log(**entry)

    def do_GET(self):
        self.handle_request()

    def do_POST(self):
        self.handle_request()

    def handle_request(self):
        parts = urllib.parse.urlsplit(self.path)
        fields = self.read_form() if self.command == "POST" else {}
        if self.command == "GET":
            fields = {k: v[0] for k, v in urllib.parse.parse_qs(parts.query, keep_blank_values=True).items()}
        route = self.server.routes.get((self.command, parts.path))
        try:
            if route is None:
                self.reply(404, {"error": "not_found"})
            else:
                with self.state.lock:
                    route(self, fields)
        finally:
            if not parts.path.startswith("/control/"):
                self.record(fields)

    # -- the provider

    def authorize(self, q):
        client_id, redirect_uri = q.get("client_id"), q.get("redirect_uri", "")
        if client_id != CLIENT_ID:
            return self.reply(400, b"unknown client_id", "text/plain")
        if not loopback_redirect(redirect_uri):
            return self.reply(400, b"redirect_uri must be a loopback http address", "text/plain")
        back = {"state": q["state"]} if "state" in q else {}
        if q.get("response_type") != "code":
            back["error"] = "unsupported_response_type"
        elif not q.get("code_challenge") or q.get("code_challenge_method") != "S256":
            back["error"] = "invalid_request"
        else:
            account = dict(self.state.settings["account"])
            code = "c-" + secrets.token_urlsafe(18)
            self.state.codes[code] = dict(client_id=client_id, redirect_uri=redirect_uri,
                                          challenge=q["code_challenge"], scope=q.get("scope", ""),
                                          account=account, at=time.time(), grant=None, used=False)
            back["code"] = code
        location = redirect_uri + "?" + urllib.parse.urlencode(back)
        self.reply(302, b"", "text/plain", [("Location", location)])

    def token(self, form):
        fault = self.state.take_fault(form.get("grant_type"))
        if fault:
            return self.play_fault(fault)
        grant_type = form.get("grant_type")
        if form.get("client_id") != CLIENT_ID:
            return self.error("invalid_client", "unknown client_id")
        if grant_type == "authorization_code":
            return self.code_grant(form)
        if grant_type == "refresh_token":
            return self.refresh_grant(form)
        if not grant_type:
            return self.error("invalid_request", "grant_type missing")
        return self.error("unsupported_grant_type")

    def play_fault(self, fault):
        kind = fault.get("kind", "error")
        if kind == "error":
            self.error(fault.get("error", "invalid_grant"), "as the test asked")
        elif kind == "garbage":
            self.reply(200, b"<html>not json</html>", "application/json")
        elif kind == "truncated":
            self.reply(200, b'{"access_token": "at-trunc', "application/json")
        elif kind == "500":
            self.reply(500, b"internal error", "text/plain")
        elif kind == "redirect":
            location = f"https://localhost:{self.server.server_address[1]}/token"
            self.reply(307, b"", "text/plain", [("Location", location)])
        elif kind == "stall":
            time.sleep(float(fault.get("seconds", 30)))
            self.reply(500, b"late", "text/plain")

    def code_grant(self, form):
        for name in ("code", "redirect_uri", "code_verifier"):
            if not form.get(name):
                return self.error("invalid_request", name + " missing")
        code = self.state.codes.get(form["code"])
        if code is None:
            return self.error("invalid_grant", "unknown code")
        if code["used"]:
            # A code seen twice was stolen or replayed: what it gave ends too.
            if code["grant"]:
                self.state.revoke_grant(code["grant"])
            return self.error("invalid_grant", "code already used")
        code["used"] = True
        if time.time() - code["at"] > CODE_LIFETIME:
            return self.error("invalid_grant", "code expired")
        if form["redirect_uri"] != code["redirect_uri"] or form["client_id"] != code["client_id"]:
            return self.error("invalid_grant", "redirect_uri or client_id differ from the authorisation's")
        if not hmac.compare_digest(s256(form["code_verifier"]), code["challenge"]):
            return self.error("invalid_grant", "code_verifier does not match the challenge")
        code["grant"] = self.state.new_grant()
        self.reply(200, self.state.issue(code["client_id"], code["scope"], code["account"], code["grant"]))

    def refresh_grant(self, form):
        token = form.get("refresh_token")
        if not token:
            return self.error("invalid_request", "refresh_token missing")
        old = self.state.refresh.get(token)
        if old is None or old["client_id"] != form["client_id"]:
            return self.error("invalid_grant", "unknown, used or revoked refresh token")
        scope = old["scope"]
        if form.get("scope"):
            if not set(form["scope"].split()) <= set(scope.split()):
                return self.error("invalid_scope", "more than the grant holds")
            scope = form["scope"]
        del self.state.refresh[token]
        self.reply(200, self.state.issue(old["client_id"], scope, old["account"], old["grant"]))

    def revoke(self, form):
        if "client_id" in form and form["client_id"] != CLIENT_ID:
            return self.error("invalid_client", "unknown client_id")
        if not form.get("token"):
            return self.error("invalid_request", "token missing")
        token = form["token"]
        if token in self.state.refresh:
            self.state.revoke_grant(self.state.refresh[token]["grant"])
        elif token in self.state.access:
            del self.state.access[token]
        self.reply(200, b"", "text/plain")

    # -- introspection and control (plain listener)

    def introspect(self, form):
        live = self.state.access.get(form.get("token", ""))
        if live is None or live["exp"] <= time.time():
            return self.reply(200, {"active": False})
        self.reply(200, {"active": True, "username": live["account"]["email"], "sub": live["account"]["sub"],
                         "scope": live["scope"], "client_id": live["client_id"], "token_type": "Bearer",
                         "exp": int(live["exp"])})

    def control_log(self, _):
        self.reply(200, self.state.entries)

    def control_config(self, _):
        try:
            changes = json.loads(self.raw_body or b"{}")
        except ValueError:
            return self.reply(400, {"error": "body is not JSON"})
        if changes.get("bad_cert", "untrusted") not in CERT_NAMES:
            return self.reply(400, {"error": "bad_cert names no certificate"})
        self.state.settings.update(changes)
        self.reply(200, self.state.settings)

    def control_revoke_refresh(self, _):
        self.state.refresh.clear()
        self.reply(200, {})

    def control_revoke_access(self, _):
        self.state.access.clear()
        self.reply(200, {})

    def control_expire_access(self, _):
        for live in self.state.access.values():
            live["exp"] = 0
        self.reply(200, {})

    def control_reset(self, _):
        self.state.reset()
        self.reply(200, {})

    def control_tokens(self, _):
        now = time.time()
        self.reply(200, {"access": [t for t, v in self.state.access.items() if v["exp"] > now],
                         "refresh": list(self.state.refresh)})


PROVIDER_ROUTES = {("GET", "/authorize"): Handler.authorize, ("POST", "/token"): Handler.token,
                   ("POST", "/revoke"): Handler.revoke}
PLAIN_ROUTES = {("POST", "/introspect"): Handler.introspect,
                ("GET", "/control/log"): Handler.control_log,
                ("POST", "/control/config"): Handler.control_config,
                ("POST", "/control/revoke_refresh"): Handler.control_revoke_refresh,
                ("POST", "/control/revoke_access"): Handler.control_revoke_access,
                ("POST", "/control/expire_access"): Handler.control_expire_access,
                ("POST", "/control/reset"): Handler.control_reset,
                ("GET", "/control/tokens"): Handler.control_tokens}


class Server(http.server.ThreadingHTTPServer):
    daemon_threads = True
    allow_reuse_address = True
    request_queue_size = 64

    def __init__(self, address, name, routes, state, contexts=None):
        self.name, self.routes, self.state, self.contexts = name, routes, state, contexts
        super().__init__(address, Handler)

    def context(self):
        if self.name == "bad":
            return self.contexts[self.state.settings.get("bad_cert", "untrusted")]
        return self.contexts["valid"]

    def get_request(self):
        sock, peer = self.socket.accept()
        if self.contexts is None:
            return sock, peer
        if self.name == "bad":
            self.state.log(listener="bad", event="connection")
        return sock, peer

    def finish_request(self, request, client_address):
        # The handshake runs in the connection's own thread, so that a client
        # that connects and says nothing never holds up the next one.
        if self.contexts is not None:
            request.settimeout(30)
            try:
                request = self.context().wrap_socket(request, server_side=True)
            except (ssl.SSLError, OSError) as e:
                if self.name == "bad":
                    self.state.log(listener="bad", event="handshake_failed", reason=str(e)[:120])
                return
            request.settimeout(None)
        super().finish_request(request, client_address)


def tls_contexts(certs):
    contexts = {}
    for name in CERT_NAMES:
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.minimum_version = ssl.TLSVersion.TLSv1_2
        context.load_cert_chain(os.path.join(certs, name + ".pem"), os.path.join(certs, name + ".key"))
        contexts[name] = context
    return contexts


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--dir", required=True)
    parser.add_argument("--certs", required=True)
    parser.add_argument("--https-port", type=int, required=True)
    parser.add_argument("--bad-port", type=int, required=True)
    parser.add_argument("--control", required=True, help="ADDRESS:PORT of introspection and control")
    args = parser.parse_args()
    os.makedirs(args.dir, exist_ok=True)
    state = State(args.dir)
    contexts = tls_contexts(args.certs)
    control_host, control_port = args.control.rsplit(":", 1)
    servers = [Server(("127.0.0.1", args.https_port), "good", PROVIDER_ROUTES, state, contexts),
               Server(("127.0.0.1", args.bad_port), "bad", PROVIDER_ROUTES, state, contexts),
               Server((control_host, int(control_port)), "plain", PLAIN_ROUTES, state)]
    for server in servers:
        threading.Thread(target=server.serve_forever, daemon=True).start()
    with open(os.path.join(args.dir, "pid.tmp"), "w") as f:
        f.write(str(os.getpid()))
    os.replace(os.path.join(args.dir, "pid.tmp"), os.path.join(args.dir, "pid"))
    try:
        threading.Event().wait()
    except KeyboardInterrupt:
        pass


if __name__ == "__main__":
    sys.exit(main())
