"""The real program in IMAP mode under Wine: the unread count over each kind
of connection, pushed news during IDLE, and the end of an idle session."""
import os
import subprocess
import time
import unittest

from harness import (CHEQUEAR, CONFIG_KEY, PLAIN_DOVECOT, SALIR, SCRIPTED, SERVERS, TEST_CA, TLS_HOST,
                     TLS_PORT_BASE, ProgramTest, driver, received_lines, reg_set, set_script, tooltips,
                     tray_shows, wait_tooltip, wait_until)

IMAP_STLS, IMAP_TLS = TLS_PORT_BASE + 6, TLS_PORT_BASE + 7
DOVECOT_SH = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "servers", "dovecot.sh")


def plain_dovecot(*action):
    return subprocess.run([DOVECOT_SH, action[0], os.path.join(SERVERS, "dovecot-plain"), *action[1:]],
                          check=True, capture_output=True, text=True).stdout


def unread_count(tooltip):
    """The count an IMAP tooltip tells, or None for any other tooltip."""
    if tooltip == "No Hay Mensajes":
        return 0
    if tooltip.endswith((" Mensajes sin leer", " Mensaje sin leer")):
        return int(tooltip.split()[0])
    return None


def unread_caption(count):
    return {0: "No Hay Mensajes", 1: "1 Mensaje sin leer"}.get(count, f"{count} Mensajes sin leer")


def unread():
    counts = [unread_count(tip) for tip in tooltips()]
    return next((count for count in counts if count is not None), None)


class ImapTest(ProgramTest):
    @classmethod
    def setUpClass(cls):
        driver("trustca", "Z:" + TEST_CA.replace("/", "\\"))

    def start_imap(self, host, user, port, security="Ninguna", password="secret"):
        # "Frecuencia" at 720: no tick can pass these tests.
        self.store_settings(host, user, password, frequency="720", animation="No", security=security, port=port)
        reg_set(CONFIG_KEY, "Protocolo", "IMAP")
        return self.program().start()

    def test_every_kind_of_connection_counts_the_unread_mail(self):
        for security, host, port in (("STARTTLS", TLS_HOST, IMAP_STLS), ("SSL/TLS", TLS_HOST, IMAP_TLS)):
            with self.subTest(security):
                program = self.start_imap(host, "alice", port, security)
                self.assertEqual(wait_tooltip("3 Mensajes sin leer"), "3 Mensajes sin leer")
                self.assertTrue(tray_shows("bandera1"))
                driver("menu", SALIR)
                self.assertEqual(program.exit_code(), 0)

    def test_a_delivery_during_idle_shows_within_two_seconds_with_no_new_login(self):
        program = self.start_imap(PLAIN_DOVECOT, "erin", 143)
        count = wait_until(lambda: unread() is not None and [unread()], 15)
        self.assertTrue(count, tooltips())
        count = count[0]
        logins = plain_dovecot("logins")
        started = time.monotonic()
        plain_dovecot("deliver", "erin", "1")
        expected = unread_caption(count + 1)
        self.assertTrue(wait_until(lambda: expected in tooltips(), 2, 0.02), tooltips())
        self.assertLess(time.monotonic() - started, 2)
        self.assertEqual(plain_dovecot("logins"), logins)
        # Read elsewhere: the count falls with no box.
        uid = plain_dovecot("flags", "erin").split()[-2].split("=")[1]
        plain_dovecot("seen", "erin", uid)
        self.assertTrue(wait_until(lambda: unread_caption(count) in tooltips(), 5), tooltips())
        driver("nobox", 1)
        # "Chequear Correo Ahora" during IDLE recounts at once, on the same login.
        driver("menu", CHEQUEAR)
        driver("nobox", 1)
        self.assertEqual(plain_dovecot("logins"), logins)
        started = time.monotonic()
        driver("menu", SALIR)
        self.assertEqual(program.exit_code(5), 0)
        self.assertLess(time.monotonic() - started, 3)

    def test_salir_during_idle_says_done_and_logout(self):
        set_script({"mode": "imap", "users": {"alice": "secret"}})
        program = self.start_imap(SCRIPTED, "alice", 110)
        self.assertEqual(wait_tooltip("3 Mensajes sin leer"), "3 Mensajes sin leer")
        self.assertTrue(wait_until(lambda: any(line.endswith("IDLE\r\n") for line in received_lines()), 5))
        driver("menu", SALIR)
        self.assertEqual(program.exit_code(5), 0)
        lines = [line.split(" ", 1)[-1] for line in received_lines()]
        self.assertIn("DONE\r\n", lines)
        self.assertIn("LOGOUT\r\n", lines)
        for line in lines:
            self.assertFalse(line.startswith(("SELECT", "STORE", "FETCH", "EXPUNGE", "UID STORE")), line)


if __name__ == "__main__":
    unittest.main()
