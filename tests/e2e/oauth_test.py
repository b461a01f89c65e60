"""Sign-in with a provider in the real program: the dialog's choices and
presets, a stored sign-in read back through DPAPI, and the whole flow against
the provider stand-in, its scripted browser and dovecot's XOAUTH2."""
import base64
import json
import hashlib
import http.client
import os
import secrets
import socket
import ssl
import unittest
import urllib.parse

from harness import (CHEQUEAR, CONFIG_KEY, CONFIGURACION, REFUSING, SALIR, TEST_CA, TITLE, TLS_HOST, TLS_PORT_BASE,
                     VERSION_KEY, ProgramTest, browser_log, driver, find_shown, provider, reg_get, reg_set, tooltips,
                     use_scripted_browser, wait_browser_done, wait_tooltip, wait_until)

DIALOG = "TConf"
HOST, USER, PASSWORD = 104, 105, 106
SECURITY, PORT, PROTOCOL = 115, 116, 117
SIGN_IN, SIGN_IN_BUTTON = 119, 120
FREQUENCY, ACEPTAR = 107, 111
AUTHORIZATION, TOKEN, CLIENT, SCOPE = 121, 122, 123, 124
PROVIDER_FIELDS = (AUTHORIZATION, TOKEN, CLIENT, SCOPE)
VK_DOWN, VK_UP = 0x28, 0x26
WM_CLOSE = 0x0010
PRODUCT_BIN = os.environ.get("BUZONIX_PRODUCT_BIN", "")
# The program's own entropy: what it seals with (src/win/SecretSealer_win.cpp).
PROGRAM_ENTROPY = "Buzonix Electronico: OAuthRefresco"
ACCOUNT = "oscar@example.invalid"


class Dialog:
    def __init__(self, seconds=10):
        self.hwnd = find_shown(DIALOG, seconds)

    def item(self, control):
        return driver("item", self.hwnd, control)[0]

    def text(self, control):
        return "\n".join(driver("text", self.item(control)))

    def shown(self, control):
        return driver("visible", self.item(control)) == ["1"]

    def choices(self):
        return driver("items", self.item(SIGN_IN))

    def status(self):
        """The line beside the choice: the only static text of the panel
        that a sign-in state changes."""
        panel = driver("item", self.hwnd, 103)[0]
        texts = []
        for index in range(40):
            found = driver("child", panel, "Static", index, check=False)
            if not found:
                break
            texts.extend(driver("text", found[0]))
        return texts

    def close(self):
        driver("post", self.hwnd, WM_CLOSE, 0, 0)

    def type(self, control, text):
        driver("settext", self.item(control), text)

    def click(self, control):
        driver("click", self.item(control))

    def wait_status(self, text, seconds=20):
        return wait_until(lambda: text in self.status(), seconds, 0.2)

    def wait_closed(self):
        return wait_until(lambda: driver("visible", self.hwnd) != ["1"], 10)


