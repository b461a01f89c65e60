"""The buzonix program on a headless desktop, with each kind of Linux tray:
trayer (XEmbed: the icon's pixels, real clicks and keys) and the tests' own
StatusNotifierWatcher (D-Bus: the item's tooltip and icon, its exported menu,
Activate). The servers are the ones of the unit tests: dovecot with APOP
(alice, 3 messages), the plain dovecot's IMAP (a new installation's choice)
and the scripted server for a stall."""
import json
import os
import socket
import subprocess
import sys
import time
import unittest
import urllib.parse
import urllib.request

import dbus

import desktop
from desktop import Desktop, wait_for, TITLE

APOP_DOVECOT = os.environ["BUZONIX_APOP_ADDR"]
SCRIPTED = os.environ["BUZONIX_SCRIPTED_ADDR"]
PLAIN_DOVECOT = os.environ["BUZONIX_PLAIN_ADDR"]
DOVECOT_SH = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "servers", "dovecot.sh")
SERVERS = os.environ["BUZONIX_SERVERS_DIR"]
REFUSING = "127.0.0.99"  # nothing listens there
# dovecot with APOP over TLS from the first byte, by the name its certificate carries.
APOP_DOVECOT_TLS = ("localhost", int(os.environ["BUZONIX_TLS_PORT_BASE"]) + 2)
TEST_CA = os.path.join(SERVERS, "certs", "ca.pem")
# The provider stand-in, its control channel and the browser that plays the user.
PROVIDER = os.environ["BUZONIX_PROVIDER_URL"]
PROVIDER_BAD = os.environ["BUZONIX_PROVIDER_BAD_URL"]
PROVIDER_CONTROL = os.environ["BUZONIX_PROVIDER_CONTROL"]
sys.path.insert(0, os.path.dirname(os.environ["BUZONIX_SCRIPTED_BROWSER"]))
import scripted_browser  # noqa: E402
# The plain dovecot takes the provider's tokens for this account, over TLS
# from the first byte: IMAP on +7, POP3 on +4.
OAUTH_ACCOUNT = "oscar@example.invalid"
OAUTH_SERVERS = {"IMAP": ("localhost", int(os.environ["BUZONIX_TLS_PORT_BASE"]) + 7),
                 "POP3": ("localhost", int(os.environ["BUZONIX_TLS_PORT_BASE"]) + 4)}
ICON_REGION = "24x24+776+0"  # trayer's one icon, top right
ICON_CENTRE = (788, 12)
SERVIDOR_FIELD = (334, 57)  # in the configuration dialog


def plain_dovecot(*action):
    """dovecot.sh's action on the plain dovecot: its output."""
    return subprocess.run([DOVECOT_SH, action[0], os.path.join(SERVERS, "dovecot-plain"), *action[1:]],
                          check=True, capture_output=True, text=True).stdout


def provider(path, body=None):
    """The stand-in's control channel: GET without a body, else POST of JSON."""
    data = None if body is None else json.dumps(body).encode()
    request = urllib.request.Request(PROVIDER_CONTROL + path, data=data, headers={"Content-Type": "application/json"})
    with urllib.request.urlopen(request, timeout=10) as answer:
        text = answer.read()
    return json.loads(text) if text.strip() else None


def play(script):
    with open(os.path.join(SERVERS, "scripted", "script.json"), "w", encoding="latin-1") as f:
        json.dump(script, f)


