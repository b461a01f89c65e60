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
import time
import unittest

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
ICON_REGION = "24x24+776+0"  # trayer's one icon, top right
ICON_CENTRE = (788, 12)
SERVIDOR_FIELD = (334, 57)  # in the configuration dialog


def plain_dovecot(*action):
    """dovecot.sh's action on the plain dovecot: its output."""
    return subprocess.run([DOVECOT_SH, action[0], os.path.join(SERVERS, "dovecot-plain"), *action[1:]],
                          check=True, capture_output=True, text=True).stdout


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
        for text in (host, user, password):
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
        # Servidor, Usuario, Clave, Seguridad, Puerto, Protocolo, Carpeta (IMAP, as a first run
        # offers), Frecuencia, Animacion, then Ejecutar siempre.
        self.session.xdotool("key", *["Tab"] * 9, "space", "Return")
        self.assertTrue(wait_for(lambda: not os.path.exists(entry)))


if __name__ == "__main__":
    unittest.main()