class SignInDialogTest(ProgramTest):
    def store_provider(self, refresh_hex):
        """A sign-in with "Otro proveedor" as an accept left it; the server
        refuses, so that no check reaches any provider."""
        reg_set(VERSION_KEY, "Numero", "1.01")
        for name, data in (("Host", REFUSING), ("usuario", ACCOUNT), ("frecuencia", "720"),
                           ("Hacer Sonido", "Beep"), ("Animacion", "Si"), ("Seguridad", "SSL/TLS"),
                           ("Puerto", "993"), ("Protocolo", "IMAP"), ("Autenticacion", "Otro proveedor"),
                           ("OAuthUrlAutorizacion", "https://localhost:1/authorize"),
                           ("OAuthUrlToken", "https://localhost:1/token"), ("OAuthCliente", "buzonix-prueba"),
                           ("OAuthAmbito", "openid email"), ("OAuthCuenta", ACCOUNT),
                           ("OAuthRefresco", refresh_hex)):
            reg_set(CONFIG_KEY, name, data)

    def open_dialog(self, **kwargs):
        program = self.program(**kwargs).start()
        program.wait_tray()
        driver("menu", CONFIGURACION)
        return program, Dialog()

    def end(self, program, dialog):
        dialog.close()
        driver("menu", SALIR)
        self.assertEqual(program.exit_code(), 0)

    @unittest.skipUnless(PRODUCT_BIN, "no product build beside this one")
    def test_a_build_without_ids_offers_only_the_password_and_another_provider(self):
        program = self.program(bin=PRODUCT_BIN).start()
        dialog = Dialog(20)  # a first run opens it
        self.assertEqual(dialog.choices(), ["Contrase\xf1a", "Otro proveedor"])
        self.assertEqual(dialog.text(SIGN_IN), "Contrase\xf1a")
        self.assertTrue(dialog.shown(PASSWORD))
        self.assertFalse(any(dialog.shown(c) for c in (SIGN_IN_BUTTON,) + PROVIDER_FIELDS))
        self.end(program, dialog)

    def test_a_provider_fills_in_its_server_and_the_button_takes_the_passwords_place(self):
        program = self.program().start()
        dialog = Dialog(20)
        if dialog.choices() != ["Contrase\xf1a", "Microsoft", "Google", "Otro proveedor"]:
            self.skipTest("this build has no client ids")
        dialog_item = dialog.item(SIGN_IN)
        driver("key", dialog_item, VK_DOWN)
        self.assertTrue(wait_until(lambda: dialog.text(HOST) == "outlook.office365.com", 5))
        self.assertEqual([dialog.text(c) for c in (SECURITY, PORT, PROTOCOL)], ["SSL/TLS", "993", "IMAP"])
        self.assertFalse(dialog.shown(PASSWORD))
        self.assertTrue(dialog.shown(SIGN_IN_BUTTON))
        self.assertEqual(dialog.text(SIGN_IN_BUTTON), "Iniciar sesi\xf3n\u2026")
        self.assertIn("Sin sesi\xf3n iniciada", dialog.status())
        self.assertFalse(any(dialog.shown(c) for c in PROVIDER_FIELDS))
        # The preset follows the protocol.
        driver("key", dialog.item(PROTOCOL), VK_UP)
        self.assertTrue(wait_until(lambda: dialog.text(PORT) == "995", 5))
        driver("key", dialog_item, VK_DOWN)
        self.assertTrue(wait_until(lambda: dialog.text(HOST) == "pop.gmail.com", 5))
        driver("key", dialog_item, VK_DOWN)
        self.assertTrue(wait_until(lambda: dialog.shown(AUTHORIZATION), 5))
        self.assertTrue(all(dialog.shown(c) for c in PROVIDER_FIELDS))
        self.assertTrue(dialog.shown(SIGN_IN_BUTTON))
        # Back to the password: everything of the sign-in goes.
        for _ in range(3):
            driver("key", dialog_item, VK_UP)
        self.assertTrue(wait_until(lambda: dialog.shown(PASSWORD), 5))
        self.assertFalse(any(dialog.shown(c) for c in (SIGN_IN_BUTTON,) + PROVIDER_FIELDS))
        self.end(program, dialog)

    def test_only_a_refresh_token_sealed_by_the_program_reads_as_signed_in(self):
        token = "1//stored-refresh"
        cases = {
            "own seal": (driver("seal", PROGRAM_ENTROPY, token)[0], True),
            "another entropy": (driver("seal", "otra aplicacion", token)[0], False),
            "damaged": (driver("seal", PROGRAM_ENTROPY, token)[0][:-8] + "00000000", False),
            "no hex": ("ZZ" + driver("seal", PROGRAM_ENTROPY, token)[0], False),
        }
        for case, (stored, signed_in) in cases.items():
            with self.subTest(case=case):
                driver("regdel", "HKCU", r"Software\Buzonix")
                self.store_provider(stored)
                program, dialog = self.open_dialog()
                self.assertEqual(dialog.text(SIGN_IN), "Otro proveedor")
                self.assertTrue(all(dialog.shown(c) for c in PROVIDER_FIELDS))
                self.assertEqual(dialog.text(CLIENT), "buzonix-prueba")
                expected = f"Sesi\xf3n iniciada: {ACCOUNT}" if signed_in else "Sin sesi\xf3n iniciada"
                self.assertIn(expected, dialog.status())
                self.end(program, dialog)


PROVIDER_URL = os.environ["BUZONIX_PROVIDER_URL"]
PROVIDER_BAD_URL = os.environ["BUZONIX_PROVIDER_BAD_URL"]
SCOPE_TEXT = "openid email"
POP3_TLS, IMAP_TLS = TLS_PORT_BASE + 4, TLS_PORT_BASE + 7
SIGNED_IN = f"Sesi\xf3n iniciada: {ACCOUNT}"
EXPIRED_MESSAGE = ("La sesi\xf3n con el proveedor ha caducado; vuelva a iniciar sesi\xf3n en "
                   "Configuraci\xf3n")