class TrayItem:
    """The program's StatusNotifierItem, as a panel sees it."""

    def __init__(self, session):
        os.environ["DBUS_SESSION_BUS_ADDRESS"] = session.env["DBUS_SESSION_BUS_ADDRESS"]
        self.bus = dbus.bus.BusConnection(session.env["DBUS_SESSION_BUS_ADDRESS"])
        watcher = self.bus.get_object("org.kde.StatusNotifierWatcher", "/StatusNotifierWatcher")
        items = wait_for(lambda: watcher.Get("org.kde.StatusNotifierWatcher", "RegisteredStatusNotifierItems",
                                             dbus_interface=dbus.PROPERTIES_IFACE))
        assert items, "the program registered no tray item"
        name, path = str(items[0]).split("/", 1)
        self.item = self.bus.get_object(name, "/" + path)
        self.name = name

    def prop(self, name):
        return self.item.Get("org.kde.StatusNotifierItem", name, dbus_interface=dbus.PROPERTIES_IFACE)

    def tooltip(self):
        return str(self.prop("ToolTip")[2])

    def icon(self, session):
        """Which of the four pictures the item shows (its largest pixmap)."""
        width, height, data = max(self.prop("IconPixmap"), key=lambda p: int(p[0]))
        width, height, data = int(width), int(height), bytes(data)
        rgb = bytearray()
        for i in range(0, len(data), 4):  # ARGB, alpha laid on black
            a, r, g, b = data[i:i + 4]
            rgb += bytes((r * a // 255, g * a // 255, b * a // 255))
        target = session.path("item.ppm")
        with open(target, "wb") as f:
            f.write(b"P6 %d %d 255\n" % (width, height) + bytes(rgb))
        return desktop.icon_nearest(target)

    def click_menu(self, label):
        menu = self.bus.get_object(self.name, self.prop("Menu"))
        layout = menu.GetLayout(0, -1, [], dbus_interface="com.canonical.dbusmenu")
        for child in layout[1][2]:
            if str(dict(child[1]).get("label", "")).replace("_", "") == label:
                menu.Event(child[0], "clicked", dbus.String("", variant_level=1), dbus.UInt32(0),
                           dbus_interface="com.canonical.dbusmenu")
                return
        raise AssertionError(f"no menu item {label}")

    def activate(self):
        self.item.Activate(10, 10, dbus_interface="org.kde.StatusNotifierItem")


class ProgramCase(unittest.TestCase):
    tray = "xembed"
    keyring = False

    def setUp(self):
        self.session = Desktop(self.tray, keyring=self.keyring)
        self.addCleanup(self.session.close)

    def wait_window(self, name, timeout=10, besides=()):
        """A visible window titled `name` other than those in `besides`."""
        windows = wait_for(lambda: [w for w in self.session.windows(name) if w not in besides], timeout)
        self.assertTrue(windows, f"no window {name!r}")
        return windows[0]

    def press(self, window, *keys):
        self.session.xdotool("windowfocus", "--sync", window, check=False)
        self.session.xdotool("key", *keys)

    def fill_dialog(self, host, user, password):
        """Types into the open configuration dialog and accepts it with Enter."""
        dialog = self.wait_window("^" + TITLE + "$")
        time.sleep(0.3)
        self.session.xdotool("mousemove", "--window", dialog, *SERVIDOR_FIELD, "click", 1)
        time.sleep(0.2)
        for text in (host, None, user, password):  # "Inicio de sesión" stays "Contraseña"
            if text is not None:
                self.session.xdotool("key", "ctrl+a")
                self.session.xdotool("type", "--delay", "5", text)
            self.session.xdotool("key", "Tab")
        # The test servers speak plain text: "Ninguna", whose port (110, or 143
        # for IMAP) follows.
        self.session.xdotool("key", "N", "Tab", "Return")
        return dialog


class XEmbedTrayTest(ProgramCase):
    tray = "xembed"

    def shown_icon(self):
        return desktop.icon_nearest(self.session.screenshot(), ICON_REGION)

    def test_check_shows_the_flag_and_the_notice_comes_back_on_a_left_click(self):
        self.session.write_settings(APOP_DOVECOT, extra="Otra=se conserva\n")
        self.session.start_program()
        notice = self.wait_window("^3 Mensajes$")
        self.assertEqual(wait_for(lambda: self.shown_icon() == "bandera1" and "bandera1"), "bandera1")
        # A click on the notice acknowledges it; a left click on the icon shows it again.
        self.session.xdotool("mousemove", "--window", notice, 70, 50, "click", 1)
        self.assertTrue(wait_for(lambda: not self.session.windows("^3 Mensajes$")))
        self.session.xdotool("mousemove", *ICON_CENTRE, "click", 1)
        self.wait_window("^3 Mensajes$")

    def test_menu_letters_end_the_program(self):
        self.session.write_settings(REFUSING)
        self.session.start_program()
        box = self.wait_window("^" + TITLE + "$")  # the connection error
        self.press(box, "Return")
        self.assertEqual(wait_for(lambda: self.shown_icon() == "bandera2" and "bandera2"), "bandera2")
        self.session.xdotool("mousemove", *ICON_CENTRE, "click", 3)
        time.sleep(0.5)
        self.session.xdotool("key", "s")
        self.assertTrue(self.session.program_ended())

    def test_first_run_opens_the_dialog_and_writes_only_what_is_accepted(self):
        self.session.start_program()
        self.wait_window("^" + TITLE + "$")
        self.wait_window("Ayuda - ")  # help topic 14
        time.sleep(1)
        self.assertIsNone(self.session.settings_text())
        self.assertFalse(os.path.exists(self.session.autostart_entry()))
        self.assertEqual(self.shown_icon(), "bandera0")

        dialog = self.fill_dialog(PLAIN_DOVECOT, "alice", "secret")
        # No Secret Service here: the program asks before keeping the password in the file.
        question = self.wait_window("^" + TITLE + "$", besides=[dialog])
        self.press(question, "Return")
        text = wait_for(lambda: "Codigo" in (self.session.settings_text() or "") and self.session.settings_text())
        self.assertIn("Codigo=" + desktop.scramble("secret"), text)
        self.assertIn("Protocolo=IMAP", text)
        self.assertIn("Seguridad=Ninguna", text)
        self.assertIn("Puerto=143", text)
        self.assertNotIn("secret", text)
        entry = self.session.autostart_entry()
        self.assertTrue(wait_for(lambda: os.path.exists(entry)))  # written after the settings
        subprocess.run(["desktop-file-validate", entry], check=True)
        with open(entry, encoding="utf-8") as f:
            self.assertIn(f'Exec="{os.path.realpath(desktop.PROGRAM)}"', f.read())

    def test_damaged_file_neither_stops_the_program_nor_loses_unknown_values(self):
        folder = self.session.path("config", "buzonix")
        os.makedirs(folder)
        with open(os.path.join(folder, "buzonix.conf"), "wb") as f:
            f.write(b"[Version]\nNumero=1.01\n[Configuracion\n\x00\xff\xfe=\nfrecuencia=diez\n"
                    b"Host=" + APOP_DOVECOT.encode() + b"\nusuario=alice\nCodigo=zz\n")
        self.session.start_program()
        # The password read back is wrong: the server refuses it, and the program goes on.
        self.wait_window("^" + TITLE + "$")
        self.assertIsNone(self.session.program.poll())
        self.assertIn(self.shown_icon(), ("bandera0", "bandera2"))


class DBusTrayTest(ProgramCase):
    tray = "dbus"

    def test_item_shows_the_count_and_its_menu_and_activate_work(self):
        self.session.write_settings(APOP_DOVECOT)
        self.session.start_program()
        item = TrayItem(self.session)
        self.assertEqual(wait_for(lambda: item.tooltip() == "3 Mensajes" and item.tooltip()), "3 Mensajes")
        self.assertEqual(item.icon(self.session), "bandera1")
        notice = self.wait_window("^3 Mensajes$")
        self.session.xdotool("mousemove", "--window", notice, 70, 50, "click", 1)
        self.assertTrue(wait_for(lambda: not self.session.windows("^3 Mensajes$")))
        item.activate()
        self.wait_window("^3 Mensajes$")
        item.click_menu("Salir")
        self.assertTrue(self.session.program_ended())

    def test_wrong_password_and_refused_connection_show_one_box_per_run_of_failures(self):
        self.session.write_settings(APOP_DOVECOT, password="mala")
        self.session.start_program()
        item = TrayItem(self.session)
        box = self.wait_window("^" + TITLE + "$")
        self.press(box, "Return")
        # The tray tells of the refusal once the box has been answered.
        self.assertEqual(wait_for(lambda: item.tooltip() == "Clave incorrecta" and item.tooltip()),
                         "Clave incorrecta")
        self.assertEqual(self.session.windows("^" + TITLE + "$"), [])

        self.session.program.terminate()
        self.session.program.wait(10)
        self.session.write_settings(REFUSING)
        self.session.start_program()
        item = TrayItem(self.session)
        box = self.wait_window("^" + TITLE + "$")
        self.assertEqual(wait_for(lambda: item.tooltip() == "Error en Conexion" and item.tooltip()),
                         "Error en Conexion")
        self.press(box, "Return")
        self.assertTrue(wait_for(lambda: not self.session.windows("^" + TITLE + "$")))
        self.assertEqual(wait_for(lambda: item.icon(self.session) == "bandera2" and "bandera2"), "bandera2")
        item.click_menu("Chequear Correo Ahora")
        time.sleep(1.5)
        self.assertEqual(self.session.windows("^" + TITLE + "$"), [])

    def test_imap_counts_the_unread_mail_and_a_delivery_is_pushed_without_a_new_login(self):
        # "Frecuencia" at 720: no tick can pass this test.
        self.session.write_settings(PLAIN_DOVECOT, user="erin", frequency="720",
                                    extra="Protocolo=IMAP\nPuerto=143\n")
        self.session.start_program()
        item = TrayItem(self.session)
        captions = {0: "No Hay Mensajes", 1: "1 Mensaje sin leer"}
        counts = {caption: count for count, caption in captions.items()}
        unread = wait_for(lambda: (item.tooltip() in counts or item.tooltip().endswith(" Mensajes sin leer"))
                          and item.tooltip())
        self.assertTrue(unread, item.tooltip())
        count = counts.get(unread) if unread in counts else int(unread.split()[0])
        logins = plain_dovecot("logins")
        started = time.monotonic()
        plain_dovecot("deliver", "erin", "1")
        expected = captions.get(count + 1, f"{count + 1} Mensajes sin leer")
        self.assertEqual(wait_for(lambda: item.tooltip() == expected and item.tooltip(), 2, 0.02), expected)
        self.assertLess(time.monotonic() - started, 2)
        self.assertEqual(plain_dovecot("logins"), logins)
        self.assertEqual(item.icon(self.session), "bandera1")
        # The menu answers during IDLE, and Salir ends at once.
        item.click_menu("Chequear Correo Ahora")
        time.sleep(0.3)
        self.assertEqual(item.tooltip(), expected)
        started = time.monotonic()
        item.click_menu("Salir")
        self.assertTrue(self.session.program_ended(5))
        self.assertLess(time.monotonic() - started, 2)

    def test_menu_answers_during_a_stalled_check_and_salir_ends_it(self):
        play({"tag": "stall", "steps": [{"send": "+OK listo\r\n"}, {"stall": 60}]})
        self.session.write_settings(SCRIPTED)
        self.session.start_program()
        item = TrayItem(self.session)
        time.sleep(0.5)
        item.click_menu("Configuraci\u00f3n")
        self.wait_window("^" + TITLE + "$")
        started = time.monotonic()
        item.click_menu("Salir")
        self.assertTrue(self.session.program_ended(30))
        self.assertLess(time.monotonic() - started, 30)


    def test_tls_check_trusts_the_system_store_and_refuses_an_unknown_issuer(self):
        host, port = APOP_DOVECOT_TLS
        self.session.write_settings(host, extra=f"Seguridad=SSL/TLS\nPuerto={port}\n")
        self.session.env["SSL_CERT_FILE"] = TEST_CA  # the test CA as the system's trust store
        self.session.start_program()
        item = TrayItem(self.session)
        self.assertEqual(wait_for(lambda: item.tooltip() == "3 Mensajes" and item.tooltip()), "3 Mensajes")
        self.session.program.terminate()
        self.session.program.wait(10)

        del self.session.env["SSL_CERT_FILE"]
        self.session.start_program()
        item = TrayItem(self.session)
        box = self.wait_window("^" + TITLE + "$")
        self.assertEqual(item.tooltip(), "Error en Conexion")
        self.press(box, "Return")


class InstanceTest(ProgramCase):
    """One program per user session."""
    tray = "dbus"

    def registered_items(self):
        bus = dbus.bus.BusConnection(self.session.env["DBUS_SESSION_BUS_ADDRESS"])
        watcher = bus.get_object("org.kde.StatusNotifierWatcher", "/StatusNotifierWatcher")
        return list(watcher.Get("org.kde.StatusNotifierWatcher", "RegisteredStatusNotifierItems",
                                dbus_interface=dbus.PROPERTIES_IFACE))

    def second_start(self):
        return subprocess.run([desktop.PROGRAM], env=self.session.env, stdin=subprocess.DEVNULL,
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=10).returncode

    def test_a_second_start_hands_over_and_the_channel_ends_the_program(self):
        self.session.write_settings(APOP_DOVECOT)
        self.session.start_program()
        item = TrayItem(self.session)
        self.assertEqual(wait_for(lambda: item.tooltip() == "3 Mensajes" and item.tooltip()), "3 Mensajes")
        started = time.monotonic()
        self.assertEqual(self.second_start(), 0)
        self.assertLess(time.monotonic() - started, 5)
        self.wait_window("^" + TITLE + "$")  # the first one's dialog
        self.assertEqual(self.second_start(), 0)  # with it open: still the one dialog
        time.sleep(0.5)
        self.assertEqual(len(self.session.windows("^" + TITLE + "$")), 1)
        self.assertEqual(len(self.registered_items()), 1)
        self.assertIsNone(self.session.program.poll())
        # The same channel takes the end.
        with socket.socket(socket.AF_UNIX) as channel:
            channel.connect(self.session.path("run", "buzonix-instancia"))
            channel.sendall(b"salir\n")
            self.assertEqual(channel.recv(16), b"ok\n")
        self.assertTrue(self.session.program_ended())
        self.assertEqual(self.session.program.returncode, 0)

    def test_a_start_after_a_kill_runs(self):
        self.session.write_settings(APOP_DOVECOT)
        self.session.start_program()
        TrayItem(self.session)
        self.session.program.kill()  # leaves its lock file and socket behind
        self.session.program.wait(10)
        self.session.start_program()
        self.assertTrue(wait_for(lambda: len(self.registered_items()) == 1))
        item = TrayItem(self.session)
        self.assertEqual(wait_for(lambda: item.tooltip() == "3 Mensajes" and item.tooltip()), "3 Mensajes")
        self.assertIsNone(self.session.program.poll())


class KeyringTest(ProgramCase):
    tray = "dbus"
    keyring = True

    def test_password_goes_to_the_secret_service_and_comes_back(self):
        self.session.start_program()
        item = TrayItem(self.session)
        self.fill_dialog(PLAIN_DOVECOT, "alice", "secret")
        text = wait_for(self.session.settings_text)
        self.assertNotIn("Codigo", text)
        self.assertNotIn("secret", text)
        self.session.program.terminate()
        self.session.program.wait(10)

        self.session.start_program()
        item = TrayItem(self.session)
        self.assertEqual(wait_for(lambda: item.tooltip() == "3 Mensajes sin leer" and item.tooltip()),
                         "3 Mensajes sin leer")

    def test_autostart_entry_goes_when_ejecutar_siempre_is_cleared(self):
        self.session.start_program()
        item = TrayItem(self.session)
        self.fill_dialog(PLAIN_DOVECOT, "alice", "secret")
        entry = self.session.autostart_entry()
        self.assertTrue(wait_for(lambda: os.path.exists(entry)))
        item.click_menu("Configuraci\u00f3n")
        dialog = self.wait_window("^" + TITLE + "$")
        time.sleep(0.3)
        self.session.xdotool("mousemove", "--window", dialog, *SERVIDOR_FIELD, "click", 1)
        time.sleep(0.2)
        # Servidor, Inicio de sesión, Usuario, Clave, Seguridad, Puerto, Protocolo, Carpeta (IMAP,
        # as a first run offers), Frecuencia, Animacion, then Ejecutar siempre.
        self.session.xdotool("key", *["Tab"] * 10, "space", "Return")
        self.assertTrue(wait_for(lambda: not os.path.exists(entry)))


class SignInCase(ProgramCase):
    """Sign-in with a provider: the stand-in as the provider, the scripted
    browser as the user's, dovecot taking the tokens it vouches for."""
    tray = "dbus"

    def setUp(self):
        super().setUp()
        provider("/control/reset", {})
        self.browser = self.session.path("browser")
        scripted_browser.prepare(self.browser, ca=TEST_CA)
        config_home = self.session.env["XDG_CONFIG_HOME"]  # the program's settings stay where they are
        self.session.env = scripted_browser.linux_environment(self.browser, base=self.session.env)
        self.session.env["XDG_CONFIG_HOME"] = config_home
        self.session.env["SSL_CERT_FILE"] = TEST_CA

    def write_provider_settings(self, protocol="IMAP", token_url=PROVIDER + "/token"):
        host, port = OAUTH_SERVERS[protocol]
        # "Frecuencia" at 720: only the start and the menu check.
        self.session.write_settings(host, user="", password="", frequency="720", extra=(
            f"Protocolo={protocol}\nSeguridad=SSL/TLS\nPuerto={port}\nAutenticacion=Otro proveedor\n"
            f"OAuthUrlAutorizacion={PROVIDER}/authorize\nOAuthUrlToken={token_url}\n"
            "OAuthCliente=buzonix-prueba\nOAuthAmbito=openid email\n"))

    def start_unsigned(self):
        """The program with the provider's settings and no sign-in yet: it says so once."""
        self.session.start_program()
        item = TrayItem(self.session)
        box = self.wait_window("^" + TITLE + "$")
        self.assertEqual(wait_for(lambda: item.tooltip() == "Sesi\u00f3n caducada" and item.tooltip()),
                         "Sesi\u00f3n caducada")
        self.press(box, "Return")
        self.assertTrue(wait_for(lambda: not self.session.windows("^" + TITLE + "$")))
        return item

    def press_sign_in(self, item):
        """Opens the dialog and presses its sign-in button; returns the dialog."""
        item.click_menu("Configuraci\u00f3n")
        dialog = self.wait_window("^" + TITLE + "$")
        time.sleep(0.3)
        self.session.xdotool("mousemove", "--window", dialog, *SERVIDOR_FIELD, "click", 1)
        time.sleep(0.2)
        # Servidor, Inicio de sesión, Usuario, then the button where Clave was.
        self.session.xdotool("key", "Tab", "Tab", "Tab", "space")
        return dialog

    def browser_done(self):
        return wait_for(lambda: any(e["event"] == "done" for e in scripted_browser.read_log(self.browser)), 20)

    def token_requests(self, listener="good"):
        return [e for e in provider("/control/log") if e.get("path") == "/token" and e.get("listener") == listener]

    def sign_in_and_accept(self, item):
        dialog = self.press_sign_in(item)
        self.assertTrue(self.browser_done())
        self.assertTrue(wait_for(lambda: [e for e in self.token_requests() if e["status"] == 200]))
        time.sleep(0.5)
        self.press(dialog, "Return")
        self.assertTrue(wait_for(lambda: "OAuthCuenta=" + OAUTH_ACCOUNT in (self.session.settings_text() or "")))

    def restart(self):
        self.session.program.terminate()
        self.session.program.wait(10)
        self.session.start_program()
        return TrayItem(self.session)



class SignInTest(SignInCase):
    keyring = True

    def test_a_sign_in_checks_by_imap_and_a_rotated_refresh_token_outlives_restarts(self):
        self.write_provider_settings("IMAP")
        item = self.start_unsigned()
        self.sign_in_and_accept(item)
        log = scripted_browser.read_log(self.browser)
        events = [e["event"] for e in log]
        self.assertIn("spare", events)  # a browser's preconnection did not hold the redirect up
        redirect = next(e for e in log if e["event"] == "redirect")
        self.assertEqual(redirect["status"], 200)
        self.assertTrue(redirect["url"].startswith("http://127.0.0.1:"))
        # The access token of the sign-in serves the first check.
        self.assertEqual(wait_for(lambda: item.tooltip() == "2 Mensajes sin leer" and item.tooltip()),
                         "2 Mensajes sin leer")
        text = self.session.settings_text()
        live = provider("/control/tokens")
        for token in live["refresh"] + live["access"]:
            self.assertNotIn(token, text, "a token in the settings file")

        # Each start refreshes; the provider rotates the refresh token, and
        # the next start signs in with the new one.
        for start in range(2):
            item = self.restart()
            self.assertEqual(wait_for(lambda: item.tooltip() == "2 Mensajes sin leer" and item.tooltip()),
                             "2 Mensajes sin leer", f"start {start}")
        grants = [e["grant_type"] for e in self.token_requests()]
        self.assertEqual(grants, ["authorization_code", "refresh_token", "refresh_token"])

        # A revoked sign-in: one message, the tray says so, then quiet.
        provider("/control/revoke_refresh", {})
        item = self.restart()
        box = self.wait_window("^" + TITLE + "$")
        self.assertEqual(wait_for(lambda: item.tooltip() == "Sesi\u00f3n caducada" and item.tooltip()),
                         "Sesi\u00f3n caducada")
        self.press(box, "Return")
        self.assertTrue(wait_for(lambda: not self.session.windows("^" + TITLE + "$")))
        self.assertEqual(wait_for(lambda: item.icon(self.session) == "bandera2" and "bandera2"), "bandera2")
        item.click_menu("Chequear Correo Ahora")
        time.sleep(1.5)
        self.assertEqual(self.session.windows("^" + TITLE + "$"), [])

    def test_a_wrong_state_is_refused_and_cancel_leaves_the_dialog_usable(self):
        scripted_browser.write_config(self.browser, mode="wrong-state")
        self.write_provider_settings("IMAP")
        item = self.start_unsigned()
        before = self.session.settings_text()
        dialog = self.press_sign_in(item)
        self.assertTrue(self.browser_done())
        redirect = next(e for e in scripted_browser.read_log(self.browser) if e["event"] == "redirect")
        self.assertNotEqual(redirect["status"], 200)
        self.assertEqual(self.token_requests(), [])
        # Still waiting: the button cancels, and the dialog closes as ever.
        time.sleep(0.3)
        self.session.xdotool("key", "space")
        time.sleep(0.3)
        self.press(dialog, "Escape")
        self.assertTrue(wait_for(lambda: not self.session.windows("^" + TITLE + "$")))
        self.assertEqual(self.session.settings_text(), before)

    def test_a_token_endpoint_that_answers_garbage_or_has_a_bad_certificate_gets_nothing_stored(self):
        self.write_provider_settings("IMAP", token_url=PROVIDER_BAD + "/token")
        item = self.start_unsigned()
        before = self.session.settings_text()
        dialog = self.press_sign_in(item)
        self.assertTrue(self.browser_done())
        box = self.wait_window("^" + TITLE + "$", besides=[dialog])
        log = provider("/control/log")
        self.assertTrue([e for e in log if e.get("listener") == "bad" and e.get("event") == "connection"])
        self.assertEqual([e for e in log if e.get("listener") == "bad" and e.get("path")], [], "sent to a bad certificate")
        self.press(box, "Return")
        self.press(dialog, "Escape")
        self.assertTrue(wait_for(lambda: not self.session.windows("^" + TITLE + "$")))
        self.assertEqual(self.session.settings_text(), before)

        self.write_provider_settings("IMAP")
        provider("/control/config", {"token_fault": {"kind": "garbage"}})
        self.restart()
        item = TrayItem(self.session)
        box = self.wait_window("^" + TITLE + "$")
        self.press(box, "Return")
        self.assertTrue(wait_for(lambda: not self.session.windows("^" + TITLE + "$")))
        before = self.session.settings_text()
        dialog = self.press_sign_in(item)
        self.assertTrue(self.browser_done())
        box = self.wait_window("^" + TITLE + "$", besides=[dialog])
        self.assertEqual([e["status"] for e in self.token_requests()], [200])  # answered, with garbage
        self.press(box, "Return")
        self.press(dialog, "Escape")
        self.assertTrue(wait_for(lambda: not self.session.windows("^" + TITLE + "$")))
        self.assertEqual(self.session.settings_text(), before)


class SignInWithoutKeyringTest(SignInCase):
    keyring = False

    def test_pop3_checks_with_the_token_and_without_a_secret_service_it_lasts_this_run(self):
        self.write_provider_settings("POP3")
        item = self.start_unsigned()
        self.sign_in_and_accept(item)
        item.click_menu("Chequear Correo Ahora")  # POP3 checks on the timer's tick
        self.assertEqual(wait_for(lambda: item.tooltip() == "2 Mensajes" and item.tooltip()), "2 Mensajes",
                         item.tooltip())
        self.restart()
        self.wait_window("^" + TITLE + "$")  # the sign-in did not outlive the run


class PresetsTest(ProgramCase):
    """The program built with dummy client ids: Microsoft's preset and the
    authorisation URL its button opens."""
    tray = "dbus"

    def test_microsofts_preset_opens_its_authorisation_page_with_the_programs_id(self):
        browser = self.session.path("browser")
        scripted_browser.prepare(browser, mode="never")
        config_home = self.session.env["XDG_CONFIG_HOME"]
        self.session.env = scripted_browser.linux_environment(browser, base=self.session.env)
        self.session.env["XDG_CONFIG_HOME"] = config_home
        self.session.start_program(os.environ["BUZONIX_PRESETS_PROGRAM"])  # a first run: the dialog opens
        dialog = self.wait_window("^" + TITLE + "$")
        self.wait_window("Ayuda - ")
        time.sleep(0.3)
        self.session.xdotool("mousemove", "--window", dialog, *SERVIDOR_FIELD, "click", 1)
        time.sleep(0.2)
        # "Inicio de sesión": Contraseña, Microsoft, ...; then Usuario and the button.
        self.session.xdotool("key", "Tab", "Down", "Tab", "Tab", "space")
        invoked = wait_for(lambda: [e for e in scripted_browser.read_log(browser) if e["event"] == "invoked"], 20)
        self.assertTrue(invoked, "the browser was not opened")
        url = urllib.parse.urlsplit(invoked[0]["url"])
        query = urllib.parse.parse_qs(url.query)
        self.assertEqual((url.scheme, url.hostname), ("https", "login.microsoftonline.com"))
        self.assertEqual(query["client_id"], ["00000000-0000-0000-0000-0000000b0220"])
        self.assertEqual(query["code_challenge_method"], ["S256"])
        self.assertRegex(query["redirect_uri"][0], r"^http://127\.0\.0\.1:\d+/$")
        self.assertIn("IMAP", query["scope"][0].upper())


if __name__ == "__main__":
    unittest.main()