NO_PROVIDER = "No se pudo conectar con el proveedor"
WAITING = "Esperando al navegador\u2026"
EXPIRED_TIP = "Sesi\xf3n caducada"


def token_requests(listener="good"):
    return [e for e in provider("/control/log") if e.get("path") == "/token" and e["listener"] == listener]


def bad_listener_requests():
    """What reached the provider behind the bad certificate beyond its handshakes."""
    return [e for e in provider("/control/log") if e["listener"] == "bad" and "event" not in e]


def bad_listener_connections():
    return [e for e in provider("/control/log") if e.get("event") == "connection"]


def introspections():
    return [e for e in provider("/control/log") if e.get("path") == "/introspect"]


def tokens_of_a_sign_in():
    """A refresh token of the stand-in, got as a browser and the program
    would (PKCE, loopback redirect), without either."""
    verifier = secrets.token_urlsafe(48)
    challenge = base64.urlsafe_b64encode(hashlib.sha256(verifier.encode()).digest()).rstrip(b"=").decode()
    redirect = "http://127.0.0.1:1/"
    parts = urllib.parse.urlsplit(PROVIDER_URL)
    context = ssl.create_default_context(cafile=TEST_CA)

    def call(method, path, body=None):
        connection = http.client.HTTPSConnection(parts.hostname, parts.port, timeout=10, context=context)
        try:
            headers = {"Content-Type": "application/x-www-form-urlencoded"} if body else {}
            connection.request(method, path, body, headers)
            answer = connection.getresponse()
            return answer.getheader("Location"), answer.read()
        finally:
            connection.close()

    query = urllib.parse.urlencode({"response_type": "code", "client_id": "buzonix-prueba", "redirect_uri": redirect,
                                    "scope": SCOPE_TEXT, "state": "s", "code_challenge": challenge,
                                    "code_challenge_method": "S256"})
    location, _ = call("GET", "/authorize?" + query)
    code = dict(urllib.parse.parse_qsl(urllib.parse.urlsplit(location).query))["code"]
    _, body = call("POST", "/token", urllib.parse.urlencode(
        {"grant_type": "authorization_code", "code": code, "redirect_uri": redirect,
         "client_id": "buzonix-prueba", "code_verifier": verifier}))
    return json.loads(body)["refresh_token"]


def port_accepts(port):
    try:
        socket.create_connection(("127.0.0.1", port), timeout=2).close()
        return True
    except OSError:
        return False


class SignInFlowTest(ProgramTest):
    """The real program signing in through its dialog and checking with the
    provider's tokens, against the stand-in and dovecot."""

    @classmethod
    def setUpClass(cls):
        driver("trustca", "Z:" + TEST_CA.replace("/", "\\"))

    def setUp(self):
        super().setUp()
        provider("/control/reset", {})
        use_scripted_browser("follow")

    # -- helpers

    def first_run_dialog(self, protocol="IMAP", token_url=PROVIDER_URL + "/token"):
        """The dialog of a first run, filled in for the stand-in with
        "Otro proveedor" and no check of its own before the tests ask."""
        program = self.program().start()
        dialog = Dialog(20)
        if protocol == "POP3":
            driver("key", dialog.item(PROTOCOL), VK_UP)
            self.assertTrue(wait_until(lambda: dialog.text(PORT) == "995", 5))
        # The presets passed on the way fill in their servers: ours come after.
        for _ in range(len(dialog.choices()) - 1):
            driver("key", dialog.item(SIGN_IN), VK_DOWN)
        self.assertTrue(wait_until(lambda: dialog.shown(AUTHORIZATION), 5))
        dialog.type(HOST, TLS_HOST)
        dialog.type(PORT, str(IMAP_TLS if protocol == "IMAP" else POP3_TLS))
        dialog.type(FREQUENCY, "720")
        for control, text in ((AUTHORIZATION, PROVIDER_URL + "/authorize"), (TOKEN, token_url),
                              (CLIENT, "buzonix-prueba"), (SCOPE, SCOPE_TEXT)):
            dialog.type(control, text)
        return program, dialog

    def store_signed_in(self, refresh_token, protocol="POP3", token_url=PROVIDER_URL + "/token"):
        """Settings as an accept of a sign-in with the stand-in leaves them."""
        reg_set(VERSION_KEY, "Numero", "1.01")
        port = POP3_TLS if protocol == "POP3" else IMAP_TLS
        for name, data in (("Host", TLS_HOST), ("usuario", ACCOUNT), ("frecuencia", "720"),
                           ("Hacer Sonido", "Beep"), ("Animacion", "No"), ("Seguridad", "SSL/TLS"),
                           ("Puerto", str(port)), ("Protocolo", protocol), ("Autenticacion", "Otro proveedor"),
                           ("OAuthUrlAutorizacion", PROVIDER_URL + "/authorize"), ("OAuthUrlToken", token_url),
                           ("OAuthCliente", "buzonix-prueba"), ("OAuthAmbito", SCOPE_TEXT),
                           ("OAuthCuenta", ACCOUNT),
                           ("OAuthRefresco", driver("seal", PROGRAM_ENTROPY, refresh_token)[0])):
            reg_set(CONFIG_KEY, name, data)

    def stored_refresh(self):
        value = reg_get(CONFIG_KEY, "OAuthRefresco")
        return None if value is None else value[1].split(b"\0")[0].decode("ascii")

    def quit(self, program):
        driver("menu", SALIR)
        self.assertEqual(program.exit_code(), 0)

    # -- the tests

    def sign_in_stores_it_sealed_and_checks_with_xoauth2(self, protocol, count):
        program, dialog = self.first_run_dialog(protocol)
        dialog.click(SIGN_IN_BUTTON)
        self.assertEqual(wait_browser_done()[-1]["event"], "done")
        self.assertTrue(dialog.wait_status(SIGNED_IN), dialog.status())
        self.assertEqual(dialog.text(USER), ACCOUNT)
        dialog.click(ACEPTAR)
        self.assertTrue(dialog.wait_closed())
        stored = self.stored_refresh()
        live = provider("/control/tokens")["refresh"]
        self.assertEqual(len(live), 1)
        self.assertRegex(stored, r"^[0-9A-Fa-f]{100,}$")
        self.assertNotIn(live[0].encode().hex(), stored.lower())
        if protocol == "POP3":
            driver("menu", CHEQUEAR)
        self.assertEqual(wait_tooltip(count), count)
        # The sign-in's own access token served: no refresh yet, and dovecot
        # asked the provider about a bearer token.
        self.assertEqual([(e["grant_type"], e["status"]) for e in token_requests()],
                         [("authorization_code", 200)])
        self.assertTrue(introspections())
        self.quit(program)

    def test_a_sign_in_through_the_dialog_checks_imap_with_xoauth2(self):
        self.sign_in_stores_it_sealed_and_checks_with_xoauth2("IMAP", "2 Mensajes sin leer")

    def test_a_sign_in_through_the_dialog_checks_pop3_with_xoauth2(self):
        self.sign_in_stores_it_sealed_and_checks_with_xoauth2("POP3", "2 Mensajes")

    def test_a_rotated_refresh_token_is_stored_at_once_and_serves_the_next_run(self):
        first = tokens_of_a_sign_in()
        self.store_signed_in(first)
        stored = self.stored_refresh()
        program = self.program().start()
        self.assertEqual(wait_tooltip("2 Mensajes"), "2 Mensajes")
        self.assertNotEqual(self.stored_refresh(), stored)
        program.stop()  # as a crash would: the rotation is stored already
        live = provider("/control/tokens")["refresh"]
        self.assertEqual(len(live), 1)
        self.assertNotEqual(live[0], first)
        program = self.program().start()
        self.assertEqual(wait_tooltip("2 Mensajes"), "2 Mensajes")
        self.assertEqual([(e["grant_type"], e["status"]) for e in token_requests()],
                         [("authorization_code", 200), ("refresh_token", 200), ("refresh_token", 200)])
        self.quit(program)

    def test_a_revoked_refresh_token_says_once_that_the_session_ended(self):
        self.store_signed_in(tokens_of_a_sign_in())
        provider("/control/revoke_refresh", {})
        program = self.program().start()
        self.assertEqual(driver("box", 20), [TITLE, EXPIRED_MESSAGE])
        self.assertEqual(wait_tooltip(EXPIRED_TIP), EXPIRED_TIP)
        driver("menu", CHEQUEAR)
        self.assertTrue(wait_until(lambda: len(token_requests()) == 3, 10), token_requests())
        driver("nobox", 2)
        self.assertEqual(tooltips(), [EXPIRED_TIP])
        self.quit(program)

    def test_a_token_endpoint_in_trouble_is_a_connection_error_and_the_refresh_token_stays(self):
        self.store_signed_in(tokens_of_a_sign_in())
        stored = self.stored_refresh()
        provider("/control/config", {"token_fault": {"kind": "garbage", "count": 1}})
        program = self.program().start()
        self.assertEqual(driver("box", 20), [TITLE, NO_PROVIDER])
        self.assertEqual(wait_tooltip("Error en Conexion"), "Error en Conexion")
        # A redirect is not followed: it would carry the refresh token to
        # wherever the answer points (here the same endpoint, which would serve).
        for fault in ({"kind": "error", "error": "server_error"}, {"kind": "500"}, {"kind": "redirect"}):
            with self.subTest(fault["kind"]):
                provider("/control/config", {"token_fault": dict(fault, count=1)})
                before = len(token_requests())
                driver("menu", CHEQUEAR)
                self.assertTrue(wait_until(lambda: len(token_requests()) > before, 10))
                driver("nobox", 1)
                self.assertEqual(len(token_requests()), before + 1)
                self.assertEqual(tooltips(), ["Error en Conexion"])
        self.assertEqual(self.stored_refresh(), stored)
        driver("menu", CHEQUEAR)
        self.assertEqual(wait_tooltip("2 Mensajes"), "2 Mensajes")
        self.quit(program)

    def test_a_bad_certificate_of_the_token_endpoint_gets_nothing_sent(self):
        """Nothing at all: neither the refresh token nor the request's headers
        go before the program's own verdict on the certificate."""
        self.store_signed_in(tokens_of_a_sign_in(), token_url=PROVIDER_BAD_URL + "/token")
        program = self.program().start()
        caption, text = driver("box", 20)
        self.assertEqual(caption, TITLE)
        self.assertIn("certificado", text)
        self.assertEqual(wait_tooltip("Error en Conexion"), "Error en Conexion")
        for certificate in ("wrongname", "expired", "selfsigned"):
            with self.subTest(certificate):
                provider("/control/config", {"bad_cert": certificate})
                before = len(bad_listener_connections())
                driver("menu", CHEQUEAR)
                self.assertTrue(wait_until(lambda: len(bad_listener_connections()) > before, 10))
                driver("nobox", 1)
        self.assertEqual(bad_listener_requests(), [])
        self.quit(program)

    def test_a_bad_certificate_of_the_token_endpoint_keeps_the_code_of_a_sign_in(self):
        program, dialog = self.first_run_dialog(token_url=PROVIDER_BAD_URL + "/token")
        dialog.click(SIGN_IN_BUTTON)
        caption, text = driver("box", 20)
        self.assertEqual(caption, TITLE)
        self.assertIn("certificado", text)
        self.assertIn("Sin sesi\xf3n iniciada", dialog.status())
        self.assertTrue(bad_listener_connections())
        self.assertEqual(bad_listener_requests(), [])
        dialog.close()
        self.quit(program)

    def test_a_redirect_with_another_state_is_turned_away_and_cancel_stops_the_listener(self):
        use_scripted_browser("wrong-state")
        program, dialog = self.first_run_dialog()
        dialog.click(SIGN_IN_BUTTON)
        log = wait_browser_done()
        redirect = [e for e in log if e["event"] == "redirect"]
        self.assertEqual(len(redirect), 1, log)
        self.assertNotEqual(redirect[0]["status"], 200)
        self.assertEqual(token_requests(), [])
        self.assertIn(WAITING, dialog.status())
        query = dict(urllib.parse.parse_qsl(urllib.parse.urlsplit(log[0]["url"]).query))
        port = urllib.parse.urlsplit(query["redirect_uri"]).port
        self.assertTrue(port_accepts(port))
        dialog.click(SIGN_IN_BUTTON)  # now "Cancelar"
        self.assertTrue(dialog.wait_status("Sin sesi\xf3n iniciada", 5), dialog.status())
        self.assertFalse(port_accepts(port))
        dialog.close()
        self.quit(program)


if __name__ == "__main__":
    unittest.main()
